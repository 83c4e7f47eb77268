#include "db/Catalogue.h"

QString Catalogue::quoted(const QString& value)
{
    QString doubled = value;
    doubled.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + doubled + QLatin1Char('\'');
}

QString Catalogue::applicationLookup(const QString& applicationId)
{
    return QStringLiteral("SELECT * FROM パス WHERE アプリＩＤ = ") + quoted(applicationId);
}

QString Catalogue::memoById(qint64 id)
{
    const QString number = id < 0 ? QString::number(id) : QLatin1Char(' ') + QString::number(id);
    return QStringLiteral("SELECT * FROM メモ帳 WHERE ID = ") + number;
}

QString Catalogue::searchCondition(const QString& keyword, const QString& key1, const QString& key2)
{
    QString condition;
    auto add = [&condition](const QString& field, const QString& text) {
        if (text.isEmpty())
            return;
        const QString part = field + QStringLiteral(" = ") + quoted(text);
        condition = condition.isEmpty() ? part : condition + QStringLiteral(" AND ") + part;
    };
    add(QStringLiteral("ｷｰﾜｰﾄﾞ"), keyword);
    add(QStringLiteral("検索キー１"), key1);
    add(QStringLiteral("検索キー２"), key2);
    return condition;
}

QString Catalogue::searchStatement(const QString& condition)
{
    return QStringLiteral("SELECT * FROM メモ帳 WHERE ") + condition;
}

QString Catalogue::orderedSearch(const QString& searchStatement)
{
    return searchStatement + QStringLiteral(" Order By ID");
}

QString Catalogue::sortStatement(const QString& searchStatement, const QString& field)
{
    if (searchStatement.isEmpty())
        return QStringLiteral("Select * From メモ帳 Order By ") + field;
    return searchStatement + QStringLiteral(" Order By ") + field;
}
