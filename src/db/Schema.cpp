#include "db/Schema.h"

#include "db/Connection.h"
#include "db/Statement.h"

#include "core/Log.h"

#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

namespace {

// Text compares as the original engine compared it: without regard to Latin letter case.
// Every searched or sorted field has an index, and so has ID, whose narrow index lets the
// key lists of the record sets be read without touching the memo texts.
const char* const MemoTableSql[] = {
    "CREATE TABLE メモ帳 ("
    " ID INTEGER PRIMARY KEY AUTOINCREMENT,"
    " 日付 TEXT COLLATE NOCASE,"
    " ヘルプファイル TEXT COLLATE NOCASE,"
    " ｷｰﾜｰﾄﾞ TEXT COLLATE NOCASE,"
    " 検索キー１ TEXT COLLATE NOCASE,"
    " 検索キー２ TEXT COLLATE NOCASE,"
    " 予備１ TEXT COLLATE NOCASE,"
    " メモ TEXT COLLATE NOCASE)",
    "CREATE INDEX メモ帳_ID ON メモ帳 (ID)",
    "CREATE INDEX メモ帳_日付 ON メモ帳 (日付)",
    "CREATE INDEX メモ帳_ヘルプファイル ON メモ帳 (ヘルプファイル)",
    "CREATE INDEX メモ帳_ｷｰﾜｰﾄﾞ ON メモ帳 (ｷｰﾜｰﾄﾞ)",
    "CREATE INDEX メモ帳_検索キー１ ON メモ帳 (検索キー１)",
    "CREATE INDEX メモ帳_検索キー２ ON メモ帳 (検索キー２)",
    "CREATE INDEX メモ帳_予備１ ON メモ帳 (予備１)",
};

} // namespace

Result Schema::createMemoTable(sqlite3* db)
{
    Statement begin(db, QStringLiteral("BEGIN"));
    if (Result r = begin.exec(); !r)
        return r;
    for (const char* sql : MemoTableSql) {
        Statement statement(db, QString::fromUtf8(sql));
        if (Result r = statement.exec(); !r) {
            skipOnFailure(Statement(db, QStringLiteral("ROLLBACK")).exec(), lcDb(), "rollback of a new memo table");
            return r;
        }
    }
    return Statement(db, QStringLiteral("COMMIT")).exec();
}

Result Schema::createMemoBook(const QString& path)
{
    if (QFileInfo::exists(path))
        return Result::failure(QStringLiteral("a file exists already at ") + path);
    sqlite3* db = nullptr;
    // SQLITE_OPEN_EXCLUSIVE is not honoured by the unix VFS, so the check above stands alone.
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                        nullptr) != SQLITE_OK) {
        const Result failed = Result::failure(QString::fromUtf8(sqlite3_errmsg(db)));
        sqlite3_close(db);
        return failed;
    }
    Result made = createMemoTable(db);
    sqlite3_close(db);
    if (!made)
        QFile::remove(path);
    return made;
}

Schema::PathTableOutcome Schema::makePathTable(const QString& databasePath, QString* why)
{
    Result opened;
    std::shared_ptr<Connection> connection = Connection::open(databasePath, &opened);
    if (!connection) {
        if (why)
            *why = opened.message;
        return PathTableOutcome::CannotOpen;
    }
    // Two text fields of at most 255 characters that take the empty text, and a plain
    // (neither primary nor unique) index named PrimaryKey on ID. The steps are separate,
    // as they always were: a failure at the index leaves the table without it.
    const Result table =
        connection->exec(QStringLiteral("CREATE TABLE パス ("
                                        " ID INTEGER PRIMARY KEY AUTOINCREMENT,"
                                        " アプリＩＤ TEXT(255) COLLATE NOCASE CHECK (length(アプリＩＤ) <= 255),"
                                        " パス TEXT(255) COLLATE NOCASE CHECK (length(パス) <= 255))"));
    if (!table) {
        if (why)
            *why = table.message;
        return PathTableOutcome::LeftAsItWas;
    }
    const Result index = connection->exec(QStringLiteral("CREATE INDEX PrimaryKey ON パス (ID)"));
    if (!index) {
        if (why)
            *why = index.message;
        return PathTableOutcome::LeftAsItWas;
    }
    return PathTableOutcome::Made;
}

void Schema::refreshStatistics(const QString& databasePath)
{
    // The engine alone, with no handler of the program's: this runs beside the windows.
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(databasePath).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) ==
        SQLITE_OK) {
        sqlite3_busy_timeout(db, Connection::BusyTimeoutMs);
        skipOnFailure(Statement(db, QStringLiteral("PRAGMA analysis_limit = 400")).exec(), lcDb(), "analysis limit");
        skipOnFailure(Statement(db, QStringLiteral("ANALYZE")).exec(), lcDb(), "index figures");
    }
    sqlite3_close(db);
}
