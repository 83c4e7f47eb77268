#pragma once

#include "platform/Form.h"

#include <array>
#include <memory>

class Binding;
class ComboBox;
class MemoIndex;
class ResultActions;
class DataGrid;
class MemoBox;
class QCheckBox;
class QLabel;
class QPushButton;
class QTabWidget;
class RecordSet;
class TextBox;
struct Session;

// The help display and correction window: memos found by keyword and search keys, listed
// in a sortable grid and shown on six pages, each of which can keep its memo while the user
// moves on. It only reads the memo book; a memo is corrected in the entry window, which
// this window opens on it.
class H_PRN : public SingleForm<H_PRN>
{
    Q_OBJECT

public:
    explicit H_PRN(Session& session);

    // The statement of the search in force, without its ordering; empty when none is.
    QString searchSql() const { return SearchSql; }
    // Finds the memos in which all the words typed occur, in any field; the result is a search
    // like the window's own: sorted by ID, sorted again by a header click, run again on return.
    void fullTextSearch(const QString& typed);

protected:
    void onLoad() override;
    void onActivate() override;
    void onUnload() override;

private:
    void createControls();
    void createPage(int i);
    void bindControls();
    void connectHandlers();
    void setFocusOrder();

    // Sets the lists' statements and runs them, then points the path record set at every
    // registered application again.
    void runLists();
    // Runs the result record set's statement in force.
    void runResult(const char* what);
    void search();
    void showAll();
    void sortBy(const QString& field);
    void keep(int page, bool kept);
    void showLongDate(int page);
    void openMemoFile();
    void correct();
    void showIndexProgress();

    Session& m_session;
    std::shared_ptr<MemoIndex> m_index;
    ResultActions* m_actions = nullptr;
    QLabel* m_indexProgress = nullptr;

    RecordSet* Data1 = nullptr;
    RecordSet* Data2 = nullptr;
    RecordSet* Data3 = nullptr;
    RecordSet* Data4 = nullptr;
    RecordSet* Data5 = nullptr;

    ComboBox* DBCombo1 = nullptr;
    ComboBox* DBCombo4 = nullptr;
    ComboBox* DBCombo2 = nullptr;
    DataGrid* DBGrid1 = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command3 = nullptr;
    QPushButton* Command4 = nullptr;
    QPushButton* Command5 = nullptr;
    QPushButton* Command8 = nullptr;
    QTabWidget* SSTab1 = nullptr;

    static constexpr int Pages = 6;
    // Memo boxes are numbered 1 to 6: page i holds Text1[i + 1].
    std::array<MemoBox*, Pages + 1> Text1{};
    std::array<TextBox*, Pages> Text2{};
    std::array<TextBox*, Pages> Text3{};
    std::array<TextBox*, Pages> Text4{};
    std::array<QCheckBox*, Pages> Check1{};
    TextBox* Text5 = nullptr;
    TextBox* Text6 = nullptr;
    TextBox* Text7 = nullptr;
    TextBox* Text8 = nullptr;
    TextBox* Text9 = nullptr;

    // The bindings of each page's memo, date and keyword boxes, released while it keeps.
    struct PageBindings
    {
        Binding* memo = nullptr;
        Binding* date = nullptr;
        Binding* keyword = nullptr;
    };
    std::array<PageBindings, Pages> m_pageBindings{};

    QString SearchSql;
    int FirstActivation = 1;
};
