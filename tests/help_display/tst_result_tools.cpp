// What the display window offers beyond its buttons: the full-text search, picking from the
// lists by typing (here and in the entry window), printing and the CSV export.
#include "core/BackgroundTask.h"
#include "db/Catalogue.h"
#include "db/Connection.h"
#include "db/MemoSearch.h"
#include "db/RecordSet.h"
#include "db/index/MemoIndex.h"
#include "db/index/MemoIndexFile.h"
#include "forms/DataGrid.h"
#include "help_display/FullTextBox.h"
#include "help_display/H_PRN.h"
#include "help_display/ResultActions.h"
#include "help_display/ResultExport.h"
#include "help_display/ResultPrint.h"
#include "help_registration/H_WRITE.h"
#include "startup/ORVAM.h"
#include "support/IndexProbe.h"
#include "support/SettledIndex.h"
#include "support/TestMain.h"
#include "support/WindowTestFixture.h"
#include "viewer/HelpViewerWindow.h"
#include "widgets/Appearance.h"
#include "widgets/ComboBox.h"
#include "widgets/MemoBox.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCompleter>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextDocument>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {

const QStringList GridFields = {"ID", "日付", "ｷｰﾜｰﾄﾞ", "検索キー１", "検索キー２", "ヘルプファイル"};

// Text as an input method commits it, the way Japanese reaches a box.
void commitText(QWidget* box, const QString& text)
{
    QInputMethodEvent event;
    event.setCommitString(text);
    QApplication::sendEvent(box, &event);
}

QStringList shownEntries(ComboBox* combo)
{
    QStringList entries;
    QAbstractItemView* popup = combo->picks();
    if (!combo->picksShown())
        return entries;
    for (int row = 0; row < popup->model()->rowCount(); ++row)
        entries.append(popup->model()->index(row, 0).data().toString());
    return entries;
}

} // namespace

struct ResultWindow : OpenedForm<H_PRN, ResultWindow>
{
    DataGrid* grid() const { return get<DataGrid>(u"DBGrid1"_s); }
    RecordSet* result() const { return get<RecordSet>(u"Data1"_s); }
    QString column(const QString& field) const
    {
        QStringList values;
        for (int row = 0; row < grid()->model()->rowCount(); ++row)
            values.append(grid()->model()->index(row, int(GridFields.indexOf(field))).data().toString());
        return values.join(u',');
    }
    void clickHeader(const QString& field) const
    {
        QHeaderView* header = grid()->horizontalHeader();
        const QPoint at(header->sectionViewportPosition(int(GridFields.indexOf(field))) + 4, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    }
    QAction* action(const QString& name) const
    {
        for (QAction* a : grid()->actions()) {
            if (a->objectName() == name)
                return a;
        }
        qFatal("no action %s", qPrintable(name));
    }
    // Ctrl+F, the words typed as an input method commits them, Enter.
    void fullText(const QString& words) const
    {
        QTest::keyClick(form, Qt::Key_F, Qt::ControlModifier);
        auto* box = form->findChild<FullTextBox*>();
        auto* line = findRequired<QLineEdit>(box, u"FullTextWords"_s);
        line->clear();
        commitText(line, words);
        QTest::keyClick(line, Qt::Key_Return);
    }
};

class TestResultTools : public WindowTestFixture
{
    Q_OBJECT

    H_WRITE* openEntry(qint64 id)
    {
        book->session.EditMemoId = id;
        H_WRITE* entry = H_WRITE::instance(book->session);
        entry->showForm();
        if (!QTest::qWaitForWindowActive(entry))
            qWarning("the entry window did not become active");
        return entry;
    }

private Q_SLOTS:
    // IDs 1 to 5.
    void init()
    {
        QVERIFY(setUp());
        for (const MemoBook::Memo& memo : QList<MemoBook::Memo>{
                 {"2026/01/05", "/doc/印刷.hlp", "印刷", "設定", "Word", "HLP", "余白を変える"},
                 {"2025/03/10", "/doc/表,一覧.xls", "ワード", "操作", "B", "EXCEL", "罫線は\r\n書式から"},
                 {"2024/12/24", "", "abc", "", "B", "", "He said \"ok\", then left"},
                 {"2026/02/01", "/doc/x.doc", "ﾜｰﾌﾟﾛ", " ", "Word", "WORD", "印刷の前に"},
                 {"", "", "わーど", "操作", "", "HLP", "no date"}})
            book->addMemo(memo);
    }

