#pragma once

#include "forms/CommandRow.h"
#include "forms/Window.h"

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
    Result onLoad() override;
    void onActivate() override;
    bool confirmClose() override;
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

    // The record sets: Data1 the window's own, the others its lists and lookups.
    RecordSet *Data1 = nullptr, *Data2 = nullptr, *Data3 = nullptr;

    ComboBox* DBCombo1 = nullptr;
    ComboBox* DBCombo2 = nullptr;
    QLabel* Label1 = nullptr;
    DataGrid* DBGrid1 = nullptr;

    CommandRow m_commands;
};
