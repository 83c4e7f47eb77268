#include "support/IndexProbe.h"

#include "core/TextFold.h"
#include "db/Statement.h"
#include "db/index/MemoIndexFile.h"

#include <QStringList>

#include <sqlite3.h>

QString indexedIds(const QString& bookPath, const QString& word)
{
    Result opened;
    const SqliteHandle owned = MemoIndexFile::openConnection(MemoIndexFile::pathFor(bookPath), false, false, &opened);
    sqlite3* const db = owned.get();
    if (!db)
        return QStringLiteral("error: ") + opened.message;
    QStringList ids;
    QString error;
    {
        const QString folded = TextFold::fold(word);
        const QString table = folded.size() == 1 ? QStringLiteral("memo_chars") : QStringLiteral("memo_pairs");
        Statement match(db, QStringLiteral("SELECT rowid FROM %1 WHERE %1 MATCH ?1 ORDER BY rowid").arg(table));
        match.bindText(1, QLatin1Char('"') + folded + QLatin1Char('"'));
        Statement::Step step;
        while ((step = match.step()) == Statement::Step::Row)
            ids.append(QString::number(match.int64(0)));
        if (step == Statement::Step::Error)
            error = QStringLiteral("error: ") + match.lastError().message;
    }
    return error.isEmpty() ? ids.join(QLatin1Char(',')) : error;
}
