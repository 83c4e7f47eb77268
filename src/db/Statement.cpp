#include "db/Statement.h"

#include <sqlite3.h>

#include <cerrno>

namespace {

// The engine's failure, with what it means for the user: a lock held by another program, or
// a full disk (which SQLite reports as such, or as an I/O error of the system's).
Result errorOf(sqlite3* db)
{
    const QString message = QString::fromUtf8(sqlite3_errmsg(db));
    const int code = sqlite3_extended_errcode(db) & 0xff;
    const int system = sqlite3_system_errno(db);
    if (code == SQLITE_BUSY || code == SQLITE_LOCKED)
        return Result::failure(message, Result::Cause::Busy);
    if (code == SQLITE_FULL ||
        ((code == SQLITE_IOERR || code == SQLITE_CANTOPEN) && (system == ENOSPC || system == EDQUOT)))
        return Result::failure(message, Result::Cause::DiskFull);
    return Result::failure(message);
}

} // namespace

Statement::Statement(sqlite3* db, const QString& sql) : m_db(db)
{
    if (!db) {
        m_prepared = Result::failure(QStringLiteral("the database is not open"));
        return;
    }
    const QByteArray utf8 = sql.toUtf8();
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &m_stmt, &tail) != SQLITE_OK) {
        m_prepared = errorOf(db);
        m_code = sqlite3_extended_errcode(db);
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
    } else if (!m_stmt) {
        m_prepared = Result::failure(QStringLiteral("empty statement"));
    } else if (tail && *tail) {
        // A second statement after the first would be silently ignored; refuse it instead.
        for (const char* p = tail; *p; ++p) {
            if (*p != ' ' && *p != '\t' && *p != '\r' && *p != '\n' && *p != ';') {
                m_prepared = Result::failure(QStringLiteral("more than one statement"));
                sqlite3_finalize(m_stmt);
                m_stmt = nullptr;
                break;
            }
        }
    }
}

Statement::~Statement()
{
    sqlite3_finalize(m_stmt);
}

void Statement::bind(int position, const QVariant& value)
{
    if (!m_stmt)
        return;
    if (value.isNull()) {
        sqlite3_bind_null(m_stmt, position);
        return;
    }
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
        bindInt64(position, value.toLongLong());
        return;
    default:
        bindText(position, value.toString());
    }
}

void Statement::bindText(int position, const QString& text)
{
    if (!m_stmt)
        return;
    // An empty text is stored as the empty text, never as NULL.
    static const char16_t empty[] = u"";
    const void* data = text.isEmpty() ? static_cast<const void*>(empty) : static_cast<const void*>(text.utf16());
    sqlite3_bind_text16(m_stmt, position, data, int(text.size() * sizeof(char16_t)), SQLITE_TRANSIENT);
}

void Statement::bindInt64(int position, qint64 value)
{
    if (m_stmt)
        sqlite3_bind_int64(m_stmt, position, value);
}

Statement::Step Statement::step()
{
    if (!m_stmt) {
        m_stepError = m_prepared;
        return Step::Error;
    }
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return Step::Row;
    if (rc == SQLITE_DONE)
        return Step::Done;
    m_stepError = errorOf(m_db);
    m_code = sqlite3_extended_errcode(m_db);
    sqlite3_reset(m_stmt);
    return Step::Error;
}

Result Statement::run(sqlite3* db, const QString& sql, QVariant* first, int* code)
{
    Statement statement(db, sql);
    Step step;
    bool firstRow = true;
    while ((step = statement.step()) == Step::Row) {
        if (first && firstRow)
            *first = statement.value(0);
        firstRow = false;
    }
    if (code)
        *code = step == Step::Done ? 0 : statement.errorCode() ? statement.errorCode() : SQLITE_ERROR;
    return step == Step::Done ? Result::success() : statement.lastError();
}

Result Statement::exec()
{
    for (;;) {
        switch (step()) {
        case Step::Row:
            continue;
        case Step::Done:
            return Result::success();
        case Step::Error:
            return m_stepError;
        }
    }
}

Result Statement::lastError() const
{
    return m_stmt ? m_stepError : m_prepared;
}

int Statement::columnCount() const
{
    return m_stmt ? sqlite3_column_count(m_stmt) : 0;
}

QString Statement::columnName(int column) const
{
    return QString::fromUtf8(sqlite3_column_name(m_stmt, column));
}

QString Statement::columnTable(int column) const
{
    return QString::fromUtf8(sqlite3_column_table_name(m_stmt, column));
}

QString Statement::columnOrigin(int column) const
{
    return QString::fromUtf8(sqlite3_column_origin_name(m_stmt, column));
}

QVariant Statement::value(int column) const
{
    switch (sqlite3_column_type(m_stmt, column)) {
    case SQLITE_NULL:
        return {};
    case SQLITE_INTEGER:
        return QVariant::fromValue<qint64>(sqlite3_column_int64(m_stmt, column));
    case SQLITE_FLOAT:
        return sqlite3_column_double(m_stmt, column);
    default: {
        const auto* text = static_cast<const char16_t*>(sqlite3_column_text16(m_stmt, column));
        const int bytes = sqlite3_column_bytes16(m_stmt, column);
        return QString::fromUtf16(text, bytes / int(sizeof(char16_t)));
    }
    }
}

qint64 Statement::int64(int column) const
{
    return sqlite3_column_int64(m_stmt, column);
}

QString quoteIdentifier(const QString& name)
{
    QString quoted = name;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}