    void cleanup() { tearDown(); }

    // The words are found in any field; the result is a search like the window's own: in ID
    // order, sorted by a header click within the memos found, run again on coming back, and
    // replaced by show all.
    void fullTextSearchIsASearch()
    {
        std::shared_ptr<MemoIndex> index = settledIndex(book->dbPath());
        const ResultWindow w = ResultWindow::open(book->session);
        w.fullText(u"ワード"_s);
        QCOMPARE(w.form->searchSql(), u"SELECT * FROM メモ帳 WHERE ID IN (SELECT ID FROM 全文検索('ワード'))"_s);
        QCOMPARE(w.result()->recordSource(), w.form->searchSql() + u" Order By ID"_s);
        // The words go beside the statement, folded, so that the keys can come from the index.
        QCOMPARE(w.result()->fullTextQuery(), FullTextQuery{{u"わーど"_s}});
        QCOMPARE(w.column(u"ID"_s), u"2,5"_s);
        QCOMPARE(findRequired<QLabel>(w.form, u"FullTextStatus"_s)->text(), u"2 件見つかりました。"_s);
        QVERIFY(QTest::qWaitForWindowActive(w.form->findChild<FullTextBox*>()));
        QTest::keyClick(findRequired<QLineEdit>(w.form, u"FullTextWords"_s), Qt::Key_F1);
        QCOMPARE(fakes->helpViewer.shown.value(0).topic, u"FULL_TEXT"_s);

        w.fullText(u"印刷 ﾜｰﾌﾟﾛ"_s);
        QCOMPARE(w.column(u"ID"_s), u"4"_s);
        w.fullText(u"印刷"_s);
        QCOMPARE(w.column(u"ID"_s), u"1,4"_s);
        w.clickHeader(u"ｷｰﾜｰﾄﾞ"_s);
        QCOMPARE(w.result()->recordSource(), w.form->searchSql() + u" Order By ｷｰﾜｰﾄﾞ"_s);
        QCOMPARE(w.result()->fullTextQuery(), (FullTextQuery{{u"印刷"_s}, u"ｷｰﾜｰﾄﾞ"_s}));
        QCOMPARE(w.column(u"ID"_s), u"1,4"_s); // 印刷, ﾜｰﾌﾟﾛ

        // A memo changed elsewhere in the program shows on return, still under the search.
        const Result saved =
            Connection::shared(book->dbPath())->exec(u"UPDATE メモ帳 SET メモ = '印刷する' WHERE ID = 3"_s);
        QVERIFY(saved);
        QVERIFY(activate(ORVAM::instance(book->session)) && activate(w.form));
        QCOMPARE(w.column(u"ID"_s), u"3,1,4"_s); // abc, 印刷, ﾜｰﾌﾟﾛ

        // Words that would be query syntax are looked for as text.
        w.fullText(u"\"ok\","_s);
        QCOMPARE(w.column(u"ID"_s), u""_s);
        w.fullText(u"\"ok\""_s);
        QCOMPARE(w.column(u"ID"_s), u""_s); // memo 3 no longer says it
        w.fullText(u"' OR 1=1 --"_s);
        QCOMPARE(w.column(u"ID"_s), u""_s);

        w.click(u"Command5"_s);
        QVERIFY(w.form->searchSql().isEmpty());
        QCOMPARE(w.column(u"ID"_s), u"1,2,3,4,5"_s);
        QVERIFY(!w.result()->fullTextQuery());
        // A sort after show all, or of the window's own search, has no words to hand over.
        w.clickHeader(u"ｷｰﾜｰﾄﾞ"_s);
        QVERIFY(!w.result()->fullTextQuery());
        w.fullText(u"印刷"_s);
        w.get<ComboBox>(u"DBCombo1"_s)->setText(u"印刷"_s);
        w.click(u"Command1"_s);
        QCOMPARE(w.column(u"ID"_s), u"1"_s);
        w.clickHeader(u"日付"_s);
        QVERIFY(!w.result()->fullTextQuery());
    }

