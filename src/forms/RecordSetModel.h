#pragma once

#include "db/RecordSet.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QPointer>
#include <QStringList>

// The rows of a record set as a table, read by key as the view asks for them. An edit of
// a cell of the current record is a pending edit of that record.
class RecordSetModel : public QAbstractTableModel, public RecordSetClient
{
    Q_OBJECT

public:
    // fields: the columns in order, each headed with its field name.
    RecordSetModel(RecordSet* recordSet, const QStringList& fields, bool editable, QObject* parent = nullptr);
    ~RecordSetModel() override;

    RecordSet* recordSet() const { return m_recordSet; }
    QString fieldOfColumn(int column) const { return m_fields.value(column); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    void collectPending(QList<FieldEdit>& edits) const override;
    void clearPending() override;
    void showCurrent() override;

private:
    QPointer<RecordSet> m_recordSet;
    QStringList m_fields;
    bool m_editable;
    QHash<QString, QVariant> m_pending;
    int m_shownCurrent = -1;
};
