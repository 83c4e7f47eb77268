#include "help_display/ResultActions.h"

#include "core/AppInfo.h"
#include "core/Log.h"
#include "db/Connection.h"
#include "db/RecordSet.h"
#include "db/Statement.h"
#include "forms/DataGrid.h"
#include "help_display/FullTextBox.h"
#include "help_display/ResultExport.h"
#include "help_display/ResultPrint.h"
#include "platform/DateForms.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "platform/Printing.h"
#include "viewer/HelpViewerWindow.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeySequence>
#include <QProgressDialog>
#include <QTabWidget>
#include <QUrl>

namespace {

// More rows than this are read with a progress dialog that can stop them.
constexpr int QuietRows = 2000;

// Shows a progress dialog for a long run; each call says how far it is and whether to go on.
class Progress
{
public:
    Progress(QWidget* window, const QString& label, qint64 total) : m_total(total)
    {
        if (total <= QuietRows)
            return;
        m_dialog = new QProgressDialog(label, QStringLiteral("中止"), 0, 1000, window);
        m_dialog->setObjectName(QStringLiteral("ExportProgress"));
        m_dialog->setWindowTitle(AppInfo::Title);
        m_dialog->setWindowModality(Qt::WindowModal);
        m_dialog->setMinimumDuration(300);
        m_dialog->setValue(0);
    }
    ~Progress() { delete m_dialog; }
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    bool step(qint64 done)
    {
        if (!m_dialog)
            return true;
        m_dialog->setValue(int(qMin<qint64>(1000, done * 1000 / qMax<qint64>(1, m_total))));
        QCoreApplication::processEvents();
        return !m_dialog->wasCanceled();
    }

private:
    QProgressDialog* m_dialog = nullptr;
    qint64 m_total;
};

// A file name in the home folder; a keyword may hold characters that no file name can.
QString suggested(QString name)
{
    for (QChar& c : name) {
        if (c == QLatin1Char('/') || c.unicode() < 0x20)
            c = QLatin1Char('_');
    }
    return QDir::home().filePath(name);
}

} // namespace

const QStringList ResultActions::Columns = {QStringLiteral("ID"),         QStringLiteral("日付"),
                                            QStringLiteral("ｷｰﾜｰﾄﾞ"),     QStringLiteral("検索キー１"),
                                            QStringLiteral("検索キー２"), QStringLiteral("ヘルプファイル")};

ResultActions::ResultActions(QWidget* window, RecordSet* result, DataGrid* grid, QTabWidget* pages,
                             const QString& bookPath, Search search)
    : QObject(window), m_window(window), m_result(result), m_grid(grid), m_pages(pages), m_bookPath(bookPath),
      m_search(std::move(search))
{
    m_grid->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(addAction(Names[0], QStringLiteral("全文検索(&F)…"), QKeySequence(Qt::CTRL | Qt::Key_F)),
            &QAction::triggered, this, &ResultActions::openSearchBox);
    addSeparator();
    QAction* printOne = addAction(Names[1], QStringLiteral("このメモを印刷(&P)…"), QKeySequence(Qt::CTRL | Qt::Key_P));
    connect(printOne, &QAction::triggered, this, [this] { printMemo(false); });
    connect(addAction(Names[2], QStringLiteral("一覧を印刷(&L)…"), {}), &QAction::triggered, this,
            [this] { printList(false); });
    QAction* saveOne = addAction(Names[3], QStringLiteral("このメモをPDFに保存(&D)…"), {});
    connect(saveOne, &QAction::triggered, this, [this] { printMemo(true); });
    m_memoCommands = {printOne, saveOne};
    connect(addAction(Names[4], QStringLiteral("一覧をPDFに保存(&T)…"), {}), &QAction::triggered, this,
            [this] { printList(true); });
    addSeparator();
    connect(addAction(Names[5], QStringLiteral("一覧をCSVに書き出す(&E)…"), {}), &QAction::triggered, this,
            &ResultActions::exportCsv);
}

void ResultActions::addSeparator()
{
    auto* separator = new QAction(m_grid);
    separator->setSeparator(true);
    m_grid->addAction(separator);
}

QAction* ResultActions::addAction(const QString& name, const QString& text, const QKeySequence& keys)
{
    auto* action = new QAction(text, m_window);
    action->setObjectName(name);
    if (!keys.isEmpty()) {
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        // The keys work anywhere in the window, not only in the grid.
        m_window->addAction(action);
    }
    m_grid->addAction(action);
    return action;
}

void ResultActions::setShownMemo(ShownMemo shownMemo)
{
    m_shownMemo = std::move(shownMemo);
    updateMemoCommands();
}

void ResultActions::updateMemoCommands()
{
    // With no memo on the page in front there is nothing to print but a blank page.
    const bool shown = m_shownMemo && m_shownMemo().has_value();
    for (QAction* command : std::as_const(m_memoCommands))
        command->setEnabled(shown);
}

void ResultActions::setIndexStatus(const QString& text)
{
    m_indexStatus = text;
    showStatus();
}

void ResultActions::showStatus()
{
    // While the index is made the memo book itself is read; the line says why it takes longer.
    if (!m_box)
        return;
    if (m_indexStatus.isEmpty())
        m_box->setStatus(m_found);
    else if (m_found.isEmpty())
        m_box->setStatus(m_indexStatus);
    else
        m_box->setStatus(m_found + QStringLiteral("（") + m_indexStatus + QStringLiteral("）"));
}

void ResultActions::openSearchBox()
{
    // Made on first use: most visits to the window never need it.
    if (!m_box) {
        m_box = new FullTextBox(m_window);
        showStatus();
        connect(m_box, &FullTextBox::searchRequested, this, &ResultActions::searched);
    }
    m_box->open();
}