    // Where a full-text search has to read the whole memo book (here no index can be made: a
    // folder stands where its file would be), the book is read off the window's thread: the
    // window keeps what it showed and says it is searching, the memos show once read, and a
    // search made meanwhile replaces the one still reading, whose memos never show.
    void searchReadingTheBook_data()
    {
        QTest::addColumn<QString>("then");
        QTest::addColumn<QString>("ids");
        QTest::newRow("alone") << u""_s << u"2,5"_s;
        QTest::newRow("a newer full-text search") << u"full text"_s << u"1,4"_s;
        QTest::newRow("show all") << u"show all"_s << u"1,2,3,4,5"_s;
        QTest::newRow("a save meanwhile") << u"save"_s << u"2,3,5"_s;
    }
    void searchReadingTheBook()
    {
        QFETCH(QString, then);
        QFETCH(QString, ids);
        QVERIFY(QDir().mkpath(MemoIndexFile::pathFor(book->dbPath()) + u".new"_s));
        std::shared_ptr<MemoIndex> index = MemoIndex::open(book->dbPath());
        QVERIFY(index->waitForIdle(20000));
        QCOMPARE(index->state(), MemoIndex::State::Unavailable);
        index->setReadAtOnceLimit(0);
        const ResultWindow w = ResultWindow::open(book->session);
        QCOMPARE(w.column(u"ID"_s), u"1,2,3,4,5"_s);
        QStringList installed;
        connect(w.result(), &RecordSet::refreshed, this,
                [&installed, &w] { installed.append(w.result()->recordSource()); });
        auto* line = findRequired<QLabel>(w.form, u"IndexProgress"_s);
        w.fullText(u"ﾜｰﾄﾞ"_s);
        QCOMPARE(w.column(u"ID"_s), u"1,2,3,4,5"_s);
        QVERIFY2(line->text().contains(u"検索中"_s), qPrintable(line->text()));
        if (then == u"full text"_s) {
            w.fullText(u"印刷"_s);
        } else if (then == u"show all"_s) {
            findRequired<QPushButton>(w.form, u"Command5"_s)->click();
        } else if (then == u"save"_s) {
            const Result saved =
                Connection::shared(book->dbPath())->exec(u"UPDATE メモ帳 SET メモ = 'ﾜｰﾄﾞ' WHERE ID = 3"_s);
            QVERIFY2(saved, qPrintable(saved.message));
        }
        QTRY_VERIFY(!line->text().contains(u"検索中"_s));
        // A reading given up may still be under way: whatever it ends with must not show.
        BackgroundTask::waitForAll();
        QCoreApplication::processEvents();
        QCOMPARE(w.column(u"ID"_s), ids);
        const QString first = Catalogue::orderedSearch(Catalogue::searchStatement(MemoSearch::condition(u"ﾜｰﾄﾞ"_s)));
        QCOMPARE(installed.contains(first), then.isEmpty() || then == u"save"_s);
        if (then != u"show all"_s) {
            const QString count = u"%1 件見つかりました。"_s.arg(ids.count(u',') + 1);
            QCOMPARE(findRequired<QLabel>(w.form, u"FullTextStatus"_s)->text(), count);
        }
    }

