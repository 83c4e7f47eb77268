#include "tst_h_prn_fixture.h"

#include "help_registration/H_WRITE.h"
#include "platform/Appearance.h"
#include "platform/Twips.h"
#include "startup/Globals.h"
#include "support/TestMain.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>

// The display window's layout, and how it works with the other windows: correction in the
// entry window, closing, the memo's file and the help.
class TestHPrnWindows : public HPrnTestFixture
{
    Q_OBJECT

private:
    static QLabel* entryIdLabel() { return findRequired<QLabel>(H_WRITE::ifLoaded(), QStringLiteral("Label1")); }

private Q_SLOTS:
    void init()
    {
        QVERIFY(setUpWithKnownMemos());
        book->addApplication(QStringLiteral("EXCEL"), QStringLiteral("/usr/bin/excel"));
    }

    void cleanup() { tearDownWithoutMessages(); }

    void window()
    {
        const HPrnWindow w = HPrnWindow::open();
        QCOMPARE(w.form->windowTitle(), QStringLiteral("ヘルプ表示／修正"));
        QCOMPARE(w.form->client()->size(), Twips::size(6984, 6624));
        QCOMPARE(w.form->pos(), QPoint(Twips::toPixels(1000), Twips::toPixels(100)));
        const QFont font = w.get<QLabel>(QStringLiteral("Label1"))->font();
        QCOMPARE(font.family(), Appearance::UiGothic);
        QCOMPARE(font.pointSizeF(), 12.0);
        const std::pair<const char*, const char*> captions[] = {
            {"Label3", "ｷｰﾜｰﾄﾞ"},         {"Label4", "検索キー１"},     {"Label5", "検索キー２"},
            {"Label1", "検　索　結　果"}, {"Command5", "全データ表示"}, {"Command1", "検索開始"},
            {"Command8", "ファイル表示"}, {"Command2", "ヘルプ修正"},   {"Command4", "ヘルプ"},
            {"Command3", "終了"}};
        for (const auto& [name, caption] : captions) {
            QWidget* control = w.get(QLatin1String(name));
            const QString text = qobject_cast<QLabel*>(control) ? static_cast<QLabel*>(control)->text()
                                                                : static_cast<QPushButton*>(control)->text();
            QCOMPARE(text, QString::fromUtf8(caption));
        }
        QCOMPARE(w.grid()->geometry(), Twips::rect(120, 1200, 6732, 1452));
        QCOMPARE(w.get(QStringLiteral("SSTab1"))->geometry(), Twips::rect(120, 3120, 6732, 3012));

        QCOMPARE(w.fieldsOfGrid(), (QStringList{"ID", "日付", "ｷｰﾜｰﾄﾞ", "検索キー１", "検索キー２", "ヘルプファイル"}));
        QCOMPARE(w.grid()->editTriggers(), QAbstractItemView::NoEditTriggers);
        // All six columns fit side by side.
        QVERIFY(!w.grid()->horizontalScrollBar()->isVisible());

        for (const char* name : {"Data1", "Data2", "Data3", "Data4", "Data5"}) {
            QCOMPARE(w.data(name)->connectText(), QStringLiteral(";PWD="));
            QCOMPARE(w.data(name)->databaseName(), DbPath);
        }
        QVERIFY(w.data("Data1")->isReadOnly());
        for (const char* name : {"Text5", "Text6", "Text7", "Text8", "Text9"})
            QVERIFY(!w.text(QLatin1String(name))->isVisible());
    }

