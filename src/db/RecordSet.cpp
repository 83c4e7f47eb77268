#include "db/RecordSet.h"

#include "core/Log.h"

#include "db/BusyWait.h"
#include "db/Connection.h"
#include "db/MemoSearch.h"
#include "db/Statement.h"

#include <QRegularExpression>

#include <memory>

#include <sqlite3.h>

namespace {

const QString NoCurrentRecord = QStringLiteral("no current record");
const QString RecordDeleted = QStringLiteral("the record has been deleted by another program");
const QString RecordChanged = QStringLiteral("the record has been changed by another program since it was read");
constexpr int FetchWindow = 64;
constexpr int CacheLimit = 4096;

bool isBareName(const QString& source)
{
    static const QRegularExpression blank(QStringLiteral("\\s"));
    return !source.isEmpty() && !source.contains(blank);
}

// The values of the statement's current row.
QVariantList rowValues(const Statement& statement, int columns)
{
    QVariantList values;
    values.reserve(columns);
    for (int c = 0; c < columns; ++c)
        values.append(statement.value(c));
    return values;
}

// Reads the rows of the given keys into rows, by key.
Result fetchRows(sqlite3* db, const QString& rowSelect, int keyPosition, int columns, const QVector<qint64>& keys,
                 QHash<qint64, QVariantList>& rows)
{
    if (keys.isEmpty())
        return Result::success();
    QStringList wanted;
    wanted.reserve(keys.size());
    for (qint64 key : keys)
        wanted.append(QString::number(key));
    Statement statement(db, rowSelect + wanted.join(QLatin1Char(',')) + QLatin1Char(')'));
    Statement::Step step;
    while ((step = statement.step()) == Statement::Step::Row)
        rows.insert(statement.int64(keyPosition), rowValues(statement, columns));
    return step == Statement::Step::Error ? statement.lastError() : Result::success();
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

struct RecordSet::Run
{
    QString sql;
    std::unique_ptr<Statement> statement;
    bool keyset = false;
    QString table;
    QString keyOrigin;
    int keyPosition = -1;
    QStringList fields;
    QStringList origins;
    QString rowSelect;
    QVector<qint64> keys;
    QVector<QVariantList> rows;
    QHash<qint64, QVariantList> cache;
};

Result RecordSet::refresh()
{
    BusyWait::Action wait;
    if (Result written = writePending(); !written)
        return written;
    if (Result opened = openConnection(); !opened)
        return opened;
    Run run;
    if (Result prepared = prepareRun(run); !prepared)
        return prepared;
    if (Result read = readRun(run); !read)
        return read;
    installRun(std::move(run));
    return Result::success();
}

Result RecordSet::prepareRun(Run& run) const
{
    sqlite3* db = m_connection->handle();
    run.sql = statementText();
    run.statement = std::make_unique<Statement>(db, run.sql);
    const Statement& statement = *run.statement;
    if (!statement.prepared())
        return statement.prepared();

    // The statement can be opened as a keyset when every column comes from one table and
    // the table's integer key is among them.
    const int columns = statement.columnCount();
    bool oneTable = columns > 0;
    for (int c = 0; c < columns; ++c) {
        run.fields.append(statement.columnName(c));
        run.origins.append(statement.columnOrigin(c));
        const QString columnTable = statement.columnTable(c);
        if (columnTable.isEmpty() || run.origins.last().isEmpty() || (!run.table.isEmpty() && columnTable != run.table))
            oneTable = false;
        run.table = columnTable;
    }
    if (!oneTable)
        return Result::success();
    const QByteArray tableName = run.table.toUtf8();
    for (int c = 0; c < columns; ++c) {
        const char* type = nullptr;
        int primaryKey = 0;
        const QByteArray columnName = run.origins[c].toUtf8();
        if (sqlite3_table_column_metadata(db, nullptr, tableName.constData(), columnName.constData(), &type, nullptr,
                                          nullptr, &primaryKey, nullptr) == SQLITE_OK &&
            primaryKey && type && qstricmp(type, "INTEGER") == 0) {
            run.keyset = true;
            run.keyOrigin = run.origins[c];
            run.keyPosition = c;
            break;
        }
    }
    if (run.keyset) {
        QStringList quotedColumns;
        for (const QString& origin : std::as_const(run.origins))
            quotedColumns.append(quoteIdentifier(origin));
        run.rowSelect = QStringLiteral("SELECT ") + quotedColumns.join(QLatin1Char(',')) + QStringLiteral(" FROM ") +
                        quoteIdentifier(run.table) + QStringLiteral(" WHERE ") + quoteIdentifier(run.keyOrigin) +
                        QStringLiteral(" IN (");
    }
    return Result::success();
}

Result RecordSet::readRun(Run& run) const
{
    sqlite3* db = m_connection->handle();
    if (!run.keyset) {
        Statement& statement = *run.statement;
        const int columns = int(run.fields.size());
        Statement::Step step;
        while ((step = statement.step()) == Statement::Step::Row)
            run.rows.append(rowValues(statement, columns));
        return step == Statement::Step::Error ? statement.lastError() : Result::success();
    }

    // Only the keys are read, in the statement's order; the narrow index on the key lets
    // the engine do this without reading the rows. A bare table comes in key order: left
    // to itself, SQLite reads it through whichever index it estimates smallest, which
    // with index statistics in the file can be the date index.
    // A full-text search gives its keys from the index, when that agrees with the book,
    // without each memo being looked up.
    if (m_query && MemoSearch::quickKeys(db, *m_query, run.keys)) {
        run.statement.reset();
        return fetchRows(db, run.rowSelect, run.keyPosition, int(run.fields.size()), run.keys.mid(0, FetchWindow),
                         run.cache);
    }
    QString keySql = QStringLiteral("SELECT ") + quoteIdentifier(run.fields[run.keyPosition]) +
                     QStringLiteral(" FROM (") + run.sql + QLatin1Char(')');
    if (isBareName(m_source))
        keySql += QStringLiteral(" ORDER BY ") + quoteIdentifier(run.fields[run.keyPosition]);
    run.statement.reset();
    Statement keyQuery(db, keySql);
    if (!keyQuery.prepared())
        return keyQuery.prepared();
    Statement::Step step;
    while ((step = keyQuery.step()) == Statement::Step::Row)
        run.keys.append(keyQuery.int64(0));
    if (step == Statement::Step::Error)
        return keyQuery.lastError();
    // The first record becomes current: it is read now, so that a run whose first record
    // cannot be read fails as a whole.
    return fetchRows(db, run.rowSelect, run.keyPosition, int(run.fields.size()), run.keys.mid(0, FetchWindow),
                     run.cache);
}

void RecordSet::installRun(Run&& run)
{
    Q_EMIT aboutToRefresh();
    m_keyset = run.keyset;
    m_table = run.table;
    m_keyColumn = run.keyOrigin;
    m_keyPosition = run.keyPosition;
    m_fields = std::move(run.fields);
    m_origins = std::move(run.origins);
    m_rowSelect = std::move(run.rowSelect);
    m_keys = std::move(run.keys);
    m_rows = std::move(run.rows);
    m_cache = std::move(run.cache);
    m_current.clear();
    m_currentGone = false;
    if (recordCount() > 0) {
        m_position = Position::OnRecord;
        m_index = 0;
        if (m_keyset) {
            m_currentGone = !m_cache.contains(m_keys[0]);
            m_current = m_cache.value(m_keys[0]);
        } else {
            m_current = m_rows[0];
        }
    } else {
        m_position = Position::Empty;
        m_index = -1;
    }
    Q_EMIT refreshed();
    showCurrent();
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

Result RecordSet::prepareMove(std::optional<Position> endReached)
{
    if (recordCount() == 0 || m_position == endReached)
        return Result::failure(NoCurrentRecord);
    return writePending();
}

Result RecordSet::moveFirst()
{
    BusyWait::Action wait;
    if (Result r = prepareMove(); !r)
        return r;
    return goTo(Position::OnRecord, 0);
}

Result RecordSet::moveLast()
{
    BusyWait::Action wait;
    if (Result r = prepareMove(); !r)
        return r;
    return goTo(Position::OnRecord, recordCount() - 1);
}

Result RecordSet::moveNext()
{
    BusyWait::Action wait;
    if (Result r = prepareMove(Position::Eof); !r)
        return r;
    // After a delete the next record has slid into the deleted one's place.
    int next = m_index + 1;
    if (m_position == Position::Bof)
        next = 0;
    else if (m_position == Position::Deleted)
        next = m_index;
    if (next >= recordCount())
        return goTo(Position::Eof, recordCount());
    return goTo(Position::OnRecord, next);
}

Result RecordSet::movePrevious()
{
    BusyWait::Action wait;
    if (Result r = prepareMove(Position::Bof); !r)
        return r;
    const int previous = m_position == Position::Eof ? recordCount() - 1 : m_index - 1;
    if (previous < 0)
        return goTo(Position::Bof, -1);
    return goTo(Position::OnRecord, qMin(previous, recordCount() - 1));
}

Result RecordSet::moveTo(int row)
{
    BusyWait::Action wait;
    if (row < 0 || row >= recordCount())
        return Result::failure(NoCurrentRecord);
    if (m_position == Position::OnRecord && m_index == row)
        return Result::success();
    if (Result r = writePending(); !r)
        return r;
    return goTo(Position::OnRecord, row);
}

Result RecordSet::goTo(Position position, int index)
{
    QVariantList values;
    bool gone = false;
    if (position == Position::OnRecord) {
        if (Result r = readRecord(index, values, gone); !r) {
            qCWarning(lcDb, "record set %s: the record could not be read: %s", qPrintable(objectName()),
                      qPrintable(r.message));
            return r;
        }
    }
    m_position = position;
    m_index = index;
    m_current = std::move(values);
    m_currentGone = gone;
    showCurrent();
    return Result::success();
}

void RecordSet::showCurrent()
{
    for (RecordSetClient* client : QList<RecordSetClient*>(m_clients))
        client->showCurrent();
    Q_EMIT currentChanged();
}

Result RecordSet::readRecord(int row, QVariantList& values, bool& gone) const
{
    gone = false;
    if (!m_keyset) {
        values = m_rows.value(row);
        return Result::success();
    }
    // The record is read afresh, so that it shows what is stored now.
    const qint64 key = m_keys[row];
    m_cache.remove(key);
    if (Result r = fetchAround(row); !r)
        return r;
    const auto it = m_cache.constFind(key);
    gone = it == m_cache.constEnd();
    values = gone ? QVariantList() : *it;
    return Result::success();
}

Result RecordSet::fetchAround(int row) const
{
    if (!m_keyset || !m_connection || row < 0 || row >= m_keys.size())
        return Result::success();
    if (m_cache.size() > CacheLimit)
        m_cache.clear();
    const int first = qMax(0, row - FetchWindow / 4);
    const int last = qMin(int(m_keys.size()), first + FetchWindow);
    QVector<qint64> wanted;
    for (int r = first; r < last; ++r) {
        if (r == row || !m_cache.contains(m_keys[r]))
            wanted.append(m_keys[r]);
    }
    return fetchRows(m_connection->handle(), m_rowSelect, m_keyPosition, int(m_fields.size()), wanted, m_cache);
}

Result RecordSet::readStored(qint64 key, QVariantList& values, bool& found) const
{
    QHash<qint64, QVariantList> rows;
    if (Result r = fetchRows(m_connection->handle(), m_rowSelect, m_keyPosition, int(m_fields.size()), {key}, rows); !r)
        return r;
    found = rows.contains(key);
    values = rows.value(key);
    return Result::success();
}

QList<FieldEdit> RecordSet::pendingEdits() const
{
    QList<FieldEdit> edits;
    for (const RecordSetClient* client : m_clients)
        client->collectPending(edits);
    return edits;
}

void RecordSet::discardPending()
{
    for (RecordSetClient* client : QList<RecordSetClient*>(m_clients))
        client->clearPending();
}

Result RecordSet::writePending(bool overOthers)
{
    const QList<FieldEdit> edits = pendingEdits();
    if (edits.isEmpty())
        return Result::success();
    // Nothing typed into the controls of a read-only record set is ever stored.
    if (!isUpdatable())
        return Result::success();
    if (m_position != Position::OnRecord)
        return Result::failure(NoCurrentRecord);
    if (Result r = storeEdits(edits, overOthers); !r)
        return r;
    for (RecordSetClient* client : QList<RecordSetClient*>(m_clients))
        client->clearPending();
    Q_EMIT rowChanged(m_index);
    return Result::success();
}

Result RecordSet::storeEdits(const QList<FieldEdit>& edits, bool overOthers)
{
    QStringList assignments;
    QVariantList values;
    QVector<int> assignedColumns;
    for (const FieldEdit& edit : edits) {
        const int column = fieldIndex(edit.first);
        if (column < 0)
            return Result::failure(QStringLiteral("no field ") + edit.first);
        assignments.append(quoteIdentifier(m_origins[column]) + QStringLiteral(" = ?"));
        values.append(edit.second);
        assignedColumns.append(column);
    }
    if (Result r = m_connection->checkWritable(); !r)
        return r;

    // The stored record is compared with the one read, and written, under one write lock.
    const qint64 key = m_keys[m_index];
    QVariantList stored;
    bool read = false;
    bool found = false;
    bool changedElsewhere = false;
    const Result written = m_connection->writeTransaction([&]() -> Result {
        if (Result r = readStored(key, stored, found); !r)
            return r;
        read = true;
        if (!found) {
            if (!overOthers)
                return Result::failure(RecordDeleted, Result::Cause::Deleted);
            if (Result r = restore(key, assignedColumns, values); !r)
                return r;
            return readStored(key, stored, found);
        }
        if (!overOthers && (m_currentGone || stored != m_current)) {
            changedElsewhere = true;
            return Result::failure(RecordChanged, Result::Cause::Changed);
        }
        Statement update(m_connection->handle(), QStringLiteral("UPDATE ") + quoteIdentifier(m_table) +
                                                     QStringLiteral(" SET ") + assignments.join(QStringLiteral(", ")) +
                                                     QStringLiteral(" WHERE ") + quoteIdentifier(m_keyColumn) +
                                                     QStringLiteral(" = ?"));
        if (!update.prepared())
            return update.prepared();
        for (int i = 0; i < values.size(); ++i)
            update.bind(i + 1, values[i]);
        update.bindInt64(int(values.size()) + 1, key);
        if (Result r = update.exec(); !r)
            return r;
        // What is stored now, as the engine stored it, is what the next write expects.
        return readStored(key, stored, found);
    });
    // Whatever the outcome, a record read under the lock is what is stored now.
    if (read) {
        m_currentGone = !found;
        if (found) {
            m_current = stored;
            m_cache.insert(key, stored);
        } else {
            m_cache.remove(key);
        }
    }
    // The other program's values show in the controls that hold no typing, and in the grid.
    if (changedElsewhere)
        Q_EMIT rowChanged(m_index);
    if (!written)
        qCInfo(lcDb, "record set %s: not written: %s", qPrintable(objectName()), qPrintable(written.message));
    return written;
}

Result RecordSet::updateRecord()
{
    BusyWait::Action wait;
    return writePending();
}

Result RecordSet::updateRecordOverOthers()
{
    BusyWait::Action wait;
    return writePending(true);
}

Result RecordSet::restore(qint64 key, const QVector<int>& columns, const QVariantList& values)
{
    // The record as it was read, with the typing in it, under its own key again.
    QVariantList row = m_current;
    if (row.size() != m_fields.size())
        return Result::failure(RecordDeleted, Result::Cause::Deleted);
    for (int i = 0; i < columns.size(); ++i)
        row[columns[i]] = values[i];
    row[m_keyPosition] = key;
    QStringList names, marks;
    for (const QString& origin : std::as_const(m_origins)) {
        names.append(quoteIdentifier(origin));
        marks.append(QStringLiteral("?"));
    }
    Statement insert(m_connection->handle(), QStringLiteral("INSERT INTO ") + quoteIdentifier(m_table) +
                                                 QStringLiteral(" (") + names.join(QLatin1Char(',')) +
                                                 QStringLiteral(") VALUES (") + marks.join(QLatin1Char(',')) +
                                                 QLatin1Char(')'));
    if (!insert.prepared())
        return insert.prepared();
    for (int c = 0; c < row.size(); ++c)
        insert.bind(c + 1, row[c]);
    return insert.exec();
}

Result RecordSet::reread()
{
    BusyWait::Action wait;
    if (m_position != Position::OnRecord)
        return Result::failure(NoCurrentRecord);
    if (Result r = writePending(); !r)
        return r;
    return goTo(Position::OnRecord, m_index);
}

void RecordSet::updateControls()
{
    BusyWait::Action wait;
    if (m_position == Position::OnRecord) {
        QVariantList values;
        bool gone = false;
        if (readRecord(m_index, values, gone)) {
            m_current = std::move(values);
            m_currentGone = gone;
        }
    }
    showCurrent();
}

Result RecordSet::addNew()
{
    BusyWait::Action wait;
    if (!m_connection || m_fields.isEmpty())
        return Result::failure(QStringLiteral("the record set has not been opened"));
    if (!isUpdatable())
        return Result::failure(QStringLiteral("the record set is read-only"));
    if (Result r = m_connection->checkWritable(); !r)
        return r;
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
    BusyWait::Action wait;
    if (m_position != Position::OnRecord)
        return Result::failure(NoCurrentRecord);
    if (!isUpdatable())
        return Result::failure(QStringLiteral("the record set is read-only"));
    if (Result r = m_connection->checkWritable(); !r)
        return r;
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
    m_current.clear();
    m_currentGone = false;
    const int removed = m_index;
    Q_EMIT rowRemoved(removed);
    showCurrent();
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
        // A row that cannot be read now shows empty in the grid and is read again when it is
        // next painted; it never becomes the current record unread.
        if (Result r = fetchAround(row); !r)
            qCWarning(lcDb, "record set %s: rows could not be read: %s", qPrintable(objectName()),
                      qPrintable(r.message));
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
