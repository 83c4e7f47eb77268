#include "db/Connection.h"

#include "db/Statement.h"

#include <QFileInfo>
#include <QHash>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QUrl>

#include <sqlite3.h>

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
    auto fail = [error](const QString& why) {
        if (error)
            *error = Result::failure(why);
        return std::shared_ptr<Connection>();
    };
    if (!QFileInfo(path).isFile())
        return fail(QStringLiteral("no database file at ") + path);

    std::shared_ptr<Connection> connection(new Connection);
    connection->m_path = path;
    connection->m_connectionName = QStringLiteral("orvalent-%1").arg(++g_serial);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection->m_connectionName);
        // mode=rw: open an existing file only; SQLite would otherwise make an empty one.
        QUrl url = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
        url.setQuery(QStringLiteral("mode=rw"));
        db.setDatabaseName(url.toString(QUrl::FullyEncoded));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(BusyTimeoutMs));
        if (!db.open())
            return fail(db.lastError().text());
        QVariant handle = db.driver()->handle();
        if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0)
            connection->m_handle = *static_cast<sqlite3* const*>(handle.data());
    }
    if (!connection->m_handle)
        return fail(QStringLiteral("the SQLite driver gave no handle"));
    // SQLite opens any file lazily; reading the schema tells a database from other files.
    Statement probe(connection->m_handle, QStringLiteral("SELECT count(*) FROM sqlite_master"));
    if (!probe.prepared())
        return fail(probe.prepared().message);
    if (probe.step() == Statement::Step::Error)
        return fail(probe.lastError().message);
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
    if (connection)
        pool().insert(key, connection);
    return connection;
}

Connection::~Connection()
{
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
    Statement statement(m_handle, sql);
    if (!statement.prepared())
        return statement.prepared();
    return statement.exec();
}
