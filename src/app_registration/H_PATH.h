#pragma once

#include "forms/CommandRow.h"
#include "platform/Form.h"

class ComboBox;
class DataGrid;
class QLabel;
class RecordSet;
struct Session;

// The registration of applications: one record of table パス at a time in the two combo
// boxes, all of them in the grid, the program file chosen in a file dialog, and the shared
// command row.
class H_PATH : public SingleForm<H_PATH>
{
    Q_OBJECT

public:
    explicit H_PATH(Session& session);

    // Re-reads the lists of the two combo boxes; a list that fails keeps what it had.
    void SQL_SET();

protected:
    void onLoad() override;
    void onActivate() override;
    void onUnload() override;

private:
    void createControls();
    void bindControls();
    void connectHandlers();

    void chooseProgramFile();
    // A cell being edited in the grid becomes a pending edit before any command runs.
    void commitGridEdit();
    void run(void (CommandRow::*command)());

    Session& m_session;

    RecordSet* Data1 = nullptr;
    RecordSet* Data2 = nullptr;
    RecordSet* Data3 = nullptr;

    ComboBox* DBCombo1 = nullptr;
    ComboBox* DBCombo2 = nullptr;
    QLabel* Label1 = nullptr;
    DataGrid* DBGrid1 = nullptr;

    CommandRow m_commands;
};
