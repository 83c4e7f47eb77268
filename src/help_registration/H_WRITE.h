#pragma once

#include "forms/CommandRow.h"
#include "forms/Lists.h"
#include "forms/Window.h"

// The help registration window: memos written and corrected one at a time. It opens on all
// memos, or, when the display window has handed over a memo (the session's EditMemoId), on
// that one memo.
class H_WRITE : public SingleForm<H_WRITE>
{
    Q_OBJECT

public:
    explicit H_WRITE(Session& session);
    ~H_WRITE() override;

    // Re-reads the drop-down lists: keywords, both search keys, the registered
    // applications and the memos' application IDs. A failing list is skipped.
    void SQL_SET();

    // Shows the memo that the display window has just handed over (the session's EditMemoId)
    // in the open window, as its load would have. What the window held is written first, as a
    // move writes it; a refusal is told (a conflict asks whose version to keep), the typing
    // stays and it returns false: the memo is not shown. So it is when the memo book is in use.
    bool showHandedOverMemo();

    // 1 from the start of an add until the date box next changes; then 0.
    int addInProgress() const { return AddInProgress; }

protected:
    Result onLoad() override;
    void onActivate() override;
    bool confirmClose() override;
    void onUnload() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    Result runLists(Lists::OnFailure policy);
    void bindControls();
    void connectHandlers();

    void ADD_RECORD();
    // Stores the pending edits by moving away and back; the same record stays current.
    void REPOSITION_COMMIT(const QString& failureMessage);
    void storeDateBox();
    void chooseMemoFile();
    void openMemoFile();

    Session& m_session;

    // The record sets: Data1 the window's own, the others its lists and lookups.
    RecordSet *Data1 = nullptr, *Data2 = nullptr, *Data3 = nullptr, *Data4 = nullptr, *Data5 = nullptr,
              *Data6 = nullptr;

    // The memo's ID; the date as stored (hidden) and in the long form; the file; the hidden
    // program path and application ID of the memo's registered application; the memo text.
    QLabel* Label1 = nullptr;
    TextBox *Text1 = nullptr, *Text3 = nullptr, *Text4 = nullptr, *Text8 = nullptr, *Text9 = nullptr;
    MemoBox* Text2 = nullptr;
    // Keyword, search key 2, the registered applications, search key 1, the memo's application ID.
    ComboBox *DBCombo1 = nullptr, *DBCombo2 = nullptr, *DBCombo3 = nullptr, *DBCombo4 = nullptr, *DBCombo7 = nullptr;

    CommandRow m_commands;
    int AddInProgress = 0;
    // Set while the entry fields store their edits.
    bool m_committing = false;
};