void ResultActions::searched(const QString& words)
{
    if (m_search(words)) {
        searchAnswered();
        return;
    }
    // No count until the memos show: the one of the memos shown before would pass for theirs.
    m_found.clear();
    showStatus();
}

void ResultActions::searchAnswered()
{
    const int found = m_result->recordCount();
    m_found =
        found == 0 ? QStringLiteral("見つかりませんでした。") : QStringLiteral("%1 件見つかりました。").arg(found);
    showStatus();
}

void ResultActions::printMemo(bool toPdf)
{
    const std::optional<ResultPrint::Memo> shown = m_shownMemo ? m_shownMemo() : std::nullopt;
    if (!shown)
        return;
    const ResultPrint::Memo memo = *shown;
    const QString title = memo.keyword.isEmpty() ? QStringLiteral("メモ") : memo.keyword;
    const Printing::Painter paint = [memo](QPagedPaintDevice* device) { ResultPrint::paintMemo(device, memo); };
    printOrSave(title, title + QStringLiteral(".pdf"), paint, toPdf);
}

void ResultActions::printOrSave(const QString& title, const QString& pdfName, const Printing::Painter& paint,
                                bool toPdf)
{
    if (!toPdf) {
        Printing::instance().preview(title, paint);
        return;
    }
    const std::optional<QString> path = FileDialog::instance().getSaveFileName(
        {QStringLiteral("PDFに保存"), QStringLiteral("PDF ファイル|*.pdf|"), suggested(pdfName)});
    if (!path)
        return;
    if (Result r = Printing::instance().printToPdf(*path, title, paint); !r)
        fail(r.message);
    else
        saved(*path);
}

bool ResultActions::readList(QList<QStringList>& rows)
{
    Result opened;
    std::shared_ptr<Connection> connection = Connection::shared(m_bookPath, &opened);
    if (!connection) {
        fail(opened.message);
        return false;
    }
    const QString sql = QStringLiteral("SELECT %1 FROM (%2)")
                            .arg(Columns.join(QStringLiteral(", ")), ResultExport::rowsOf(m_result->recordSource()));
    Statement select(connection->handle(), sql);
    Progress progress(m_window, QStringLiteral("一覧を読んでいます…"), m_result->recordCount());
    Statement::Step step;
    while ((step = select.step()) == Statement::Step::Row) {
        QStringList row;
        for (int c = 0; c < ResultActions::Columns.size(); ++c)
            row.append(select.value(c).toString());
        rows.append(row);
        if (rows.size() % 500 == 0 && !progress.step(rows.size()))
            return false;
    }
    if (step == Statement::Step::Error) {
        fail(select.lastError().message);
        return false;
    }
    return true;
}

void ResultActions::printList(bool toPdf)
{
    QList<QStringList> rows;
    if (!readList(rows))
        return;
    const QString title = QStringLiteral("メモの一覧（%1 件）").arg(rows.size());
    const QString subtitle =
        ResultPrint::listSubtitle(m_searchShown ? m_searchShown() : QString(), DateForms::instance().today());
    const Printing::Painter paint = [title, subtitle, rows = std::move(rows)](QPagedPaintDevice* device) {
        ResultPrint::paintList(device, title, subtitle, ResultActions::Columns, rows);
    };
    printOrSave(title, QStringLiteral("メモの一覧.pdf"), paint, toPdf);
}

void ResultActions::exportCsv()
{
    const std::optional<QString> path =
        FileDialog::instance().getSaveFileName({QStringLiteral("CSVに書き出す"), QStringLiteral("CSV ファイル|*.csv|"),
                                                suggested(QStringLiteral("メモの一覧.csv"))});
    if (!path)
        return;
    Result opened;
    std::shared_ptr<Connection> connection = Connection::shared(m_bookPath, &opened);
    if (!connection) {
        fail(opened.message);
        return;
    }
    Progress progress(m_window, QStringLiteral("書き出しています…"), m_result->recordCount());
    bool stopped = false;
    const Result written = ResultExport::toCsv(connection->handle(), ResultExport::rowsOf(m_result->recordSource()),
                                               *path, [&](qint64 rows) { return !(stopped = !progress.step(rows)); });
    if (written)
        saved(*path);
    else if (!stopped)
        fail(written.message);
}

void ResultActions::saved(const QString& path)
{
    // Where the file went, and a way to it.
    const int choice = MessageBox::instance().choose(
        {QStringLiteral("「%1」に保存しました。").arg(QFileInfo(path).fileName()) + QStringLiteral("\r\n") +
             QDir::toNativeSeparators(path),
         AppInfo::Title, MessageBox::Icon::Information, MessageBox::Buttons::Ok, MessageBox::Answer::Ok},
        SavedChoices, 0, 0);
    if (choice == 1 && !HelpViewerWindow::openWithDesktop(QUrl::fromLocalFile(QFileInfo(path).absolutePath())))
        qCInfo(lcForms, "no program opens the folder of %s", qUtf8Printable(path));
}

void ResultActions::fail(const QString& why)
{
    qCInfo(lcForms, "output failed: %s", qUtf8Printable(why));
    MessageBox::instance().ask({QStringLiteral("ファイルに書き出せませんでした。") + QStringLiteral("\r\n") +
                                    QStringLiteral("保存先の空き容量と書き込みの権限を確かめて下さい。"),
                                AppInfo::Title, MessageBox::Icon::Exclamation, MessageBox::Buttons::Ok,
                                MessageBox::Answer::Ok});
}
