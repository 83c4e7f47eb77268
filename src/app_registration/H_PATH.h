#pragma once

#include "db/CommandRow.h"
#include "platform/Form.h"

class ComboBox;
class DataGrid;
class QLabel;
class RecordSet;

// The registration of applications: one record of table パス at a time in the two combo
// boxes, all of them in the grid, the program file chosen in a file dialog, and the shared
// command row.
class H_PATH : public SingleForm<H_PATH>
{
    Q_OBJECT

public:
    H_PATH();

    // Re-reads the lists of the two combo boxes; a list that fails keeps what it had.
    void SQL_SET();

protected:
    void onLoad() override;
    void onActivate() override;
    void onUnload() override;

private:
    void chooseProgramFile();
    // A cell being edited in the grid becomes a pending edit before any command runs.
    void commitGridEdit();
    void run(void (CommandRow::*command)());

    RecordSet* m_data1 = nullptr;
    RecordSet* m_data2 = nullptr;
    RecordSet* m_data3 = nullptr;
    ComboBox* m_pathCombo = nullptr;
    ComboBox* m_idCombo = nullptr;
    QLabel* m_idLabel = nullptr;
    DataGrid* m_grid = nullptr;
    CommandRow m_commands;
};
