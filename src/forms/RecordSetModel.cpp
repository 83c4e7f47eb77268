#include "forms/RecordSetModel.h"

#include "db/RecordSet.h"
#include "forms/Binding.h"

RecordSetModel::RecordSetModel(RecordSet* recordSet, const QStringList& fields, bool editable, QObject* parent)
    : QAbstractTableModel(parent), m_recordSet(recordSet), m_fields(fields), m_editable(editable)
{
    recordSet->attach(this);
    connect(recordSet, &RecordSet::aboutToRefresh, this, [this] { beginResetModel(); });
    connect(recordSet, &RecordSet::refreshed, this, [this] {
        m_pending.clear();
        endResetModel();
    });
    connect(recordSet, &RecordSet::rowAboutToBeInserted, this, [this](int row) { beginInsertRows({}, row, row); });
    connect(recordSet, &RecordSet::rowInserted, this, [this] { endInsertRows(); });
    connect(recordSet, &RecordSet::rowAboutToBeRemoved, this, [this](int row) { beginRemoveRows({}, row, row); });
    connect(recordSet, &RecordSet::rowRemoved, this, [this] { endRemoveRows(); });
    connect(recordSet, &RecordSet::rowChanged, this,
            [this](int row) { Q_EMIT dataChanged(index(row, 0), index(row, columnCount() - 1)); });
    m_shownCurrent = recordSet->currentRow();
}

RecordSetModel::~RecordSetModel()
{
    if (m_recordSet)
        m_recordSet->detach(this);
}

int RecordSetModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || !m_recordSet ? 0 : m_recordSet->recordCount();
}

int RecordSetModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_fields.size());
}

QVariant RecordSetModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || !m_recordSet || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    const QString& field = m_fields[index.column()];
    if (index.row() == m_recordSet->currentRow()) {
        const auto pending = m_pending.constFind(field);
        if (pending != m_pending.constEnd())
            return *pending;
    }
    return Binding::displayText(m_recordSet->value(index.row(), m_recordSet->fieldIndex(field)));
}

QVariant RecordSetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole)
        return {};
    if (orientation == Qt::Horizontal)
        return m_fields.value(section);
    // The record selector marks the current record, and a pencil its pending edits; a screen
    // reader reads them in words.
    if (m_recordSet && section == m_recordSet->currentRow()) {
        if (role == Qt::AccessibleTextRole)
            return m_pending.isEmpty() ? QStringLiteral("現在の行") : QStringLiteral("入力中の行");
        return m_pending.isEmpty() ? QStringLiteral("▶") : QStringLiteral("✎");
    }
    return QString();
}

Qt::ItemFlags RecordSetModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    // The key is numbered by the engine and never typed.
    if (m_editable && m_recordSet && m_recordSet->isUpdatable() &&
        m_recordSet->fieldIndex(m_fields.value(index.column())) != 0)
        f |= Qt::ItemIsEditable;
    return f;
}

bool RecordSetModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || !m_recordSet || !(flags(index) & Qt::ItemIsEditable))
        return false;
    if (index.row() != m_recordSet->currentRow() && !m_recordSet->moveTo(index.row()))
        return false;
    const QString& field = m_fields[index.column()];
    if (data(index, Qt::EditRole) == value.toString() && !m_pending.contains(field))
        return false;
    m_pending.insert(field, value.toString());
    Q_EMIT dataChanged(index, index);
    Q_EMIT headerDataChanged(Qt::Vertical, index.row(), index.row());
    return true;
}

void RecordSetModel::collectPending(QList<FieldEdit>& edits) const
{
    for (auto it = m_pending.constBegin(); it != m_pending.constEnd(); ++it)
        edits.append({it.key(), it.value()});
}

void RecordSetModel::clearPending()
{
    m_pending.clear();
    if (m_recordSet && m_recordSet->currentRow() >= 0)
        Q_EMIT headerDataChanged(Qt::Vertical, m_recordSet->currentRow(), m_recordSet->currentRow());
}

void RecordSetModel::showCurrent()
{
    const int previous = m_shownCurrent;
    const bool hadPending = !m_pending.isEmpty();
    m_pending.clear();
    m_shownCurrent = m_recordSet ? m_recordSet->currentRow() : -1;
    if (hadPending && m_shownCurrent >= 0 && m_shownCurrent < rowCount())
        Q_EMIT dataChanged(index(m_shownCurrent, 0), index(m_shownCurrent, columnCount() - 1));
    if (previous >= 0 && previous < rowCount())
        Q_EMIT headerDataChanged(Qt::Vertical, previous, previous);
    if (m_shownCurrent >= 0)
        Q_EMIT headerDataChanged(Qt::Vertical, m_shownCurrent, m_shownCurrent);
}
