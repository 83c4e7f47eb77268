#include "db/RecordSet.h"

#include "db/Connection.h"
#include "db/Statement.h"

#include <QRegularExpression>

#include <sqlite3.h>

namespace {

const QString NoCurrentRecord = QStringLiteral("no current record");
constexpr int FetchWindow = 64;
constexpr int CacheLimit = 4096;

bool isBareName(const QString& source)
{
    static const QRegularExpression blank(QStringLiteral("\\s"));
    return !source.isEmpty() && !source.contains(blank);
}

} // namespace

RecordSet::RecordSet(const QString& name, QObject* parent) : QObject(parent)
{
    setObjectName(name);
}

RecordSet::~RecordSet() = default;

void RecordSet::setDatabaseName(const QString& path)
{
    if (path != m_path)
        m_connection.reset();
    m_path = path;
}

Result RecordSet::openConnection()
{
    if (m_connection)
        return Result::success();
    Result opened;
    m_connection = Connection::shared(m_path, &opened);
    return opened;
}

QString RecordSet::statementText() const
{
    // A bare table name opens the whole table.
    return isBareName(m_source) ? QStringLiteral("SELECT * FROM ") + quoteIdentifier(m_source) : m_source;
}

Result RecordSet::refresh()
{
    if (Result written = writePending(); !written)
        return written;
    if (Result opened = openConnection(); !opened)
        return opened;
    sqlite3* db = m_connection->handle();
    const QString sql = statementText();

    Statement statement(db, sql);
    if (!statement.prepared())
        return statement.prepared();

    // The statement can be opened as a keyset when every column comes from one table and
    // the table's integer key is among them.
    const int columns = statement.columnCount();
    QStringList fields;
    QStringList origins;
    QString table;
    QString keyColumn;
    bool oneTable = columns > 0;
    for (int c = 0; c < columns; ++c) {
        fields.append(statement.columnName(c));
        origins.append(statement.columnOrigin(c));
        const QString columnTable = statement.columnTable(c);
        if (columnTable.isEmpty() || origins.last().isEmpty() || (!table.isEmpty() && columnTable != table))
            oneTable = false;
        table = columnTable;
    }
    if (oneTable) {
        for (int c = 0; c < columns && keyColumn.isEmpty(); ++c) {
            const char* type = nullptr;
            int primaryKey = 0;
            const QByteArray tableName = table.toUtf8();
            const QByteArray columnName = origins[c].toUtf8();
            if (sqlite3_table_column_metadata(db, nullptr, tableName.constData(), columnName.constData(), &type,
                                              nullptr, nullptr, &primaryKey, nullptr) == SQLITE_OK &&
                primaryKey && type && qstricmp(type, "INTEGER") == 0)
                keyColumn = fields[c];
        }
    }

    QVector<qint64> keys;
    QVector<QVariantList> rows;
    const bool keyset = !keyColumn.isEmpty();
    if (keyset) {
        // Only the keys are read, in the statement's order; the narrow index on the key lets
        // the engine do this without reading the rows. A bare table comes in key order: left
        // to itself, SQLite reads it through whichever index it estimates smallest, which
        // with index statistics in the file can be the date index.
        QString keySql =
            QStringLiteral("SELECT ") + quoteIdentifier(keyColumn) + QStringLiteral(" FROM (") + sql + QLatin1Char(')');
        if (isBareName(m_source))
            keySql += QStringLiteral(" ORDER BY ") + quoteIdentifier(keyColumn);
        Statement keyQuery(db, keySql);
        if (!keyQuery.prepared())
            return keyQuery.prepared();
        Statement::Step step;
        while ((step = keyQuery.step()) == Statement::Step::Row)
            keys.append(keyQuery.int64(0));
        if (step == Statement::Step::Error)
            return keyQuery.lastError();
    } else {
        Statement::Step step;
        while ((step = statement.step()) == Statement::Step::Row) {
            QVariantList row;
            row.reserve(columns);
            for (int c = 0; c < columns; ++c)
                row.append(statement.value(c));
            rows.append(row);
        }
        if (step == Statement::Step::Error)
            return statement.lastError();
    }

    Q_EMIT aboutToRefresh();
    m_keyset = keyset;
    m_table = table;
    m_keyColumn = keyset ? origins[fields.indexOf(keyColumn)] : QString();
    m_fields = fields;
    m_origins = origins;
    if (keyset) {
        QStringList quotedColumns;
        for (const QString& origin : origins)
            quotedColumns.append(quoteIdentifier(origin));
        m_rowSelect = QStringLiteral("SELECT ") + quotedColumns.join(QLatin1Char(',')) + QStringLiteral(" FROM ") +
                      quoteIdentifier(m_table) + QStringLiteral(" WHERE ") + quoteIdentifier(m_keyColumn) +
                      QStringLiteral(" IN (");
    }
    m_keys = std::move(keys);
    m_rows = std::move(rows);
    m_cache.clear();
    if (recordCount() > 0) {
        m_position = Position::OnRecord;
        m_index = 0;
    } else {
        m_position = Position::Empty;
        m_index = -1;
    }
    loadCurrent();
    Q_EMIT refreshed();
    for (RecordSetClient* client : QList<RecordSetClient*>(m_clients))
        client->showCurrent();
    Q_EMIT currentChanged();
    return Result::success();
}