    // While the index is being made, a line says so and the search reads the memo book.
    void progressLineWhileIndexing()
    {
        H_PRN* form = H_PRN::instance(book->session);
        auto* line = findRequired<QLabel>(form, u"IndexProgress"_s);
        QVERIFY2(line->text().startsWith(u"全文索引を作成中"_s), qPrintable(line->text()));
        const ResultWindow w = ResultWindow::open(book->session);
        w.fullText(u"ﾜｰﾄﾞ"_s);
        QCOMPARE(w.column(u"ID"_s), u"2,5"_s);
        // The count, and while the index is made how far it is.
        std::shared_ptr<MemoIndex> index = MemoIndex::open(book->dbPath());
        const QString status = findRequired<QLabel>(w.form, u"FullTextStatus"_s)->text();
        QVERIFY2(status.startsWith(u"2 件見つかりました。"_s), qPrintable(status));
        QCOMPARE(status.contains(u"（全文索引を作成中"_s), index->state() == MemoIndex::State::Building);
        QVERIFY(index->waitForIdle(20000));
        QTRY_COMPARE(line->text(), QString());
        w.fullText(u"ﾜｰﾄﾞ"_s);
        QCOMPARE(w.column(u"ID"_s), u"2,5"_s);
        QCOMPARE(findRequired<QLabel>(w.form, u"FullTextStatus"_s)->text(), u"2 件見つかりました。"_s);
    }

    // Words found nowhere say so in words; the commands for "this memo" are offered only while
    // the page in front shows one: after a search that finds nothing only a kept page does.
    void nothingFoundAndNothingToPrint()
    {
        std::shared_ptr<MemoIndex> index = settledIndex(book->dbPath());
        const ResultWindow w = ResultWindow::open(book->session);
        QAction* printMemo = w.action(ResultActions::Names[1]);
        QAction* memoPdf = w.action(ResultActions::Names[3]);
        QVERIFY(printMemo->isEnabled() && memoPdf->isEnabled());
        auto* keepPage1 = findRequired<QCheckBox>(w.form, u"Check1(1)"_s);
        w.get<QTabWidget>(u"SSTab1"_s)->setCurrentIndex(1);
        keepPage1->click();
        w.fullText(u"どこにもない言葉"_s);
        QCOMPARE(findRequired<QLabel>(w.form, u"FullTextStatus"_s)->text(), u"見つかりませんでした。"_s);
        QCOMPARE(w.result()->recordCount(), 0);
        QVERIFY(printMemo->isEnabled()); // page 1 keeps its memo
        w.get<QTabWidget>(u"SSTab1"_s)->setCurrentIndex(0);
        QVERIFY(!printMemo->isEnabled() && !memoPdf->isEnabled());
        QTest::keyClick(w.form, Qt::Key_P, Qt::ControlModifier);
        QVERIFY(fakes->printing.printed.isEmpty());
        w.fullText(u"印刷"_s);
        QVERIFY(printMemo->isEnabled() && memoPdf->isEnabled());
    }

