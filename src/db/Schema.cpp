#include "db/Schema.h"

#include "db/BusyWait.h"
#include "db/Connection.h"
#include "db/SqliteHandle.h"
#include "db/Statement.h"

#include "core/Log.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <optional>

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

// One step of the memo book's layout, from version `from` to the next.
struct UpgradeStep
{
    int from;
    Result (*run)(Connection& connection);
};

// Books made before the version was kept have the layout of version 1: recording it is all.
const UpgradeStep UpgradeSteps[] = {
    {0, [](Connection&) { return Result::success(); }},
};

std::optional<int> versionOf(sqlite3* db, Result* why = nullptr)
{
    Statement read(db, QStringLiteral("PRAGMA user_version"));
    if (read.step() != Statement::Step::Row) {
        if (why)
            *why = read.lastError();
        return std::nullopt;
    }
    return int(read.int64(0));
}

} // namespace

Result Schema::createMemoTable(sqlite3* db)
{
    Statement begin(db, QStringLiteral("BEGIN"));
    if (Result r = begin.exec(); !r)
        return r;
    const QString version = QStringLiteral("PRAGMA user_version = %1").arg(Schema::Version);
    for (const QString& sql : [&] {
             QStringList all;
             for (const char* text : MemoTableSql)
                 all.append(QString::fromUtf8(text));
             all.append(version);
             return all;
         }()) {
        Statement statement(db, sql);
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
    // SQLITE_OPEN_EXCLUSIVE is not honoured by the unix VFS, so the check above stands alone.
    Result failed;
    SqliteHandle db = openSqlite(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, &failed);
    if (!db)
        return failed;
    Result made = createMemoTable(db.get());
    db.reset();
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

std::optional<int> Schema::storedVersion(const QString& databasePath)
{
    if (!QFileInfo(databasePath).isFile())
        return std::nullopt;
    if (SqliteHandle db = openSqlite(databasePath, SQLITE_OPEN_READONLY))
        return versionOf(db.get());
    return std::nullopt;
}

Schema::UpgradeOutcome Schema::upgrade(const QString& databasePath, int* found, Result* why)
{
    Result failure;
    std::shared_ptr<Connection> connection = Connection::open(databasePath, &failure);
    std::optional<int> version = connection ? versionOf(connection->handle(), &failure) : std::nullopt;
    if (found)
        *found = version.value_or(-1);
    if (!version) {
        if (why)
            *why = failure;
        return UpgradeOutcome::Failed;
    }
    if (*version > Version)
        return UpgradeOutcome::Newer;
    if (*version == Version)
        return UpgradeOutcome::Current;
    const Result upgraded = connection->writeTransaction([&connection]() -> Result {
        // Read again under the write lock: another copy may have upgraded it meanwhile.
        Result read;
        const std::optional<int> now = versionOf(connection->handle(), &read);
        if (!now)
            return read;
        for (const UpgradeStep& step : UpgradeSteps) {
            if (step.from < *now)
                continue;
            if (Result done = step.run(*connection); !done)
                return done;
        }
        return connection->exec(QStringLiteral("PRAGMA user_version = %1").arg(Version));
    });
    if (!upgraded) {
        qCWarning(lcDb, "memo book not upgraded from version %d: %s", *version, qUtf8Printable(upgraded.message));
        if (why)
            *why = upgraded;
        return UpgradeOutcome::Failed;
    }
    qCInfo(lcDb, "memo book upgraded from version %d to %d", *version, Version);
    return UpgradeOutcome::Upgraded;
}

void Schema::refreshStatistics(const QString& databasePath)
{
    // A wait of its own: this runs beside the windows, on a thread of its own.
    BusyWait::Deadline deadline;
    if (SqliteHandle db = openSqlite(databasePath, SQLITE_OPEN_READWRITE)) {
        BusyWait::install(db.get(), deadline);
        skipOnFailure(Statement::run(db.get(), QStringLiteral("PRAGMA analysis_limit = 400")), lcDb(),
                      "analysis limit");
        skipOnFailure(Statement::run(db.get(), QStringLiteral("ANALYZE")), lcDb(), "index figures");
    }
}
