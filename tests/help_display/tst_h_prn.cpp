// The display window: finding, sorting and showing memos, and how it works with the entry
// window and the main window.
#include "db/RecordSet.h"
#include "forms/DataGrid.h"
#include "forms/Messages.h"
#include "help_display/H_PRN.h"
#include "help_registration/H_WRITE.h"
#include "startup/ORVAM.h"
#include "support/Locks.h"
#include "support/TestMain.h"
#include "support/WindowTestFixture.h"
#include "widgets/ComboBox.h"

#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QMetaProperty>
#include <QTabWidget>

using namespace Qt::StringLiterals;

const QStringList GridFields = {"ID", "日付", "ｷｰﾜｰﾄﾞ", "検索キー１", "検索キー２", "ヘルプファイル"};

struct HPrnWindow : OpenedForm<H_PRN, HPrnWindow>
{
    QString text(const QString& n) const { return get(n)->metaObject()->userProperty().read(get(n)).toString(); }
    QString memo(int page) const { return text(u"Text1(%1)"_s.arg(page + 1)); } // numbered from 1
    bool focused(const QString& n) const { return get(n)->hasFocus() || get(n)->isAncestorOf(qApp->focusWidget()); }
    DataGrid* grid() const { return get<DataGrid>(u"DBGrid1"_s); }
    QString statement() const { return get<RecordSet>(u"Data1"_s)->recordSource(); }
    qint64 currentId() const { return get<RecordSet>(u"Data1"_s)->field(0).toLongLong(); }
    void search(const QString& keyword, const QString& key1, const QString& key2) const
    {
        get<ComboBox>(u"DBCombo1"_s)->setText(keyword);
        get<ComboBox>(u"DBCombo4"_s)->setText(key1);
        get<ComboBox>(u"DBCombo2"_s)->setText(key2);
        click(u"Command1"_s);
    }
    // The values of a field in the grid, top to bottom, joined by commas.
    QString column(const QString& field) const
    {
        QStringList values;
        for (int row = 0; row < grid()->model()->rowCount(); ++row)
            values.append(grid()->model()->index(row, int(GridFields.indexOf(field))).data().toString());
        return values.join(u',');
    }
    void selectRow(int row) const { grid()->setCurrentIndex(grid()->model()->index(row, 1)); } // as a click would
    void clickHeader(const QString& field) const
    {
        QHeaderView* header = grid()->horizontalHeader();
        const QPoint at(header->sectionViewportPosition(int(GridFields.indexOf(field))) + 4, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    }
    // Another window of the program takes the focus, then this one gets it back.
    bool comeBack(Session& session) const { return activate(ORVAM::instance(session)) && activate(form); }
};

class TestHPrn : public WindowTestFixture
{
    Q_OBJECT

    static QString entryId() { return findRequired<QLabel>(H_WRITE::ifLoaded(), u"Label1"_s)->text(); }

private Q_SLOTS:
    // IDs 1 to 6 in this order.
    void init()
    {
        QVERIFY(setUp());
        for (const MemoBook::Memo& memo :
             QList<MemoBook::Memo>{{"2026/01/05", "/doc/印刷.hlp", "印刷", "設定", "Word", "HLP", "余白を変える"},
                                   {"2025/03/10", "/doc/表 一覧.xls", "罫線", "操作", "B", "EXCEL", "罫線は書式から"},
                                   {"2024/12/24", "", "A", "", "B", "", "A and B"},
                                   {"2026/02/01", "/doc/x.doc", "don't", " ", "Word", "WORD", "apostrophe"},
                                   {"", "", "印刷", "操作", "", "HLP", "no date"},
                                   {"未定", "", "差し込み印刷", " ", "B", "NONE", "差し込み"}})
            book->addMemo(memo);
    }

    void cleanup() { tearDown(); }

