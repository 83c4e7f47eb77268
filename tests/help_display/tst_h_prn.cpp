// The display window: finding, sorting and showing memos, and how it works with the entry
// window and the main window.
#include "db/DataGrid.h"
#include "db/RecordSet.h"
#include "help_display/H_PRN.h"
#include "help_registration/H_WRITE.h"
#include "platform/ComboBox.h"
#include "startup/Globals.h"
#include "startup/ORVAM.h"
#include "support/TestMain.h"
#include "support/WindowTestFixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QMetaProperty>
#include <QTabWidget>

using Ids = QList<qint64>;

struct HPrnWindow : OpenedForm<H_PRN, HPrnWindow>
{
    ComboBox* combo(const QString& name) const { return get<ComboBox>(name); }
    // What a box shows; memo boxes are numbered 1 to 6, the other boxes of a page 0 to 5.
    QString text(const QString& name) const
    {
        QWidget* c = get(name);
        return c->metaObject()->userProperty().read(c).toString();
    }
    QString memo(int page) const { return text(QStringLiteral("Text1(%1)").arg(page + 1)); }
    QString longDate(int page) const { return text(QStringLiteral("Text4(%1)").arg(page)); }
    QCheckBox* keepBox(int page) const { return get<QCheckBox>(QStringLiteral("Check1(%1)").arg(page)); }
    DataGrid* grid() const { return get<DataGrid>(QStringLiteral("DBGrid1")); }
    QString statement() const { return get<RecordSet>(QStringLiteral("Data1"))->recordSource(); }
    qint64 currentId() const { return get<RecordSet>(QStringLiteral("Data1"))->field(0).toLongLong(); }

    void search(const QString& keyword, const QString& key1, const QString& key2) const
    {
        combo("DBCombo1")->setText(keyword);
        combo("DBCombo4")->setText(key1);
        combo("DBCombo2")->setText(key2);
        click("Command1");
    }
    QStringList fieldsOfGrid() const
    {
        QStringList fields;
        for (int column = 0; column < grid()->model()->columnCount(); ++column)
            fields.append(grid()->model()->headerData(column, Qt::Horizontal).toString());
        return fields;
    }
    // The values of a field in the grid, top to bottom.
    QStringList column(const QString& field) const
    {
        QStringList values;
        for (int row = 0; row < grid()->model()->rowCount(); ++row)
            values.append(grid()->model()->index(row, int(fieldsOfGrid().indexOf(field))).data().toString());
        return values;
    }
    Ids gridIds() const
    {
        Ids ids;
        for (const QString& id : column(QStringLiteral("ID")))
            ids.append(id.toLongLong());
        return ids;
    }
    // Chooses a row as a click into it would.
    void selectRow(int row) const { grid()->setCurrentIndex(grid()->model()->index(row, 1)); }
    void clickHeader(const QString& field) const
    {
        QHeaderView* header = grid()->horizontalHeader();
        const int section = int(fieldsOfGrid().indexOf(field));
        const QPoint at(header->sectionViewportPosition(section) + header->sectionSize(section) / 2,
                        header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    }
    // Another window of the program takes the focus, then this one gets it back.
    bool comeBack() const { return activate(ORVAM::instance()) && activate(form); }
};

class TestHPrn : public WindowTestFixture
{
    Q_OBJECT

    static QString entryId() { return findRequired<QLabel>(H_WRITE::ifLoaded(), QStringLiteral("Label1"))->text(); }

private Q_SLOTS:
    // IDs 1 to 6 in this order.
    void init()
    {
        QVERIFY(setUp());
        const QList<MemoBook::Memo> memos = {
            {"2026/01/05", "/doc/印刷.hlp", "印刷", "設定", "Word", "HLP", "余白を変える"},
            {"2025/03/10", "/doc/表 一覧.xls", "罫線", "操作", "B", "EXCEL", "罫線は書式から"},
            {"2024/12/24", "", "A", "", "B", "", "A and B"},
            {"2026/02/01", "/doc/x.doc", "don't", " ", "Word", "WORD", "apostrophe"},
            {"", "", "印刷", "操作", "", "HLP", "no date"},
            {"未定", "", "差し込み印刷", " ", "B", "NONE", "差し込み"},
        };
        for (const MemoBook::Memo& memo : memos)
            book->addMemo(memo);
        book->addApplication(QStringLiteral("HLP"), QStringLiteral("/usr/bin/unused"));
    }

