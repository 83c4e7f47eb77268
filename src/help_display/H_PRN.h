#pragma once

#include "db/FullTextQuery.h"
#include "forms/Window.h"
#include "help_display/ResultPrint.h"

#include <QPointer>

#include <array>
#include <memory>
#include <optional>

class BackgroundTask;
class ResultActions;

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
    // The same in words, as the printed list names it.
    QString searchShown() const { return m_searchShown; }
    // Finds the memos in which all the words typed occur, in any field; the result is a search
    // like the window's own: sorted by ID, sorted again by a header click, run again on return.
    // While the index is being made the memo book is read off the window's thread and the memos
    // show once read (false then); a search made meanwhile replaces this one.
    bool fullTextSearch(const QString& typed);

protected:
    Result onLoad() override;
    void onActivate() override;
    bool confirmClose() override;
    void onUnload() override;

private:
    void createControls();
    void createPage(int i);
    void bindControls();
    void connectHandlers();
    void setFocusOrder();

    // Sets the lists' statements and runs them, then points the path record set at every
    // registered application again. A failing list is skipped; the first failure is returned.
    Result runLists();
    // Puts a search (or none) and its statement in force and runs it; shown says in words what
    // it looks for, fullText what a full-text statement asks for.
    void runResult(const QString& searchSql, const QString& statement, const char* what, const QString& shown,
                   const std::optional<FullTextQuery>& fullText = std::nullopt);
    // The current memo, every field of it; none when there is no current memo.
    std::optional<ResultPrint::Memo> currentMemo() const;
    void search();
    void showAll();
    void sortBy(const QString& field);
    void keep(int page, bool kept);
    // Names a page's tab for screen readers: its page, and what it keeps when it does.
    void nameTab(int page, const QString& kept);
    void showLongDate(int page);
    void openMemoFile();
    void correct();
    void showIndexProgress();
    // Reads the memo book for a full-text search off the window's thread, then shows its memos.
    void readBookForSearch(const QString& typed, int attempts);
    void showFullTextResult(const QString& typed);
    // A full-text search still reading the book is given up: its memos are never shown.
    void dropPendingSearch();

    Session& m_session;
    std::shared_ptr<MemoIndex> m_index;
    ResultActions* m_actions = nullptr;
    QLabel* m_indexProgress = nullptr;
    QPointer<BackgroundTask> m_pendingSearch;
    QString m_pendingTyped; // what the search still reading the book was typed as

    // The record sets: Data1 the window's own, the others its lists and lookups.
    RecordSet *Data1 = nullptr, *Data2 = nullptr, *Data3 = nullptr, *Data4 = nullptr, *Data5 = nullptr;

    // Keyword, search key 1, search key 2.
    ComboBox *DBCombo1 = nullptr, *DBCombo4 = nullptr, *DBCombo2 = nullptr;
    DataGrid* DBGrid1 = nullptr;
    QLabel* Label1 = nullptr;
    // Search, correct, close, help, show all, open the memo's file.
    QPushButton *Command1 = nullptr, *Command2 = nullptr, *Command3 = nullptr, *Command4 = nullptr, *Command5 = nullptr,
                *Command8 = nullptr;
    QTabWidget* SSTab1 = nullptr;

    static constexpr int Pages = 6;
    // Memo boxes are numbered 1 to 6: page i holds Text1[i + 1].
    std::array<MemoBox*, Pages + 1> Text1{};
    std::array<TextBox*, Pages> Text2{};
    std::array<TextBox*, Pages> Text3{};
    std::array<TextBox*, Pages> Text4{};
    std::array<QCheckBox*, Pages> Check1{};
    // The current memo's keyword, file and application ID; the program path and application
    // ID of its registered application.
    TextBox *Text5 = nullptr, *Text6 = nullptr, *Text7 = nullptr, *Text8 = nullptr, *Text9 = nullptr;

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
    // The search in force in words: "ｷｰﾜｰﾄﾞ「印刷」", "全文検索「余白」", "すべてのメモ".
    QString m_searchShown;
    // The words of the full-text search in force; none for any other search.
    std::optional<FullTextQuery> m_fullText;
    // The memo each kept page holds, every field of it.
    std::array<std::optional<ResultPrint::Memo>, Pages> m_kept{};
};