    // Every caption fits its control; pages "0" to "5"; Tab goes round with the front page's memo
    // and keep boxes after the file button.
    void captionsAndTabOrder()
    {
        const HPrnWindow w = HPrnWindow::open(book->session);
        QCOMPARE(clippedCaptions(w.form), QStringList());
        auto* tabs = w.get<QTabWidget>(u"SSTab1"_s);
        QCOMPARE(tabs->tabText(tabs->count() - 1), u"5"_s);
        tabs->setCurrentIndex(1);
        w.get<ComboBox>(u"DBCombo1"_s)->setFocus();
        for (const QString& name : u"DBCombo1 DBCombo4 DBCombo2 DBGrid1 Command5 Command1 Command8 Text1(2) Check1(1) "
                                   u"Command2 Command4 Command3 DBCombo1"_s.split(u' ')) {
            QVERIFY2(w.focused(name), qPrintable(name));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
    }

    void search_data()
    {
        QTest::addColumn<QString>("typed"); // keyword|key 1|key 2
        QTest::addColumn<QString>("where");
        QTest::addColumn<QString>("found");
        QTest::newRow("key 2 only: no leading AND") << u"||B"_s << u"検索キー２ = 'B'"_s << u"2,3,6"_s;
        QTest::newRow("keyword and key 2") << u"A||B"_s << u"ｷｰﾜｰﾄﾞ = 'A' AND 検索キー２ = 'B'"_s << u"3"_s;
        QTest::newRow("key 1 a single space") << u"| |"_s << u"検索キー１ = ' '"_s << u"4,6"_s;
        QTest::newRow("apostrophe") << u"don't||"_s << u"ｷｰﾜｰﾄﾞ = 'don''t'"_s << u"4"_s;
        QTest::newRow("nothing found") << u"印||"_s << u"ｷｰﾜｰﾄﾞ = '印'"_s << u""_s;
    }

    // The pages show the first memo found, or nothing. A search with all three fields empty
    // then does nothing: the same memos, the same one current.
    void search()
    {
        QFETCH(QString, typed);
        QFETCH(QString, where);
        QFETCH(QString, found);
        const HPrnWindow w = HPrnWindow::open(book->session);
        const QStringList fields = typed.split(u'|');
        w.search(fields[0], fields[1], fields[2]);
        const QString statement = u"SELECT * FROM メモ帳 WHERE %1 Order By ID"_s.arg(where);
        QCOMPARE(w.statement(), statement);
        QCOMPARE(w.column(u"ID"_s), found);
        QCOMPARE(w.text(u"Text3(5)"_s), w.column(u"ｷｰﾜｰﾄﾞ"_s).section(u',', 0, 0));
        QCOMPARE(w.memo(0).isEmpty(), found.isEmpty());
        w.selectRow(int(found.count(u',')));
        const qint64 current = w.currentId();
        w.search({}, {}, {});
        QCOMPARE(w.statement(), statement);
        QCOMPARE(w.currentId(), current);
    }

    // A click on a column's header sorts the memos by it, always ascending, and makes the first
    // row current.
    void sortByHeader()
    {
        const HPrnWindow w = HPrnWindow::open(book->session);
        w.selectRow(2);
        w.clickHeader(u"日付"_s);
        w.clickHeader(u"日付"_s); // the second click sorts the same way again
        QCOMPARE(w.column(u"日付"_s), u",2024/12/24,2025/03/10,2026/01/05,2026/02/01,未定"_s);
        QCOMPARE(w.currentId(), 5);
    }

    // Under another program's lock a search, show all and a sort say that the memo book is in
    // use; the grid and the search in force stay as they were, so that a sort afterwards sorts
    // what is shown, and the same command works once the lock is gone.
    void commandsUnderALockKeepWhatIsShown_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("statementAfter"); // once the lock is gone
        QTest::addColumn<QString>("ids");
        QTest::newRow("search") << u"search"_s << u"SELECT * FROM メモ帳 WHERE 検索キー２ = 'Word' Order By ID"_s
                                << u"1,4"_s;
        QTest::newRow("show all") << u"show all"_s << u"SELECT * FROM メモ帳 WHERE ID > 0"_s << u"1,2,3,4,5,6"_s;
        QTest::newRow("sort") << u"sort"_s << u"SELECT * FROM メモ帳 WHERE 検索キー２ = 'B' Order By ｷｰﾜｰﾄﾞ"_s
                              << u"3,6,2"_s;
    }

    void commandsUnderALockKeepWhatIsShown()
    {
        QFETCH(QString, command);
        const HPrnWindow w = HPrnWindow::open(book->session);
        w.search({}, {}, u"B"_s);
        const QString statement = w.statement();
        const QString shown = w.column(u"ID"_s);
        auto run = [&] {
            if (command == u"search"_s)
                w.search({}, {}, u"Word"_s);
            else if (command == u"show all"_s)
                w.click(u"Command5"_s);
            else
                w.clickHeader(u"ｷｰﾜｰﾄﾞ"_s);
        };
        {
            BusyWaitFor briefly(100);
            Lock lock(book->dbPath());
            QVERIFY(lock.isHeld());
            fakes->messageBox.answers << MessageBox::Answer::Ok;
            run();
            QCOMPARE(fakes->messageBox.asked.size(), 1);
            QCOMPARE(fakes->messageBox.asked.last().text, Messages::InUse);
            QCOMPARE(w.statement(), statement);
            QCOMPARE(w.form->searchSql(), u"SELECT * FROM メモ帳 WHERE 検索キー２ = 'B'"_s);
            QCOMPARE(w.column(u"ID"_s), shown);
        }
        run();
        QTEST(w.statement(), "statementAfter");
        QTEST(w.column(u"ID"_s), "ids");
    }

