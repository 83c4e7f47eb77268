#pragma once

#include "core/Result.h"
#include "db/FullTextQuery.h"
#include "db/RecordSetClient.h"

#include <QHash>
#include <QObject>
#include <QStringList>
#include <QVector>

#include <memory>
#include <optional>

class Connection;

// A record set, as a data control holds it: a database file, a record source (a query
// text or a bare table name), a current position with BOF and EOF, moves, add, delete and
// the pending edits of the controls bound to it.
//
// A statement over one table that includes the table's integer key is opened as a keyset:
// running it reads only the keys, in the statement's order, and rows are read by key when
// they are shown, so a million memos cost a million keys, not a million rows. No statement
// stays open between events. Other statements (DISTINCT lists, joins) are read-only
// snapshots read whole.
class RecordSet : public QObject
{
    Q_OBJECT

public:
    explicit RecordSet(const QString& name, QObject* parent = nullptr);
    ~RecordSet() override;

    void setDatabaseName(const QString& path);
    QString databaseName() const { return m_path; }
    // The connect text (";pwd=" and the like); the file has no password, so it is kept only.
    void setConnectText(const QString& text) { m_connectText = text; }
    QString connectText() const { return m_connectText; }
    // A record source that is a full-text search comes with what it asks for, so that its keys
    // can be read from the index; a source set without one is run as it stands.
    void setRecordSource(const QString& source, const std::optional<FullTextQuery>& query = std::nullopt)
    {
        m_source = source;
        m_query = query;
    }
    QString recordSource() const { return m_source; }
    const std::optional<FullTextQuery>& fullTextQuery() const { return m_query; }
    void setReadOnly(bool readOnly) { m_readOnly = readOnly; }
    bool isReadOnly() const { return m_readOnly; }
    bool isUpdatable() const { return !m_readOnly && m_keyset; }
    bool isKeyset() const { return m_keyset; }

    // Runs the record source; its first record becomes current. On a failure (the first
    // record could not be read either) the record set keeps the rows it had.
    Result refresh();

    int recordCount() const;
    // The row of the current record, or -1 when there is none.
    int currentRow() const { return m_position == Position::OnRecord ? m_index : -1; }
    bool hasCurrent() const { return m_position == Position::OnRecord; }
    bool bof() const;
    bool eof() const;

    // Every move first writes the pending edits of the current record; a refusal stops the
    // move. A move on an empty record set fails, and so does a move to a record that cannot
    // be read (the file locked beyond the busy timeout): the record set stays where it was.
    Result moveFirst();
    Result moveLast();
    Result moveNext();
    Result movePrevious();
    Result moveTo(int row);

    // Adds a record with no field set, stored at once; the engine numbers its key. It is
    // the last record until the next run, and the position stays where it was.
    Result addNew();
    // Writes the pending edits into the current record without moving. A write expects to
    // find the record as it was read: when another program has changed or deleted it since,
    // the write fails, and what is stored now becomes what the next write expects, so that
    // writing again stores the typing on purpose.
    Result updateRecord();
    // Writes the pending edits over whatever another program has stored since the record was
    // read, on purpose; a record it deleted is stored again under its key.
    Result updateRecordOverOthers();
    // Writes the pending edits and reads the current record again: the same record stays
    // current, showing what is stored. On a failure it stays as it was shown.
    Result reread();
    // The fields that the controls hold typing for, with the typed values.
    QList<FieldEdit> pendingEdits() const;
    // Forgets the typing without showing anything again (a window closing without storing it).
    void discardPending();
    // Drops the pending edits and shows the stored values again (those read last when the
    // record cannot be read now).
    void updateControls();
    // Deletes the current record; no record is current until the next move.
    Result deleteCurrent();

    // The keys of a keyset, in the order of the run (and those added since at the end).
    const QVector<qint64>& keys() const { return m_keys; }

    QStringList fieldNames() const { return m_fields; }
    int fieldIndex(const QString& name) const;
    // Values of the current record; null when there is none.
    QVariant field(const QString& name) const;
    QVariant field(int position) const;
    // A value of any row, read by key when it is needed.
    QVariant value(int row, int column) const;
    QVariantList columnValues(int column) const;

    void attach(RecordSetClient* client);
    void detach(RecordSetClient* client);

Q_SIGNALS:
    void currentChanged();
    // Around a run that replaces the rows, and around a row added or deleted.
    void aboutToRefresh();
    void refreshed();
    void rowAboutToBeInserted(int row);
    void rowInserted(int row);
    void rowAboutToBeRemoved(int row);
    void rowRemoved(int row);
    void rowChanged(int row);

private:
    enum class Position { Empty, Bof, OnRecord, Eof, Deleted };
    // A run of the record source, read whole before it replaces the record set's rows.
    struct Run;

    Result openConnection();
    // The steps of a run: prepare the statement and tell a keyset from a snapshot, read
    // the keys or the rows and the first record, then make the result the record set's.
    Result prepareRun(Run& run) const;
    Result readRun(Run& run) const;
    void installRun(Run&& run);

    // Refuses a move without records or past the end already reached; writes the pending edits.
    Result prepareMove(std::optional<Position> endReached = std::nullopt);
    // Reads the record at the position first: a record that cannot be read is never made
    // current, and the record set stays where it was.
    Result goTo(Position position, int index);
    Result readRecord(int row, QVariantList& values, bool& gone) const;
    Result fetchAround(int row) const;
    Result readStored(qint64 key, QVariantList& values, bool& found) const;
    void showCurrent();

    Result writePending(bool overOthers = false);
    Result storeEdits(const QList<FieldEdit>& edits, bool overOthers);
    Result restore(qint64 key, const QVector<int>& columns, const QVariantList& values);
    QString statementText() const;

    QString m_path;
    QString m_connectText;
    QString m_source;
    std::optional<FullTextQuery> m_query;
    bool m_readOnly = false;
    std::shared_ptr<Connection> m_connection;

    bool m_keyset = false;
    QString m_table;
    QString m_keyColumn;
    QStringList m_fields;
    QStringList m_origins;
    QString m_rowSelect; // "SELECT <columns> FROM <table> WHERE <key> IN ("
    int m_keyPosition = -1;
    QVector<qint64> m_keys;
    QVector<QVariantList> m_rows;
    mutable QHash<qint64, QVariantList> m_cache;

    Position m_position = Position::Empty;
    int m_index = -1;
    // The current record as last read: the values a write expects to find stored. Gone:
    // the record was not there when read (another program deleted it).
    QVariantList m_current;
    bool m_currentGone = false;
    QList<RecordSetClient*> m_clients;
};
