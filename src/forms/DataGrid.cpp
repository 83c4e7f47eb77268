#include "forms/DataGrid.h"

#include "db/RecordSet.h"
#include "forms/RecordSetModel.h"
#include "forms/StoreFailure.h"

#include <QHeaderView>

DataGrid::DataGrid(QWidget* parent) : QTableView(parent)
{
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setTabKeyNavigation(false);
    setWordWrap(false);
    setStyleSheet(QStringLiteral("QTableView { gridline-color: #404040; }"));
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setHighlightSections(false);
    verticalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
    verticalHeader()->setMinimumWidth(16);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int section) {
        if (m_model)
            Q_EMIT headerClicked(m_model->fieldOfColumn(section));
    });
}

void DataGrid::setRecordSet(RecordSet* recordSet, const QStringList& fields, bool editable)
{
    m_recordSet = recordSet;
    auto* old = m_model;
    m_model = new RecordSetModel(recordSet, fields, editable, this);
    // While rows come and go the view moves its current row by itself, which is no choice of
    // the user's: following it would move the record set in the middle of a delete. These
    // connections come before setModel so that they run before the selection model's.
    const auto hold = [this] { ++m_changingRows; };
    connect(m_model, &QAbstractItemModel::rowsAboutToBeRemoved, this, hold);
    connect(m_model, &QAbstractItemModel::rowsAboutToBeInserted, this, hold);
    connect(m_model, &QAbstractItemModel::modelAboutToBeReset, this, hold);
    setModel(m_model);
    const auto release = [this] { m_changingRows = qMax(0, m_changingRows - 1); };
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, release);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, release);
    connect(m_model, &QAbstractItemModel::modelReset, this, release);
    delete old;
    setEditTriggers(editable ? QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                                   QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked
                             : QAbstractItemView::NoEditTriggers);
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this, &DataGrid::onRowChosen);
    connect(recordSet, &RecordSet::currentChanged, this, &DataGrid::followCurrentRecord);
    connect(m_model, &QAbstractItemModel::modelReset, this, &DataGrid::followCurrentRecord);
    followCurrentRecord();
}

void DataGrid::onRowChosen(const QModelIndex& current, const QModelIndex& previous)
{
    if (m_following || m_changingRows > 0 || !m_recordSet || !current.isValid() ||
        current.row() == m_recordSet->currentRow())
        return;
    // A refused pending edit keeps the record where it was; a conflict with another copy's
    // change asks whose version to keep, and only storing the typing moves on.
    m_choosing = true;
    Result moved = m_recordSet->moveTo(current.row());
    while (!moved && StoreFailure::resolve(*m_recordSet, moved, QString()) == StoreFailure::Outcome::Stored)
        moved = m_recordSet->moveTo(current.row());
    m_choosing = false;
    // The view goes on to select the row under the pointer once this returns: the record's
    // row is chosen again after that.
    if (!moved)
        QMetaObject::invokeMethod(this, &DataGrid::followCurrentRecord, Qt::QueuedConnection);
}

void DataGrid::followCurrentRecord()
{
    // The row the user chose is the view's own: scrolling it now, under the pointer, would make
    // the view select the row that the scroll brings there.
    if (!m_recordSet || !selectionModel() || m_choosing)
        return;
    m_following = true;
    const int row = m_recordSet->currentRow();
    if (row < 0) {
        selectionModel()->clearSelection();
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    } else {
        const int column = qMax(0, currentIndex().column());
        const QModelIndex target = m_model->index(row, column);
        selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        scrollTo(target);
    }
    m_following = false;
}
