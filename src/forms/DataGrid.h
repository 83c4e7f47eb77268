#pragma once

#include <QTableView>

class RecordSet;
class RecordSetModel;

// A grid over a record set: it shows the rows with column headers and record selectors,
// and the row the user chooses becomes the current record.
class DataGrid : public QTableView
{
    Q_OBJECT

public:
    explicit DataGrid(QWidget* parent = nullptr);

    void setRecordSet(RecordSet* recordSet, const QStringList& fields, bool editable);
    RecordSetModel* recordSetModel() const { return m_model; }

Q_SIGNALS:
    // A click on a column header, with the name of the column's field.
    void headerClicked(const QString& field);

private:
    void followCurrentRecord();
    void onRowChosen(const QModelIndex& current, const QModelIndex& previous);

    RecordSet* m_recordSet = nullptr;
    RecordSetModel* m_model = nullptr;
    bool m_following = false;
    // Set while the record set moves to the row the user chose in the view.
    bool m_choosing = false;
    int m_changingRows = 0;
};
