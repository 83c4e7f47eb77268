#pragma once

#include "core/Result.h"

#include <QString>

#include <functional>
#include <memory>

class MemoChangeHooks;
struct sqlite3;

// An open connection to a database file, reached through QtSql's SQLite driver. The
// record sets of all windows share one connection per file; statements are short-lived,
// so a second running copy of the program can write to the same file.
class Connection
{
public:
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // The shared connection to an existing database file, opened on first use. A missing
    // file is never created, and a file that is not a database fails here. It is the memo
    // book's connection: the changes of memos saved through it are noted for the index.
    static std::shared_ptr<Connection> shared(const QString& path, Result* error = nullptr);
    // A connection of its own, closed when the last owner lets it go.
    static std::shared_ptr<Connection> open(const QString& path, Result* error = nullptr);

    sqlite3* handle() const { return m_handle; }
    // The shared connection's notes of memo changes and its full-text search; none for others.
    MemoChangeHooks* memoHooks() const { return m_memoHooks.get(); }
    QString path() const { return m_path; }

    Result exec(const QString& sql);
    // Fails when a write could not reach the file at the path: it has been deleted, renamed
    // or replaced since it was opened, or made read-only.
    Result checkWritable() const;
    // Runs body in a transaction that holds the write lock from the start; body's failure,
    // or a failed commit, rolls it back.
    Result writeTransaction(const std::function<Result()>& body);

private:
    Connection() = default;

    QString m_path;
    QString m_connectionName;
    sqlite3* m_handle = nullptr;
    std::unique_ptr<MemoChangeHooks> m_memoHooks;
};
