#include "db/Connection.h"

#include "db/BusyWait.h"
#include "db/Statement.h"
#include "db/index/MemoChangeHooks.h"
#include "db/index/MemoIndexFile.h"

#include "core/Log.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QUrl>

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString canonicalKey(const QString& path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.absoluteFilePath() : canonical;
}

QHash<QString, std::weak_ptr<Connection>>& pool()
{
    static QHash<QString, std::weak_ptr<Connection>> connections;
    return connections;
}

int g_serial = 0;

} // namespace

std::shared_ptr<Connection> Connection::open(const QString& path, Result* error)
{
    auto fail = [error](const Result& why) {
        if (error)
            *error = why;
        return std::shared_ptr<Connection>();
    };
    if (!QFileInfo(path).isFile())
        return fail(Result::failure(QStringLiteral("no database file at ") + path));

    std::shared_ptr<Connection> connection(new Connection);
    connection->m_path = path;
    connection->m_connectionName = QStringLiteral("orvalent-%1").arg(++g_serial);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection->m_connectionName);
        // mode=rw: open an existing file only; SQLite would otherwise make an empty one.
        QUrl url = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
        url.setQuery(QStringLiteral("mode=rw"));
        db.setDatabaseName(url.toString(QUrl::FullyEncoded));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI"));
        if (!db.open())
            return fail(Result::failure(db.lastError().text()));
        QVariant handle = db.driver()->handle();
        if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0)
            connection->m_handle = *static_cast<sqlite3* const*>(handle.data());
    }
    if (!connection->m_handle)
        return fail(Result::failure(QStringLiteral("the SQLite driver gave no handle")));
    BusyWait::install(connection->m_handle);
    // SQLite opens any file lazily; reading the schema tells a database from other files.
    Statement probe(connection->m_handle, QStringLiteral("SELECT count(*) FROM sqlite_master"));
    if (!probe.prepared())
        return fail(probe.prepared());
    if (probe.step() == Statement::Step::Error)
        return fail(probe.lastError());
    if (error)
        *error = Result::success();
    return connection;
}

std::shared_ptr<Connection> Connection::shared(const QString& path, Result* error)
{
    const QString key = canonicalKey(path);
    if (std::shared_ptr<Connection> existing = pool().value(key).lock()) {
        if (error)
            *error = Result::success();
        return existing;
    }
    std::shared_ptr<Connection> connection = open(path, error);
    if (!connection)
        return connection;
    pool().insert(key, connection);
    // Every save through this connection is noted, whether or not a window has the index open.
    connection->m_memoHooks = std::make_unique<MemoChangeHooks>(connection->m_handle);
    if (Result watched = connection->m_memoHooks->watch(); !watched)
        qCInfo(lcDb, "memo changes not noted yet: %s", qUtf8Printable(watched.message));
    return connection;
}

Connection::~Connection()
{
    // What no index took in yet goes into its file; the search forgets the connection.
    if (m_memoHooks) {
        skipOnFailure(m_memoHooks->writeInto(MemoIndexFile::pathFor(m_path)), lcDb(),
                      "writing the last changes into the index");
        m_memoHooks.reset();
    }
    m_handle = nullptr;
    if (!m_connectionName.isEmpty()) {
        {
            QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_connectionName);
    }
}

Result Connection::exec(const QString& sql)
{
    return Statement::run(m_handle, sql);
}

Result Connection::checkWritable() const
{
    // SQLite itself refuses to write into a file that was renamed or deleted while open
    // (its journal would not find it again); asking first gives the reason plainly.
    int moved = 0;
    if (sqlite3_file_control(m_handle, "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK && moved)
        return Result::failure(QStringLiteral("the database file has been moved or deleted: ") + m_path);
    // A file made read-only while open is still open for writing; the user's wish holds.
    const QByteArray path = QFile::encodeName(m_path);
    struct stat status;
    if (::stat(path.constData(), &status) != 0 || (status.st_mode & 0222) == 0 || ::access(path.constData(), W_OK) != 0)
        return Result::failure(QStringLiteral("the database file is read-only: ") + m_path);
    return Result::success();
}

Result Connection::writeTransaction(const std::function<Result()>& body)
{
    // IMMEDIATE takes the write lock before anything is read, so that what the body reads
    // cannot change before it writes, and a busy file is waited for at the start only.
    const bool outermost = sqlite3_get_autocommit(m_handle);
    const QString begin = outermost ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("SAVEPOINT orv_write");
    if (Result r = exec(begin); !r)
        return r;
    Result done = body();
    if (done)
        done = exec(outermost ? QStringLiteral("COMMIT") : QStringLiteral("RELEASE orv_write"));
    if (!done) {
        // A failed COMMIT may leave the transaction open; a statement error may have ended it.
        if (outermost) {
            if (!sqlite3_get_autocommit(m_handle))
                skipOnFailure(exec(QStringLiteral("ROLLBACK")), lcDb(), "rollback of a failed write");
        } else {
            skipOnFailure(exec(QStringLiteral("ROLLBACK TO orv_write")), lcDb(), "rollback of a failed write");
            skipOnFailure(exec(QStringLiteral("RELEASE orv_write")), lcDb(), "release of a failed write");
        }
    }
    return done;
}