    void cleanup()
    {
        closeAllForms();
        // The window has no message box of its own.
        QVERIFY(fakes->messageBox.asked.isEmpty());
        tearDown();
    }

    void captionsAndFocusOrder()
    {
        const HPrnWindow w = HPrnWindow::open();
        QCOMPARE(w.form->windowTitle(), QStringLiteral("ヘルプ表示／修正"));
        const std::pair<const char*, const char*> captions[] = {
            {"Label3", "ｷｰﾜｰﾄﾞ"},         {"Label4", "検索キー１"},     {"Label5", "検索キー２"},
            {"Label1", "検　索　結　果"}, {"Command5", "全データ表示"}, {"Command1", "検索開始"},
            {"Command8", "ファイル表示"}, {"Command2", "ヘルプ修正"},   {"Command4", "ヘルプ"},
            {"Command3", "終了"}};
        for (const auto& [name, caption] : captions) {
            QWidget* c = w.get(QString::fromUtf8(name));
            auto* label = qobject_cast<QLabel*>(c);
            QCOMPARE(label ? label->text() : static_cast<QAbstractButton*>(c)->text(), QString::fromUtf8(caption));
        }
        QCOMPARE(w.fieldsOfGrid(), (QStringList{"ID", "日付", "ｷｰﾜｰﾄﾞ", "検索キー１", "検索キー２", "ヘルプファイル"}));
        auto* tabs = w.get<QTabWidget>(QStringLiteral("SSTab1"));
        QCOMPARE(tabs->count(), 6);
        for (int i = 0; i < 6; ++i)
            QCOMPARE(tabs->tabText(i), QString::number(i));

        // Page 1 in front: its memo box and keep box come after the file button.
        tabs->setCurrentIndex(1);
        const QStringList order = {"DBCombo1", "DBCombo4",  "DBCombo2", "DBGrid1",  "Command5", "Command1", "Command8",
                                   "Text1(2)", "Check1(1)", "Command2", "Command4", "Command3", "DBCombo1"};
        w.combo("DBCombo1")->setFocus();
        for (const QString& name : order) {
            QWidget* focus = QApplication::focusWidget();
            QVERIFY2(focus == w.get(name) || w.get(name)->isAncestorOf(focus), qPrintable(name));
            QTest::keyClick(focus, Qt::Key_Tab);
        }
    }

    void search_data()
    {
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QString>("key1");
        QTest::addColumn<QString>("key2");
        QTest::addColumn<QString>("where");
        QTest::addColumn<Ids>("found");
        auto row = [](const char* tag, const QString& keyword, const QString& key1, const QString& key2,
                      const QString& where,
                      const Ids& found) { QTest::newRow(tag) << keyword << key1 << key2 << where << found; };
        row("key 2 only: no leading AND", "", "", "B", "検索キー２ = 'B'", {2, 3, 6});
        row("keyword and key 2", "A", "", "B", "ｷｰﾜｰﾄﾞ = 'A' AND 検索キー２ = 'B'", {3});
        row("key 1 a single space", "", " ", "", "検索キー１ = ' '", {4, 6});
        row("apostrophe found", "don't", "", "", "ｷｰﾜｰﾄﾞ = 'don''t'", {4});
        row("nothing found", "印", "", "", "ｷｰﾜｰﾄﾞ = '印'", {});
    }

    void search()
    {
        QFETCH(QString, keyword);
        QFETCH(QString, key1);
        QFETCH(QString, key2);
        QFETCH(QString, where);
        QFETCH(Ids, found);
        const HPrnWindow w = HPrnWindow::open();
        w.search(keyword, key1, key2);
        QCOMPARE(w.statement(), QStringLiteral("SELECT * FROM メモ帳 WHERE %1 Order By ID").arg(where));
        QCOMPARE(w.gridIds(), found);
        // The pages show the first memo found, or nothing.
        for (int page = 0; page < 6; ++page) {
            QCOMPARE(w.text(QStringLiteral("Text3(%1)").arg(page)), w.column(QStringLiteral("ｷｰﾜｰﾄﾞ")).value(0));
            QCOMPARE(w.memo(page).isEmpty(), found.isEmpty());
        }
        if (!found.isEmpty())
            QCOMPARE(w.currentId(), found.first());
    }