    // Typing shows the entries that contain what was typed, whatever its form, in list
    // order; Enter takes one, and the text it takes is stored as a typed text is.
    void typeToPick()
    {
        const ResultWindow w = ResultWindow::open(book->session);
        auto* keyword = w.get<ComboBox>(u"DBCombo1"_s);
        keyword->setFocus();
        commitText(keyword->lineEdit(), u"ﾜｰ"_s);
        QStringList inListOrder = keyword->listItems();
        inListOrder.removeIf([](const QString& e) { return e != u"わーど"_s && e != u"ワード"_s && e != u"ﾜｰﾌﾟﾛ"_s; });
        QCOMPARE(inListOrder.size(), 3);
        QCOMPARE(shownEntries(keyword), inListOrder);
        QCOMPARE(keyword->text(), u"ﾜｰ"_s); // nothing taken yet
        QTest::keyClick(keyword->lineEdit(), Qt::Key_B);
        QCOMPARE(shownEntries(keyword), QStringList());
        QTest::keyClick(keyword->lineEdit(), Qt::Key_Backspace);
        QCOMPARE(shownEntries(keyword), inListOrder);
        for (int i = 0; i <= inListOrder.indexOf(u"ワード"_s); ++i)
            QTest::keyClick(keyword->lineEdit(), Qt::Key_Down);
        QTest::keyClick(keyword->lineEdit(), Qt::Key_Return);
        QCOMPARE(keyword->text(), u"ワード"_s);
        w.click(u"Command1"_s);
        QCOMPARE(w.column(u"ID"_s), u"2"_s);
        w.form->unload();

        // In the entry window too, what was typed is found inside the entries.
        H_WRITE* entry = openEntry(3);
        auto* entryKeyword = findRequired<ComboBox>(entry, u"DBCombo1"_s);
        entryKeyword->setFocus();
        commitText(entryKeyword->lineEdit(), u"いんさ"_s);
        QCOMPARE(shownEntries(entryKeyword), QStringList());
        // Enter without an entry chosen keeps what was typed.
        entryKeyword->lineEdit()->clear();
        commitText(entryKeyword->lineEdit(), u"印"_s);
        QCOMPARE(shownEntries(entryKeyword), QStringList{u"印刷"_s});
        QTest::keyClick(entryKeyword->lineEdit(), Qt::Key_Return);
        QCOMPARE(entryKeyword->text(), u"印"_s);
        QVERIFY(!entryKeyword->picksShown());
        entryKeyword->lineEdit()->clear();
        commitText(entryKeyword->lineEdit(), u"刷"_s);
        QCOMPARE(shownEntries(entryKeyword), QStringList{u"印刷"_s});
    }

    // What the entry window saves is in the index when the window has closed, without the next
    // start having to compare the index with the memo book.
    void entryWindowKeepsTheIndex()
    {
        settledIndex(book->dbPath()).reset();
        H_WRITE* entry = openEntry(3);
        findRequired<MemoBox>(entry, u"Text2"_s)->setText(u"書き足した言葉"_s);
        findRequired<QAbstractButton>(entry, u"Command7"_s)->click();
        entry->unload();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(book->scalar(u"SELECT メモ FROM メモ帳 WHERE ID = 3"_s).toString(), u"書き足した言葉"_s);
        QCOMPARE(indexedIds(book->dbPath(), u"書き足した"_s), u"3"_s);
        QCOMPARE(indexedIds(book->dbPath(), u"said"_s), u""_s);
    }

    // The memos found, all fields, as CSV: byte order mark, CR LF, quoted as RFC 4180 says;
    // a cancelled dialog writes nothing, a folder that cannot take the file says so.
    void exportCsv()
    {
        std::shared_ptr<MemoIndex> index = settledIndex(book->dbPath());
        const ResultWindow w = ResultWindow::open(book->session);
        w.fullText(u"操作"_s);
        const QString path = book->dir() + u"/found.csv"_s;
        QList<QUrl> opened;
        HelpViewerWindow::setDesktopOpener([&opened](const QUrl& url) { return opened.append(url), true; });
        auto exportTo = [&](std::optional<QString> chosen) {
            fakes->fileDialog.answers.enqueue(chosen);
            w.action(u"CsvAction"_s)->trigger();
        };
        // Where the file went is said; its folder opens on request.
        fakes->messageBox.choices << 1;
        exportTo(path);
        QCOMPARE(fakes->messageBox.asked.size(), 1);
        QCOMPARE(fakes->messageBox.asked[0].text, u"「found.csv」に保存しました。\r\n"_s + path);
        QCOMPARE(fakes->messageBox.offered[0], ResultActions::SavedChoices);
        QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile(book->dir())});
        HelpViewerWindow::setDesktopOpener({});
        fakes->messageBox.asked.clear();
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        // The header names the columns as the windows do.
        const QByteArray expected = "\xEF\xBB\xBF"
                                    "ID,日付,ヘルプファイル,ｷｰﾜｰﾄﾞ,検索キー１,検索キー２,アプリＩＤ,メモ\r\n"
                                    "2,2025/03/10,\"/doc/表,一覧.xls\",ワード,操作,B,EXCEL,\"罫線は\r\n書式から\"\r\n"
                                    "5,,,わーど,操作,,HLP,no date\r\n";
        QCOMPARE(file.readAll(), expected);
        file.close();