int RecordSet::recordCount() const
{
    return int(m_keyset ? m_keys.size() : m_rows.size());
}

bool RecordSet::bof() const
{
    return recordCount() == 0 || m_position == Position::Empty || m_position == Position::Bof;
}

bool RecordSet::eof() const
{
    return recordCount() == 0 || m_position == Position::Empty || m_position == Position::Eof;
}

Result RecordSet::checkMove() const
{
    if (recordCount() == 0)
        return Result::failure(NoCurrentRecord);
    return Result::success();
}

Result RecordSet::moveFirst()
{
    if (Result r = checkMove(); !r)
        return r;
    if (Result r = writePending(); !r)
        return r;
    m_position = Position::OnRecord;
    m_index = 0;
    settle();
    return Result::success();
}

Result RecordSet::moveLast()
{
    if (Result r = checkMove(); !r)
        return r;
    if (Result r = writePending(); !r)
        return r;
    m_position = Position::OnRecord;
    m_index = recordCount() - 1;
    settle();
    return Result::success();
}

Result RecordSet::moveNext()
{
    if (Result r = checkMove(); !r)
        return r;
    if (m_position == Position::Eof)
        return Result::failure(NoCurrentRecord);
    if (Result r = writePending(); !r)
        return r;
    // After a delete the next record has slid into the deleted one's place.
    int next = m_index + 1;
    if (m_position == Position::Bof)
        next = 0;
    else if (m_position == Position::Deleted)
        next = m_index;
    if (next >= recordCount()) {
        m_position = Position::Eof;
        m_index = recordCount();
    } else {
        m_position = Position::OnRecord;
        m_index = next;
    }
    settle();
    return Result::success();
}

Result RecordSet::movePrevious()
{
    if (Result r = checkMove(); !r)
        return r;
    if (m_position == Position::Bof)
        return Result::failure(NoCurrentRecord);
    if (Result r = writePending(); !r)
        return r;
    const int previous = m_position == Position::Eof ? recordCount() - 1 : m_index - 1;
    if (previous < 0) {
        m_position = Position::Bof;
        m_index = -1;
    } else {
        m_position = Position::OnRecord;
        m_index = qMin(previous, recordCount() - 1);
    }
    settle();
    return Result::success();
}

Result RecordSet::moveTo(int row)
{
    if (row < 0 || row >= recordCount())
        return Result::failure(NoCurrentRecord);
    if (m_position == Position::OnRecord && m_index == row)
        return Result::success();
    if (Result r = writePending(); !r)
        return r;
    m_position = Position::OnRecord;
    m_index = row;
    settle();
    return Result::success();
}

void RecordSet::settle()
{
    loadCurrent();
    for (RecordSetClient* client : QList<RecordSetClient*>(m_clients))
        client->showCurrent();
    Q_EMIT currentChanged();
}

void RecordSet::loadCurrent()
{
    m_current.clear();
    if (m_position != Position::OnRecord)
        return;
    if (!m_keyset) {
        m_current = m_rows.value(m_index);
        return;
    }
    // The current record is read afresh, so that it shows what is stored now.
    const qint64 key = m_keys[m_index];
    m_cache.remove(key);
    fetchAround(m_index);
    m_current = m_cache.value(key);
}

void RecordSet::fetchAround(int row) const
{
    if (!m_keyset || !m_connection || row < 0 || row >= m_keys.size())
        return;
    if (m_cache.size() > CacheLimit)
        m_cache.clear();
    const int first = qMax(0, row - FetchWindow / 4);
    const int last = qMin(int(m_keys.size()), first + FetchWindow);
    QStringList wanted;
    for (int r = first; r < last; ++r) {
        if (r == row || !m_cache.contains(m_keys[r]))
            wanted.append(QString::number(m_keys[r]));
    }
    Statement statement(m_connection->handle(), m_rowSelect + wanted.join(QLatin1Char(',')) + QLatin1Char(')'));
    const int keyPosition = int(m_origins.indexOf(m_keyColumn));
    const int columns = int(m_fields.size());
    while (statement.step() == Statement::Step::Row) {
        QVariantList values;
        values.reserve(columns);
        for (int c = 0; c < columns; ++c)
            values.append(statement.value(c));
        m_cache.insert(statement.int64(keyPosition), values);
    }
}

bool RecordSet::hasPending() const
{
    QList<FieldEdit> edits;
    for (const RecordSetClient* client : m_clients)
        client->collectPending(edits);
    return !edits.isEmpty();
}

