#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include "help_display/ResultPrint.h"
#include "platform/Printing.h"

#include <functional>
#include <optional>

class DataGrid;
class FullTextBox;
class QAction;
class QTabWidget;
class RecordSet;
class QWidget;

// What the display window offers beyond its buttons, from the grid's context menu and by
// keys: the full-text search box (Ctrl+F), printing the memo of the page in front (Ctrl+P) or
// the list of the memos found, either also as a PDF file, and the memos found as a CSV file.
class ResultActions : public QObject
{
    Q_OBJECT

public:
    // The columns of the list of memos found, in their order, each headed with the name of the
    // field it shows: the grid's, the printed list's and the rows read for it.
    static const QStringList Columns;

    // True when the memos found show at once; false when they come later, and searchAnswered()
    // is called then.
    using Search = std::function<bool(const QString& words)>;
    ResultActions(QWidget* window, RecordSet* result, DataGrid* grid, QTabWidget* pages, const QString& bookPath,
                  Search search);

    void setBookPath(const QString& path) { m_bookPath = path; }
    // The memos of a search that came later show now: the box counts them.
    void searchAnswered();
    // Tells the search box how far the index is; empty when it is ready.
    void setIndexStatus(const QString& text);
    // The memo that the page in front shows, every field of it; none when it shows none, and
    // printing "this memo" is offered only while it shows one.
    using ShownMemo = std::function<std::optional<ResultPrint::Memo>()>;
    void setShownMemo(ShownMemo shownMemo);
    // What found the memos listed, for the printed list: the search words or keys.
    void setSearchShown(std::function<QString()> searchShown) { m_searchShown = std::move(searchShown); }
    // Offers or withdraws the commands for the memo of the page in front, as it shows one or not.
    void updateMemoCommands();

    // The buttons of the message that says where a saved file went.
    static inline const QStringList SavedChoices = {QStringLiteral("OK"), QStringLiteral("フォルダを開く")};

    // The actions, by their object names, for tests and the help topics.
    static inline const QStringList Names = {QStringLiteral("FullTextAction"),  QStringLiteral("PrintMemoAction"),
                                             QStringLiteral("PrintListAction"), QStringLiteral("MemoPdfAction"),
                                             QStringLiteral("ListPdfAction"),   QStringLiteral("CsvAction")};

private:
    QAction* addAction(const QString& name, const QString& text, const QKeySequence& keys);
    void addSeparator();
    void openSearchBox();
    void searched(const QString& words);
    void showStatus();
    void printMemo(bool toPdf);
    void printList(bool toPdf);
    // Shows the pages in the print preview, or saves them as a PDF file that the user names.
    void printOrSave(const QString& title, const QString& pdfName, const Printing::Painter& paint, bool toPdf);
    void exportCsv();
    bool readList(QList<QStringList>& rows);
    void fail(const QString& why);
    void saved(const QString& path);

    QWidget* m_window;
    RecordSet* m_result;
    DataGrid* m_grid;
    QTabWidget* m_pages;
    QString m_bookPath;
    Search m_search;
    FullTextBox* m_box = nullptr;
    QString m_indexStatus;
    QString m_found;
    ShownMemo m_shownMemo;
    std::function<QString()> m_searchShown;
    QList<QAction*> m_memoCommands;
};