        // The grid's order is the file's; quotes are doubled.
        w.click(u"Command5"_s);
        w.clickHeader(u"ｷｰﾜｰﾄﾞ"_s);
        fakes->messageBox.choices << 0;
        exportTo(path);
        fakes->messageBox.asked.clear();
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        QCOMPARE(lines.value(1), QByteArray("3,2024/12/24,,abc,,B,,\"He said \"\"ok\"\", then left\"\r"));
        QCOMPARE(lines.size(), 1 + 5 + 1 + 1); // header, five memos, one line break inside, end
        file.close();

        exportTo(std::nullopt);
        QCOMPARE(fakes->messageBox.asked.size(), 0);

        const QString nowhere = book->dir() + u"/found.csv/inside.csv"_s;
        fakes->messageBox.answers.enqueue(MessageBox::Answer::Ok);
        exportTo(nowhere);
        QCOMPARE(fakes->messageBox.asked.size(), 1);
        QCOMPARE(messageLines(fakes->messageBox.asked[0].text).value(0), u"ファイルに書き出せませんでした。"_s);
        QVERIFY(!QFile::exists(nowhere));
        QCOMPARE(QDir(book->dir()).entryList({u"*.csv*"_s}, QDir::Files), QStringList{u"found.csv"_s});

        // A failure part way leaves the file that was there as it was, and nothing beside it.
        const Result failed = ResultExport::toCsv(
            Connection::shared(book->dbPath())->handle(),
            u"SELECT ID, CASE WHEN ID = 3 THEN abs(-9223372036854775807 - 1) ELSE メモ END FROM メモ帳 ORDER BY ID"_s,
            path);
        QVERIFY(!failed);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("He said"));
        file.close();
        QCOMPARE(QDir(book->dir()).entryList({u"*.csv*"_s}, QDir::Files), QStringList{u"found.csv"_s});

        // So does 中止 during a long export, once part of it has been written.
        qint64 told = 0;
        const Result cancelled = ResultExport::toCsv(
            Connection::shared(book->dbPath())->handle(),
            u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 5000) SELECT i FROM n"_s, path,
            [&told](qint64 written) { return told = written, false; });
        QVERIFY(!cancelled);
        QVERIFY(told > 0);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("He said"));
        file.close();
        QCOMPARE(QDir(book->dir()).entryList({u"*.csv*"_s}, QDir::Files), QStringList{u"found.csv"_s});
    }

    // The memo of the page in front, and the list of the memos found, on as many pages as
    // they need; as a PDF file too.
    void printing()
    {
        std::shared_ptr<MemoIndex> index = settledIndex(book->dbPath());
        const ResultWindow w = ResultWindow::open(book->session);
        w.grid()->setCurrentIndex(w.grid()->model()->index(3, 1));
        QTest::keyClick(w.form, Qt::Key_P, Qt::ControlModifier);
        QCOMPARE(fakes->printing.printed.size(), 1);
        QCOMPARE(fakes->printing.printed[0].title, u"ﾜｰﾌﾟﾛ"_s);
        QCOMPARE(fakes->printing.printed[0].pages, 1);

        // The page in front prints what it shows: a kept page its own memo.
        w.get<QTabWidget>(u"SSTab1"_s)->setCurrentIndex(2);
        w.get<QAbstractButton>(u"Check1(2)"_s)->click();
        w.grid()->setCurrentIndex(w.grid()->model()->index(0, 1));
        w.action(u"PrintMemoAction"_s)->trigger();
        QCOMPARE(fakes->printing.printed.last().title, u"ﾜｰﾌﾟﾛ"_s);
        w.get<QTabWidget>(u"SSTab1"_s)->setCurrentIndex(0);
        w.action(u"PrintMemoAction"_s)->trigger();
        QCOMPARE(fakes->printing.printed.last().title, u"印刷"_s);

        // A long memo takes more pages.
        const Result saved =
            Connection::shared(book->dbPath())
                ->exec(u"UPDATE メモ帳 SET メモ = '%1' WHERE ID = 1"_s.arg(u"長い行\r\n"_s.repeated(200)));
        QVERIFY(saved);
        w.click(u"Command5"_s);
        w.action(u"PrintMemoAction"_s)->trigger();
        QCOMPARE(fakes->printing.printed.last().title, u"印刷"_s);
        QVERIFY(fakes->printing.printed.last().pages >= 3);

        w.action(u"PrintListAction"_s)->trigger();
        QCOMPARE(fakes->printing.printed.last().title, u"メモの一覧（5 件）"_s);
        QCOMPARE(fakes->printing.printed.last().pages, 1);
        for (int i = 0; i < 150; ++i)
            book->addMemo({"", "", u"語%1"_s.arg(i), "", "", "", ""});
        w.click(u"Command5"_s);
        w.action(u"PrintListAction"_s)->trigger();
        QCOMPARE(fakes->printing.printed.last().title, u"メモの一覧（155 件）"_s);
        const int pages = fakes->printing.printed.last().pages;
        QVERIFY2(pages >= 2 && pages <= 6, qPrintable(QString::number(pages)));

        const QString pdf = book->dir() + u"/list.pdf"_s;
        fakes->fileDialog.answers.enqueue(pdf);
        fakes->messageBox.choices << 0;
        w.action(u"ListPdfAction"_s)->trigger();
        // The dialog proposes the list's own name, not its title with the count.
        QCOMPARE(fakes->fileDialog.asked.last().initialName, QDir::home().filePath(u"メモの一覧.pdf"_s));
        QCOMPARE(fakes->messageBox.asked.last().text, u"「list.pdf」に保存しました。\r\n"_s + pdf);
        QFile file(pdf);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.read(5) == "%PDF-");
        QCOMPARE(QDir(book->dir()).entryList({u"list.pdf*"_s}, QDir::Files), QStringList{u"list.pdf"_s});

        // A file that cannot be written says so, and nothing is said saved.
        fakes->fileDialog.answers.enqueue(book->dir() + u"/none/memo.pdf"_s);
        fakes->messageBox.answers.enqueue(MessageBox::Answer::Ok);
        w.action(u"MemoPdfAction"_s)->trigger();
        QCOMPARE(fakes->fileDialog.asked.last().initialName, QDir::home().filePath(u"印刷.pdf"_s));
        QCOMPARE(fakes->messageBox.asked.size(), 2);
        QCOMPARE(messageLines(fakes->messageBox.asked.last().text).value(0), u"ファイルに書き出せませんでした。"_s);
    }

    // A memo is printed with every field, each with its caption as the windows name it, and its
    // text in the memo box's font at a size that reads on paper.
    void printedMemoHoldsEveryField()
    {
        const ResultPrint::Memo memo{u"3"_s,
                                     u"2026年12月7日"_s,
                                     u"印刷"_s,
                                     u"余白"_s,
                                     u"用紙"_s,
                                     u"WORD"_s,
                                     u"/doc/手引き.doc"_s,
                                     u"一行目\r\n二行目"_s};
        const std::unique_ptr<QTextDocument> document = ResultPrint::memoDocument(memo);
        const QStringList lines = document->toPlainText().split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines, (QStringList{u"印刷"_s, u"ID"_s, u"3"_s, u"日付"_s, u"2026年12月7日"_s, u"ｷｰﾜｰﾄﾞ"_s, u"印刷"_s,
                                     u"検索キー１"_s, u"余白"_s, u"検索キー２"_s, u"用紙"_s, u"アプリＩＤ"_s, u"WORD"_s,
                                     u"ヘルプファイル"_s, u"/doc/手引き.doc"_s, u"メモ"_s, u"一行目"_s, u"二行目"_s}));
        const QTextCharFormat text = document->lastBlock().charFormat();
        QCOMPARE(text.font().family(), Appearance::gothic(9).family());
        QVERIFY(text.font().pointSizeF() >= 10);
        QVERIFY(text.foreground().color() == QColor(Qt::black) || text.foreground().style() == Qt::NoBrush);
    }

    // The printed list says what found its memos: the keys or words searched for, the order,
    // or all memos, and the day it is printed.
    void printedListSaysWhatFoundIt()
    {
        std::shared_ptr<MemoIndex> index = settledIndex(book->dbPath());
        const ResultWindow w = ResultWindow::open(book->session);
        QCOMPARE(w.form->searchShown(), u"すべてのメモ"_s);
        w.get<ComboBox>(u"DBCombo1"_s)->setText(u"印刷"_s);
        w.get<ComboBox>(u"DBCombo2"_s)->setText(u"Word"_s);
        w.click(u"Command1"_s);
        QCOMPARE(w.form->searchShown(), u"ｷｰﾜｰﾄﾞ「印刷」、検索キー２「Word」"_s);
        w.clickHeader(u"日付"_s);
        QCOMPARE(w.form->searchShown(), u"ｷｰﾜｰﾄﾞ「印刷」、検索キー２「Word」（日付の順）"_s);
        w.clickHeader(u"ID"_s);
        QCOMPARE(w.form->searchShown(), u"ｷｰﾜｰﾄﾞ「印刷」、検索キー２「Word」（IDの順）"_s);
        w.fullText(u"ワード"_s);
        QCOMPARE(w.form->searchShown(), u"全文検索「ワード」"_s);
        w.click(u"Command5"_s);
        QCOMPARE(w.form->searchShown(), u"すべてのメモ"_s);
        QCOMPARE(ResultPrint::listSubtitle(u"全文検索「ワード」"_s, QDate(2026, 12, 7)),
                 u"全文検索「ワード」　　印刷日：2026年12月7日"_s);
    }

    // The product help has a topic for each of these, which the viewer's index finds.
    void helpTopics_data()
    {
        QTest::addColumn<QString>("anchor");
        QTest::addColumn<QString>("typed");
        QTest::newRow("full-text search") << u"FULL_TEXT"_s << u"言葉でメモを探す"_s;
        QTest::newRow("type to pick") << u"PICK"_s << u"一覧から入力"_s;
        QTest::newRow("printing") << u"PRINT"_s << u"印刷と"_s;
        QTest::newRow("csv") << u"EXPORT"_s << u"csv"_s;
    }
    void helpTopics()
    {
        QFETCH(QString, anchor);
        QFETCH(QString, typed);
        const QString help = QFINDTESTDATA("../resources/help/orvalent-help.html");
        QVERIFY(!help.isEmpty());
        HelpViewerWindow* viewer = HelpViewerWindow::window();
        viewer->openFile(help);
        QVERIFY(viewer->showTopic(anchor));
        const int shown = viewer->displayedTopic();
        auto* search = findRequired<QLineEdit>(viewer, u"searchBox"_s);
        search->clear();
        commitText(search, typed);
        QTest::keyClick(search, Qt::Key_Return);
        QCOMPARE(viewer->displayedTopic(), shown);
        viewer->close();
    }
};

ORV_TEST_MAIN(TestResultTools)
#include "tst_result_tools.moc"