    void pages()
    {
        const HPrnWindow w = HPrnWindow::open();
        auto* tabs = w.get<QTabWidget>(QStringLiteral("SSTab1"));
        QCOMPARE(tabs->count(), 6);
        QCOMPARE(tabs->currentIndex(), 0);
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(tabs->tabText(i), QString::number(i));
            QWidget* page = tabs->widget(i);
            // Page i holds memo box i + 1 and the other boxes numbered i.
            QCOMPARE(findRequired<MemoBox>(page, QStringLiteral("Text1(%1)").arg(i + 1))->parentWidget(), page);
            for (const char* box : {"Text2", "Text3", "Text4"})
                QCOMPARE(findRequired<TextBox>(page, QStringLiteral("%1(%2)").arg(QLatin1String(box)).arg(i))
                             ->parentWidget(),
                         page);
            QCOMPARE(w.keepBox(i)->parentWidget(), page);
            QCOMPARE(w.keepBox(i)->text(), QStringLiteral("保存"));
            QVERIFY(!w.keepBox(i)->isChecked());
            QVERIFY(w.memo(i + 1)->isReadOnly());
            QVERIFY(w.text(QStringLiteral("Text3(%1)").arg(i))->isReadOnly());
            QVERIFY(w.text(QStringLiteral("Text4(%1)").arg(i))->isReadOnly());
            QVERIFY(!w.text(QStringLiteral("Text2(%1)").arg(i))->isVisibleTo(page));
            // The memo box lies wholly on its page.
            QVERIFY(page->rect().contains(w.memo(i + 1)->geometry()));
        }
    }

    void focusOrder_data()
    {
        QTest::addColumn<int>("page");
        QTest::newRow("page 0 in front") << 0;
        QTest::newRow("page 4 in front") << 4;
    }

    void focusOrder()
    {
        QFETCH(int, page);
        const HPrnWindow w = HPrnWindow::open();
        w.get<QTabWidget>(QStringLiteral("SSTab1"))->setCurrentIndex(page);
        const QStringList expected = {"DBCombo1",
                                      "DBCombo4",
                                      "DBCombo2",
                                      "DBGrid1",
                                      "Command5",
                                      "Command1",
                                      "Command8",
                                      QStringLiteral("Text1(%1)").arg(page + 1),
                                      QStringLiteral("Check1(%1)").arg(page),
                                      "Command2",
                                      "Command4",
                                      "Command3",
                                      "DBCombo1"};
        w.combo("DBCombo1")->setFocus();
        QStringList visited;
        for (int i = 0; i < expected.size(); ++i) {
            QWidget* focus = QApplication::focusWidget();
            // The edit field of a combo box stands for the combo box.
            while (focus && focus->objectName().isEmpty() && focus->parentWidget())
                focus = focus->parentWidget();
            visited.append(focus ? focus->objectName() : QString());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QCOMPARE(visited, expected);
    }

    void correctionOpensTheEntryWindowOnTheMemo()
    {
        const HPrnWindow w = HPrnWindow::open();
        w.search(QString(), QString(), QStringLiteral("B"));
        w.selectRow(1);
        w.click("Command2");
        QCOMPARE(EditMemoId, 3);
        QVERIFY(H_WRITE::isLoaded());
        QVERIFY(QTest::qWaitForWindowActive(H_WRITE::ifLoaded(), 2000));
        QCOMPARE(entryIdLabel()->text(), QStringLiteral("3"));
    }

    void correctionWhileTheEntryWindowIsOpen()
    {
        const HPrnWindow w = HPrnWindow::open();
        w.selectRow(1);
        w.click("Command2");
        QVERIFY(QTest::qWaitForWindowActive(H_WRITE::ifLoaded(), 2000));
        QCOMPARE(entryIdLabel()->text(), QStringLiteral("2"));

        QVERIFY(activate(w.form));
        w.selectRow(3);
        w.click("Command2");
        // The entry window comes to the front on the memo it shows.
        QCOMPARE(EditMemoId, 4);
        QVERIFY(QTest::qWaitForWindowActive(H_WRITE::ifLoaded(), 2000));
        QCOMPARE(entryIdLabel()->text(), QStringLiteral("2"));
    }

    void entryWindowOpenedLaterShowsTheMemoHandedOver()
    {
        const HPrnWindow w = HPrnWindow::open();
        w.selectRow(4);
        w.click("Command2");
        QVERIFY(QTest::qWaitForWindowActive(H_WRITE::ifLoaded(), 2000));
        findRequired<QPushButton>(H_WRITE::ifLoaded(), QStringLiteral("Command11"))->click();
        QVERIFY(!H_WRITE::isLoaded());

        // The user moves on here, then opens the entry window from the main window.
        QVERIFY(activate(w.form));
        w.selectRow(0);
        findRequired<QPushButton>(ORVAM::instance(), QStringLiteral("Command1"))->click();
        QVERIFY(QTest::qWaitForWindowActive(H_WRITE::ifLoaded(), 2000));
        QCOMPARE(EditMemoId, 5);
        QCOMPARE(entryIdLabel()->text(), QStringLiteral("5"));
    }

    void correctionWithNoMemoDoesNothing()
    {
        const HPrnWindow w = HPrnWindow::open();
        w.search(QStringLiteral("ない"), QString(), QString());
        w.click("Command2");
        QVERIFY(!H_WRITE::isLoaded());
        QCOMPARE(EditMemoId, 0);
        QVERIFY(w.form->isActiveWindow());
    }

    void closingClosesTheEntryWindow_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("exit button") << "Command3";
        QTest::newRow("close box") << "close";
        QTest::newRow("main window's exit") << "ORVAM";
    }

    void closingClosesTheEntryWindow()
    {
        QFETCH(QString, how);
        HPrnWindow w = HPrnWindow::open();
        w.search(QString(), QString(), QStringLiteral("Word"));
        w.click("Command2");
        QVERIFY(H_WRITE::isLoaded());
        QCOMPARE(EditMemoId, 1);

        if (how == QLatin1String("Command3"))
            w.click("Command3");
        else if (how == QLatin1String("close"))
            w.form->close();
        else
            findRequired<QPushButton>(ORVAM::instance(), QStringLiteral("Command3"))->click();
        QVERIFY(!H_WRITE::isLoaded());
        QVERIFY(!H_PRN::isLoaded());
        QCOMPARE(EditMemoId, 0);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

        // Opened again, it starts afresh.
        w = HPrnWindow::open();
        QCOMPARE(w.form->searchSql(), QString());
        QCOMPARE(w.statement(), QStringLiteral("メモ帳"));
        QCOMPARE(w.gridIds().size(), 6);
        QCOMPARE(w.combo("DBCombo2")->text(), QString());
    }

    void fileOfTheCurrentMemo_data()
    {
        QTest::addColumn<QString>("keyword"); // searched for; "ない" finds nothing
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("keys");
        QTest::newRow("no current memo") << "ない"
                                         << "WINHLP32.EXE " << QStringList() << QStringList{"%I", "", "%D"};
        QTest::newRow("help viewer") << "印刷"
                                     << "WINHLP32.EXE /doc/印刷.hlp" << QStringList{"/doc/印刷.hlp"}
                                     << QStringList{"%I", "印刷", "%D"};
        QTest::newRow("registered program")
            << "罫線"
            << "/usr/bin/excel /doc/表 一覧.xls" << QStringList{"/doc/表 一覧.xls"} << QStringList();
        QTest::newRow("application not registered")
            << "差し込み印刷"
            << "WINHLP32.EXE " << QStringList() << QStringList{"%I", "差し込み印刷", "%D"};
        QTest::newRow("apostrophe in the keyword")
            << "don't"
            << "WINHLP32.EXE /doc/x.doc" << QStringList{"/doc/x.doc"} << QStringList{"%I", "don't", "%D"};
    }

    void fileOfTheCurrentMemo()
    {
        QFETCH(QString, keyword);
        QFETCH(QString, commandLine);
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, keys);
        const HPrnWindow w = HPrnWindow::open();
        w.search(keyword, QString(), QString());
        w.click("Command8");
        QCOMPARE(fakes->processStarter.started.size(), 1);
        QCOMPARE(fakes->processStarter.started[0].commandLine, commandLine);
        QCOMPARE(fakes->processStarter.started[0].arguments, arguments);
        QCOMPARE(fakes->keySender.keys(), keys);

        // The lookup stays in the path record set until the window is next activated.
        QVERIFY(w.data("Data5")->recordSource().startsWith(QStringLiteral("SELECT * FROM パス WHERE アプリＩＤ = ")));
        QVERIFY(comeBack(w.form));
        QCOMPARE(w.data("Data5")->recordSource(), QStringLiteral("SELECT * FROM パス WHERE 0 <= ID "));
        QCOMPARE(w.data("Data5")->recordCount(), 1);
    }

    void helpButtonPressesF1()
    {
        const HPrnWindow w = HPrnWindow::open();
        w.click("Command4");
        QCOMPARE(fakes->keySender.keys(), QStringList{"{F1}"});
    }
};

ORV_TEST_MAIN(TestHPrnWindows)
#include "tst_h_prn_windows.moc"