    // Page "2" kept holds its memo while the others follow the current one, also through a search
    // that finds nothing and the re-run on coming back; cleared, it follows again at once.
    void keepHoldsAPageWhileMoving()
    {
        const HPrnWindow w = HPrnWindow::open(book->session);
        auto* keep = w.get<QCheckBox>(u"Check1(2)"_s);
        keep->click();
        w.selectRow(1);
        QCOMPARE(w.memo(2), u"余白を変える"_s);
        QCOMPARE(w.text(u"Text4(2)"_s), u"2026年1月5日"_s);
        for (int page : {0, 1, 3, 4, 5})
            QCOMPARE(w.memo(page), u"罫線は書式から"_s);
        // With no memo found, correction does nothing and the file button starts the viewer empty.
        w.search(u"ない"_s, {}, {});
        w.click(u"Command2"_s);
        QVERIFY(!H_WRITE::isLoaded());
        w.click(u"Command8"_s);
        QCOMPARE(fakes->processStarter.started.value(0).commandLine, u"WINHLP32.EXE "_s);
        QCOMPARE(fakes->keySender.keys(), (QStringList{"%I", "", "%D"}));
        QVERIFY(w.comeBack(book->session));
        QCOMPARE(w.memo(2), u"余白を変える"_s);
        QCOMPARE(w.memo(0), QString());
        w.search({}, {}, u"B"_s);
        keep->click();
        QCOMPARE(w.memo(2), u"罫線は書式から"_s);
        w.selectRow(1);
        QCOMPARE(w.memo(2), u"A and B"_s);
    }

    // A write the engine refuses stops the hand-over with the save-failure message; the typing
    // stays, and the next hand-over stores it.
    void refusedWriteStopsTheHandOver()
    {
        const HPrnWindow w = HPrnWindow::open(book->session);
        w.click(u"Command2"_s);
        H_WRITE* entry = H_WRITE::ifLoaded();
        QVERIFY(QTest::qWaitForWindowActive(entry, 2000));
        auto* keyword = findRequired<ComboBox>(entry, u"DBCombo1"_s);
        keyword->setText(u"直しかけ"_s);
        book->exec(u"CREATE TRIGGER refuse BEFORE UPDATE ON メモ帳 BEGIN SELECT RAISE(ABORT, 'refused'); END"_s);
        QVERIFY(activate(w.form));
        w.selectRow(1);
        fakes->messageBox.answers << MessageBox::Answer::Ok;
        w.click(u"Command2"_s);
        QCOMPARE(fakes->messageBox.asked.size(), 1);
        QCOMPARE(fakes->messageBox.asked.first().text, Messages::SaveFailure);
        QCOMPARE(entryId(), u"1"_s);
        QCOMPARE(keyword->text(), u"直しかけ"_s);
        book->exec(u"DROP TRIGGER refuse"_s);
        w.click(u"Command2"_s);
        QCOMPARE(entryId(), u"2"_s);
        QCOMPARE(book->scalar(u"SELECT ｷｰﾜｰﾄﾞ FROM メモ帳 WHERE ID = 1"_s).toString(), u"直しかけ"_s);
    }

    // From the main window on: find memos, open the first one's file, correct the second in the
    // entry window, come back to see it under the same search, and finish.
    void searchOpenCorrectAndComeBack()
    {
        ORVAM* main = ORVAM::instance(book->session);
        QVERIFY(activate(main));
        findRequired<QAbstractButton>(main, u"Command2"_s)->click();
        QVERIFY(QTest::qWaitForWindowActive(H_PRN::ifLoaded(), 2000));
        const HPrnWindow w{H_PRN::ifLoaded()};
        ComboBox* keyword = w.get<ComboBox>(u"DBCombo1"_s);
        keyword->setCurrentIndex(keyword->findText(u"印刷"_s));
        w.click(u"Command1"_s);
        w.click(u"Command8"_s);
        QCOMPARE(fakes->processStarter.started.value(0).commandLine, u"WINHLP32.EXE /doc/印刷.hlp"_s);
        QCOMPARE(fakes->keySender.keys(), (QStringList{"%I", "印刷", "%D"}));

        w.get<ComboBox>(u"DBCombo4"_s)->setText(u"打ちかけ"_s);
        w.selectRow(1);
        w.click(u"Command2"_s);
        H_WRITE* entry = H_WRITE::ifLoaded();
        QVERIFY(entry && QTest::qWaitForWindowActive(entry, 2000));
        QCOMPARE(entryId(), u"5"_s);
        findRequired<ComboBox>(entry, u"DBCombo2"_s)->setText(u"Word 2000"_s);
        findRequired<QAbstractButton>(entry, u"Command7"_s)->click();

        // The same search runs again, its first row current; the lists offer the new value, and
        // the fields keep what the user typed.
        QVERIFY(activate(w.form));
        QCOMPARE(w.column(u"検索キー２"_s), u"Word,Word 2000"_s);
        QCOMPARE(w.currentId(), 1);
        QVERIFY(w.get<ComboBox>(u"DBCombo2"_s)->listItems().contains(u"Word 2000"_s));
        QCOMPARE(keyword->text(), u"印刷"_s);
        QCOMPARE(w.get<ComboBox>(u"DBCombo4"_s)->text(), u"打ちかけ"_s);
        // Correction with the entry window open shows the memo chosen now.
        w.click(u"Command2"_s);
        QCOMPARE(book->session.EditMemoId, 1);
        QVERIFY(QTest::qWaitForWindowActive(entry, 2000));
        QCOMPARE(entryId(), u"1"_s);

        w.click(u"Command3"_s);
        QVERIFY(!H_PRN::isLoaded() && !H_WRITE::isLoaded() && main->isVisible());
        QCOMPARE(book->session.EditMemoId, 0);
    }
};

ORV_TEST_MAIN(TestHPrn)
#include "tst_h_prn.moc"
