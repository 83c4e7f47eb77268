#pragma once

#include "core/Result.h"

#include <QFile>
#include <QString>

#include <sqlite3.h>

#include <memory>

// A connection of the engine's own API, closed when it goes out of scope. close_v2 lets a
// statement left open by a failure end the connection when it is finalised.
struct SqliteCloser
{
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using SqliteHandle = std::unique_ptr<sqlite3, SqliteCloser>;

// Opens the file at `path` with the engine's flags; null on failure, with why in `error`.
inline SqliteHandle openSqlite(const QString& path, int flags, Result* error = nullptr)
{
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &raw, flags, nullptr);
    SqliteHandle db(raw);
    if (rc == SQLITE_OK)
        return db;
    if (error)
        *error = Result::failure(QString::fromUtf8(raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc)));
    return nullptr;
}
