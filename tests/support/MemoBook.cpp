#include "support/MemoBook.h"

#include "db/Connection.h"
#include "db/Schema.h"
#include "db/Statement.h"

#include <QTest>

#include <sqlite3.h>

MemoBook::MemoBook(Tables tables)
{
    if (!m_dir.isValid() || !Schema::createMemoBook(dbPath()))
        return;
    if (tables == Tables::MemosAndPaths && Schema::makePathTable(dbPath()) != Schema::PathTableOutcome::Made)
        return;
    m_connection = Connection::open(dbPath());
    // The test's own writes need not wait for the disk; the program's connections still do.
    if (m_connection)
        m_valid = bool(m_connection->exec(QStringLiteral("PRAGMA synchronous = OFF")));
    session.AppDir = dir();
    session.BackupDir = dir() + QStringLiteral("/Back Up");
    session.DbPath = dbPath();
    m_valid = m_valid && bool(m_connection);
}

MemoBook::~MemoBook() = default;

QString MemoBook::dbPath() const
{
    return m_dir.filePath(QStringLiteral("IDATA2.mdb"));
}

qint64 MemoBook::addMemo(const Memo& memo)
{
    Statement insert(
        m_connection->handle(),
        QStringLiteral("INSERT INTO メモ帳 (日付, ヘルプファイル, ｷｰﾜｰﾄﾞ, 検索キー１, 検索キー２, 予備１, メモ) "
                       "VALUES (?, ?, ?, ?, ?, ?, ?)"));
    const QString values[] = {memo.date, memo.file, memo.keyword, memo.key1, memo.key2, memo.appId, memo.memo};
    for (int i = 0; i < 7; ++i)
        insert.bindText(i + 1, values[i]);
    if (Result r = insert.exec(); !r)
        QTest::qFail(qPrintable(r.message), __FILE__, __LINE__);
    return sqlite3_last_insert_rowid(m_connection->handle());
}

qint64 MemoBook::addApplication(const QString& appId, const QString& path)
{
    Statement insert(m_connection->handle(), QStringLiteral("INSERT INTO パス (アプリＩＤ, パス) VALUES (?, ?)"));
    insert.bindText(1, appId);
    insert.bindText(2, path);
    if (Result r = insert.exec(); !r)
        QTest::qFail(qPrintable(r.message), __FILE__, __LINE__);
    return sqlite3_last_insert_rowid(m_connection->handle());
}

void MemoBook::exec(const QString& sql)
{
    if (Result r = m_connection->exec(sql); !r)
        QTest::qFail(qPrintable(sql + QStringLiteral(": ") + r.message), __FILE__, __LINE__);
}

QList<QVariantList> MemoBook::rows(const QString& sql)
{
    QList<QVariantList> result;
    Statement statement(m_connection->handle(), sql);
    while (statement.step() == Statement::Step::Row) {
        QVariantList row;
        for (int c = 0; c < statement.columnCount(); ++c)
            row.append(statement.value(c));
        result.append(row);
    }
    if (!statement.lastError())
        QTest::qFail(qPrintable(sql + QStringLiteral(": ") + statement.lastError().message), __FILE__, __LINE__);
    return result;
}

QVariant MemoBook::scalar(const QString& sql)
{
    const QList<QVariantList> result = rows(sql);
    return result.isEmpty() ? QVariant() : result.first().value(0);
}

int MemoBook::count(const QString& table)
{
    return scalar(QStringLiteral("SELECT count(*) FROM ") + table).toInt();
}
