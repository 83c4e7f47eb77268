#include "tst_h_prn_fixture.h"

#include "help_registration/H_WRITE.h"
#include "startup/Globals.h"
#include "support/TestMain.h"

#include <QLabel>
#include <QPushButton>

// The typical use from the main window on: find a memo, open its file, correct it in the
// entry window, store the correction and come back to see it under the same search.
class TestHPrnRoad : public HPrnTestFixture
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        QVERIFY(setUpWithKnownMemos());
        book->addApplication(QStringLiteral("HLP"), QStringLiteral("/usr/bin/unused"));
    }

    void cleanup() { tearDownWithoutMessages(); }

    void searchOpenCorrectAndComeBack()
    {
        ORVAM* main = ORVAM::instance();
        QVERIFY(activate(main));
        findRequired<QPushButton>(main, QStringLiteral("Command2"))->click();
        QVERIFY(H_PRN::isLoaded());
        QVERIFY(QTest::qWaitForWindowActive(H_PRN::ifLoaded(), 2000));
        const HPrnWindow w{H_PRN::ifLoaded()};
        QCOMPARE(w.gridIds().size(), 6);
        QCOMPARE(w.combo("DBCombo1")->text(), QString());

        // A keyword picked from the list, then the search.
        ComboBox* keyword = w.combo("DBCombo1");
        keyword->setCurrentIndex(keyword->findText(QStringLiteral("印刷")));
        QCOMPARE(keyword->text(), QStringLiteral("印刷"));
        w.click("Command1");
        const QString search = QStringLiteral("SELECT * FROM メモ帳 WHERE ｷｰﾜｰﾄﾞ = '印刷' Order By ID");
        QCOMPARE(w.statement(), search);
        QCOMPARE(w.gridIds(), (QList<qint64>{1, 5}));
        QCOMPARE(w.memo(1)->text(), QStringLiteral("余白を変える"));

        // Its file, in the help viewer, driven to the keyword.
        w.click("Command8");
        QCOMPARE(fakes->processStarter.started.size(), 1);
        QCOMPARE(fakes->processStarter.started[0].commandLine, QStringLiteral("WINHLP32.EXE /doc/印刷.hlp"));
        QCOMPARE(fakes->keySender.keys(), (QStringList{"%I", "印刷", "%D"}));

        // Correction in the entry window.
        w.click("Command2");
        QCOMPARE(EditMemoId, 1);
        H_WRITE* entry = H_WRITE::ifLoaded();
        QVERIFY(entry);
        QVERIFY(QTest::qWaitForWindowActive(entry, 2000));
        QCOMPARE(findRequired<QLabel>(entry, QStringLiteral("Label1"))->text(), QStringLiteral("1"));
        findRequired<ComboBox>(entry, QStringLiteral("DBCombo2"))->setText(QStringLiteral("Word 2000"));
        findRequired<MemoBox>(entry, QStringLiteral("Text2"))->setText(QStringLiteral("余白は上下左右とも 20 mm"));
        findRequired<QPushButton>(entry, QStringLiteral("Command7"))->click();
        QCOMPARE(book->scalar(QStringLiteral("SELECT 検索キー２ FROM メモ帳 WHERE ID = 1")).toString(),
                 QStringLiteral("Word 2000"));

        // Back in the display window: the same search shows the correction.
        QVERIFY(activate(w.form));
        QCOMPARE(w.statement(), search);
        QCOMPARE(w.gridIds(), (QList<qint64>{1, 5}));
        QCOMPARE(w.cell(0, QStringLiteral("検索キー２")), QStringLiteral("Word 2000"));
        QCOMPARE(w.memo(1)->text(), QStringLiteral("余白は上下左右とも 20 mm"));
        QVERIFY(w.combo("DBCombo2")->listItems().contains(QStringLiteral("Word 2000")));
        QCOMPARE(keyword->text(), QStringLiteral("印刷"));

        // Done: both windows close, and nothing is handed over any more.
        w.click("Command3");
        QVERIFY(!H_PRN::isLoaded());
        QVERIFY(!H_WRITE::isLoaded());
        QCOMPARE(EditMemoId, 0);
        QVERIFY(main->isVisible());
    }
};

ORV_TEST_MAIN(TestHPrnRoad)
#include "tst_h_prn_road.moc"