    void searchWithAllFieldsEmptyDoesNothing()
    {
        const HPrnWindow w = HPrnWindow::open();
        w.search(QString(), QString(), QStringLiteral("B"));
        w.selectRow(1);
        const QString before = w.statement();
        w.search(QString(), QString(), QString());
        QCOMPARE(w.statement(), before);
        QCOMPARE(w.gridIds(), (Ids{2, 3, 6}));
        QCOMPARE(w.currentId(), 3);
    }

    void sort_data()
    {
        QTest::addColumn<QString>("before"); // "load", "show all" or "search"
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("statement");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("after load") << "load"
                                    << "ｷｰﾜｰﾄﾞ"
                                    << "Select * From メモ帳 Order By ｷｰﾜｰﾄﾞ"
                                    << QStringList{"A", "don't", "印刷", "印刷", "差し込み印刷", "罫線"};
        QTest::newRow("after show all") << "show all"
                                        << "日付"
                                        << "Select * From メモ帳 Order By 日付"
                                        << QStringList{"",           "2024/12/24", "2025/03/10",
                                                       "2026/01/05", "2026/02/01", "未定"};
        QTest::newRow("after a search") << "search"
                                        << "ｷｰﾜｰﾄﾞ"
                                        << "SELECT * FROM メモ帳 WHERE 検索キー２ = 'B' Order By ｷｰﾜｰﾄﾞ"
                                        << QStringList{"A", "差し込み印刷", "罫線"};
    }

    void sort()
    {
        QFETCH(QString, before);
        QFETCH(QString, field);
        QFETCH(QString, statement);
        QFETCH(QStringList, order);
        const HPrnWindow w = HPrnWindow::open();
        if (before != QLatin1String("load"))
            w.search(QString(), QString(), QStringLiteral("B"));
        if (before == QLatin1String("show all")) {
            w.click("Command5");
            QCOMPARE(w.statement(), QStringLiteral("SELECT * FROM メモ帳 WHERE ID > 0"));
            QCOMPARE(w.gridIds().size(), 6);
        }
        w.selectRow(2);
        w.clickHeader(field);
        QCOMPARE(w.statement(), statement);
        QCOMPARE(w.column(field), order);
        QCOMPARE(w.currentId(), w.gridIds().first());
        // Always ascending: a second click sorts the same way again.
        w.clickHeader(field);
        QCOMPARE(w.column(field), order);
    }

    void keepHoldsAPageWhileMoving()
    {
        const HPrnWindow w = HPrnWindow::open();
        w.keepBox(2)->click();
        w.selectRow(1);
        // Page "2" keeps memo 1; the others follow memo 2.
        QCOMPARE(w.memo(2), QStringLiteral("余白を変える"));
        QCOMPARE(w.longDate(2), QStringLiteral("2026年1月5日"));
        for (int page : {0, 1, 3, 4, 5}) {
            QCOMPARE(w.memo(page), QStringLiteral("罫線は書式から"));
            QCOMPARE(w.longDate(page), QStringLiteral("2025年3月10日"));
        }
        // A search that finds nothing, and the re-run on coming back, leave the kept memo too.
        w.search(QStringLiteral("ない"), QString(), QString());
        QVERIFY(w.comeBack());
        QCOMPARE(w.memo(2), QStringLiteral("余白を変える"));
        QCOMPARE(w.memo(0), QString());

        // Cleared, the page shows the current memo again at once, and follows it.
        w.search(QString(), QString(), QStringLiteral("B"));
        w.keepBox(2)->click();
        QVERIFY(!w.keepBox(2)->isChecked());
        QCOMPARE(w.memo(2), QStringLiteral("罫線は書式から"));
        QCOMPARE(w.longDate(2), QStringLiteral("2025年3月10日"));
        w.selectRow(1);
        QCOMPARE(w.memo(2), QStringLiteral("A and B"));
    }

