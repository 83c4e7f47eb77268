// The statement builders: whatever the user types as a keyword, search key or application
// ID, the statement is one statement that the engine accepts and that finds exactly the
// records holding those values.

#include "db/Catalogue.h"
#include "db/Schema.h"

#include <QList>

#include <fuzzer/FuzzedDataProvider.h>
#include <sqlite3.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

sqlite3* g_db = nullptr;

void run(const char* sql)
{
    if (sqlite3_exec(g_db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        std::abort();
}

// A value as typed: valid text that fits a field, without the NUL character, which no
// field can hold.
QString value(FuzzedDataProvider& input)
{
    QString text = QString::fromUtf8(input.ConsumeRandomLengthString(800)).left(250);
    text.remove(QChar(0));
    return text;
}

void insert(const char* sql, const QList<QString>& values)
{
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(g_db, sql, -1, &stmt, nullptr) != SQLITE_OK)
        std::abort();
    for (int i = 0; i < values.size(); ++i) {
        const QByteArray utf8 = values[i].toUtf8();
        sqlite3_bind_text(stmt, i + 1, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    }
    if (sqlite3_step(stmt) != SQLITE_DONE)
        std::abort();
    sqlite3_finalize(stmt);
}

// Runs a built statement: it must be one whole statement; returns the IDs of its rows.
QList<qint64> ids(const QString& statement)
{
    const QByteArray sql = statement.toUtf8();
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(g_db, sql.constData(), int(sql.size()), &stmt, &tail) != SQLITE_OK || !stmt)
        std::abort();
    if (tail != sql.constData() + sql.size())
        std::abort();
    QList<qint64> found;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW)
        found.append(sqlite3_column_int64(stmt, 0));
    if (rc != SQLITE_DONE)
        std::abort();
    sqlite3_finalize(stmt);
    return found;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    if (sqlite3_open(":memory:", &g_db) != SQLITE_OK || !Schema::createMemoTable(g_db))
        std::abort();
    // As the main window makes it.
    run("CREATE TABLE パス (ID INTEGER PRIMARY KEY AUTOINCREMENT,"
        " アプリＩＤ TEXT(255) COLLATE NOCASE CHECK (length(アプリＩＤ) <= 255),"
        " パス TEXT(255) COLLATE NOCASE CHECK (length(パス) <= 255))");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const QString keyword = value(input);
    const QString key1 = value(input);
    const QString key2 = value(input);
    const QString appId = value(input);
    const qint64 id = input.ConsumeIntegral<qint64>();

    run("DELETE FROM メモ帳");
    run("DELETE FROM パス");
    // The record searched for, and one that differs in each value.
    const char* memo = "INSERT INTO メモ帳 (ID, ｷｰﾜｰﾄﾞ, 検索キー１, 検索キー２) VALUES (?, ?, ?, ?)";
    insert(memo, {QStringLiteral("1"), keyword, key1, key2});
    insert(memo, {QStringLiteral("2"), keyword + QLatin1Char('x'), key1 + QLatin1Char('x'), key2 + QLatin1Char('x')});
    insert("INSERT INTO パス (ID, アプリＩＤ) VALUES (1, ?)", {appId});
    insert("INSERT INTO パス (ID, アプリＩＤ) VALUES (2, ?)", {appId + QLatin1Char('x')});

    if (ids(Catalogue::applicationLookup(appId)) != QList<qint64>{1})
        std::abort();
    const QString condition = Catalogue::searchCondition(keyword, key1, key2);
    if (!condition.isEmpty()) {
        const QString search = Catalogue::searchStatement(condition);
        if (ids(Catalogue::orderedSearch(search)) != QList<qint64>{1})
            std::abort();
        if (ids(Catalogue::sortStatement(search, QStringLiteral("ｷｰﾜｰﾄﾞ"))) != QList<qint64>{1})
            std::abort();
    }
    const QList<qint64> byId = ids(Catalogue::memoById(id));
    if (byId != (id == 1 || id == 2 ? QList<qint64>{id} : QList<qint64>{}))
        std::abort();
    return 0;
}