Result RecordSet::writePending()
{
    QList<FieldEdit> edits;
    for (const RecordSetClient* client : m_clients)
        client->collectPending(edits);
    if (edits.isEmpty())
        return Result::success();
    // Nothing typed into the controls of a read-only record set is ever stored.
    if (!isUpdatable())
        return Result::success();
    if (m_position != Position::OnRecord)
        return Result::failure(NoCurrentRecord);

    QStringList assignments;
    QVariantList values;
    for (const FieldEdit& edit : edits) {
        const int column = fieldIndex(edit.first);
        if (column < 0)
            return Result::failure(QStringLiteral("no field ") + edit.first);
        assignments.append(quoteIdentifier(m_origins[column]) + QStringLiteral(" = ?"));
        values.append(edit.second);
    }
    Statement update(m_connection->handle(), QStringLiteral("UPDATE ") + quoteIdentifier(m_table) +
                                                 QStringLiteral(" SET ") + assignments.join(QStringLiteral(", ")) +
                                                 QStringLiteral(" WHERE ") + quoteIdentifier(m_keyColumn) +
                                                 QStringLiteral(" = ?"));
    if (!update.prepared())
        return update.prepared();
    for (int i = 0; i < values.size(); ++i)
        update.bind(i + 1, values[i]);
    update.bindInt64(int(values.size()) + 1, m_keys[m_index]);
    if (Result r = update.exec(); !r)
        return r;
    if (sqlite3_changes(m_connection->handle()) == 0)
        return Result::failure(QStringLiteral("the record has been deleted"));

    for (RecordSetClient* client : QList<RecordSetClient*>(m_clients))
        client->clearPending();
    loadCurrent();
    Q_EMIT rowChanged(m_index);
    return Result::success();
}

Result RecordSet::updateRecord()
{
    if (hasPending() && isUpdatable() && m_position != Position::OnRecord)
        return Result::failure(NoCurrentRecord);
    return writePending();
}

void RecordSet::updateControls()
{
    loadCurrent();
    for (RecordSetClient* client : QList<RecordSetClient*>(m_clients))
        client->showCurrent();
}

Result RecordSet::addNew()
{
    if (!m_connection || m_fields.isEmpty())
        return Result::failure(QStringLiteral("the record set has not been opened"));
    if (!isUpdatable())
        return Result::failure(QStringLiteral("the record set is read-only"));
    Statement insert(m_connection->handle(),
                     QStringLiteral("INSERT INTO ") + quoteIdentifier(m_table) + QStringLiteral(" DEFAULT VALUES"));
    if (Result r = insert.exec(); !r)
        return r;
    Q_EMIT rowAboutToBeInserted(recordCount());
    m_keys.append(sqlite3_last_insert_rowid(m_connection->handle()));
    if (m_position == Position::Empty) {
        m_position = Position::Bof;
        m_index = -1;
    } else if (m_position == Position::Eof) {
        m_index = recordCount();
    }
    Q_EMIT rowInserted(recordCount() - 1);
    return Result::success();
}

Result RecordSet::deleteCurrent()
{
    if (m_position != Position::OnRecord)
        return Result::failure(NoCurrentRecord);
    if (!isUpdatable())
        return Result::failure(QStringLiteral("the record set is read-only"));
    Statement remove(m_connection->handle(), QStringLiteral("DELETE FROM ") + quoteIdentifier(m_table) +
                                                 QStringLiteral(" WHERE ") + quoteIdentifier(m_keyColumn) +
                                                 QStringLiteral(" = ?"));
    remove.bindInt64(1, m_keys[m_index]);
    if (Result r = remove.exec(); !r)
        return r;
    m_cache.remove(m_keys[m_index]);
    Q_EMIT rowAboutToBeRemoved(m_index);
    m_keys.removeAt(m_index);
    m_position = Position::Deleted;
    const int removed = m_index;
    Q_EMIT rowRemoved(removed);
    settle();
    return Result::success();
}

int RecordSet::fieldIndex(const QString& name) const
{
    // "メモ帳.ｷｰﾜｰﾄﾞ" names the field "ｷｰﾜｰﾄﾞ".
    const QString bare = name.section(QLatin1Char('.'), -1);
    for (int i = 0; i < m_fields.size(); ++i) {
        if (m_fields[i].compare(bare, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QVariant RecordSet::field(const QString& name) const
{
    return field(fieldIndex(name));
}

QVariant RecordSet::field(int position) const
{
    if (m_position != Position::OnRecord || position < 0 || position >= m_current.size())
        return {};
    return m_current[position];
}

QVariant RecordSet::value(int row, int column) const
{
    if (row < 0 || row >= recordCount() || column < 0 || column >= m_fields.size())
        return {};
    if (!m_keyset)
        return m_rows[row].value(column);
    const qint64 key = m_keys[row];
    auto it = m_cache.constFind(key);
    if (it == m_cache.constEnd()) {
        fetchAround(row);
        it = m_cache.constFind(key);
        if (it == m_cache.constEnd())
            return {};
    }
    return it->value(column);
}

QVariantList RecordSet::columnValues(int column) const
{
    QVariantList values;
    values.reserve(recordCount());
    for (int row = 0; row < recordCount(); ++row)
        values.append(value(row, column));
    return values;
}

void RecordSet::attach(RecordSetClient* client)
{
    if (!m_clients.contains(client))
        m_clients.append(client);
}

void RecordSet::detach(RecordSetClient* client)
{
    m_clients.removeAll(client);
}