    // Correction and the file with no memo found do nothing but start the help viewer empty;
    // correction opens the entry window on the memo, or brings it to the front as it is; closing
    // this window closes the entry window and forgets the memo handed over.
    void correctionAndFileButton()
    {
        const HPrnWindow w = HPrnWindow::open();
        w.search(QStringLiteral("ない"), QString(), QString());
        w.click("Command2");
        QVERIFY(!H_WRITE::isLoaded());
        QCOMPARE(EditMemoId, 0);
        w.click("Command8");
        QCOMPARE(fakes->processStarter.started.size(), 1);
        QCOMPARE(fakes->processStarter.started[0].commandLine, QStringLiteral("WINHLP32.EXE "));
        QCOMPARE(fakes->keySender.keys(), (QStringList{"%I", "", "%D"}));

        w.click("Command5");
        w.selectRow(1);
        w.click("Command2");
        QCOMPARE(EditMemoId, 2);
        QVERIFY(QTest::qWaitForWindowActive(H_WRITE::ifLoaded(), 2000));
        QCOMPARE(entryId(), QStringLiteral("2"));

        QVERIFY(activate(w.form));
        w.selectRow(3);
        w.click("Command2");
        QCOMPARE(EditMemoId, 4);
        QVERIFY(QTest::qWaitForWindowActive(H_WRITE::ifLoaded(), 2000));
        QCOMPARE(entryId(), QStringLiteral("2"));

        w.form->close();
        QVERIFY(!H_WRITE::isLoaded());
        QCOMPARE(EditMemoId, 0);
    }

    void comingBackShowsWhatWasStoredElsewhere()
    {
        const HPrnWindow w = HPrnWindow::open();
        w.search(QString(), QString(), QStringLiteral("B"));
        w.combo("DBCombo1")->setText(QStringLiteral("打ちかけ"));
        w.selectRow(2);
        book->exec(QStringLiteral("UPDATE メモ帳 SET ｷｰﾜｰﾄﾞ = '新しい', メモ = '直した' WHERE ID = 2"));
        book->addMemo({"2026/12/06", "", "追加分", "", "B", "", "後から"});
        QVERIFY(w.comeBack());

        // The same search runs again; its first row is current again.
        QCOMPARE(w.gridIds(), (Ids{2, 3, 6, 7}));
        QCOMPARE(w.column(QStringLiteral("ｷｰﾜｰﾄﾞ")).first(), QStringLiteral("新しい"));
        QCOMPARE(w.currentId(), 2);
        QCOMPARE(w.memo(0), QStringLiteral("直した"));
        // The lists offer the new values, and the fields keep what the user typed.
        QVERIFY(w.combo("DBCombo1")->listItems().contains(QStringLiteral("追加分")));
        QCOMPARE(w.combo("DBCombo1")->text(), QStringLiteral("打ちかけ"));
        QCOMPARE(w.combo("DBCombo2")->text(), QStringLiteral("B"));
    }

    // From the main window on: find a memo, open its file, correct it in the entry window,
    // store the correction, come back to see it under the same search, and finish.
    void searchOpenCorrectAndComeBack()
    {
        ORVAM* main = ORVAM::instance();
        QVERIFY(activate(main));
        findRequired<QAbstractButton>(main, QStringLiteral("Command2"))->click();
        QVERIFY(QTest::qWaitForWindowActive(H_PRN::ifLoaded(), 2000));
        const HPrnWindow w{H_PRN::ifLoaded()};

        ComboBox* keyword = w.combo("DBCombo1");
        keyword->setCurrentIndex(keyword->findText(QStringLiteral("印刷")));
        w.click("Command1");
        QCOMPARE(w.gridIds(), (Ids{1, 5}));

        w.click("Command8");
        QCOMPARE(fakes->processStarter.started[0].commandLine, QStringLiteral("WINHLP32.EXE /doc/印刷.hlp"));
        QCOMPARE(fakes->keySender.keys(), (QStringList{"%I", "印刷", "%D"}));

        w.click("Command2");
        H_WRITE* entry = H_WRITE::ifLoaded();
        QVERIFY(entry && QTest::qWaitForWindowActive(entry, 2000));
        QCOMPARE(entryId(), QStringLiteral("1"));
        findRequired<ComboBox>(entry, QStringLiteral("DBCombo2"))->setText(QStringLiteral("Word 2000"));
        findRequired<QAbstractButton>(entry, QStringLiteral("Command7"))->click();

        QVERIFY(activate(w.form));
        QCOMPARE(w.gridIds(), (Ids{1, 5}));
        QCOMPARE(w.column(QStringLiteral("検索キー２")).first(), QStringLiteral("Word 2000"));
        QCOMPARE(keyword->text(), QStringLiteral("印刷"));

        w.click("Command3");
        QVERIFY(!H_PRN::isLoaded());
        QVERIFY(!H_WRITE::isLoaded());
        QCOMPARE(EditMemoId, 0);
        QVERIFY(main->isVisible());
    }
};

ORV_TEST_MAIN(TestHPrn)
#include "tst_h_prn.moc"
