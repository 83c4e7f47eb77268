// The entry window's record handling: what it opens on, adds, keeps and stores.
#include "HWriteFixture.h"

#include "db/Catalogue.h"
#include "db/Messages.h"
#include "startup/Globals.h"
#include "startup/ORVAM.h"
#include "support/TestMain.h"

class TestHWriteRecords : public HWriteTestFixture
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QVERIFY(setUp()); }

    void cleanup() { tearDown(); }

    void openOnEmptyTableStartsANewMemo()
    {
        HWriteWindow w = HWriteWindow::open();

        QCOMPARE(book->count(QStringLiteral("メモ帳")), 1);
        const qint64 id = book->scalar(QStringLiteral("SELECT ID FROM メモ帳")).toLongLong();
        QCOMPARE(w.label1()->text(), QString::number(id));
        QCOMPARE(stored(id, QStringLiteral("日付")).toString(), QStringLiteral("2026/12/06"));
        for (const char* field : {"メモ", "ｷｰﾜｰﾄﾞ", "検索キー１", "検索キー２", "予備１", "ヘルプファイル"})
            QVERIFY2(stored(id, QString::fromUtf8(field)).toString().isEmpty(), field);
        QCOMPARE(w.text("Text1")->text(), QStringLiteral("2026/12/06"));
        QCOMPARE(w.text("Text3")->text(), QStringLiteral("2026年12月6日"));
        QCOMPARE(w.form->addInProgress(), 0);
        QVERIFY(hasFocus(w.memo()));
        QVERIFY(fakes->messageBox.asked.isEmpty());
        // Placed at 1000, 100 twips.
        QCOMPARE(w.form->pos(), QPoint(67, 7));
    }

    void openOnMemosShowsTheFirstAndAddsNothing()
    {
        const qint64 first = book->addMemo({"2024/05/01", "/doc/a.txt", "印刷", "余白", "A4", "XL", "一行目\n二行目"});
        book->addMemo({"2024/06/01", "", "保存", "", "", "", "二件目"});
        HWriteWindow w = HWriteWindow::open();

        QCOMPARE(book->count(QStringLiteral("メモ帳")), 2);
        QCOMPARE(w.id(), first);
        QCOMPARE(w.memo()->text(), QStringLiteral("一行目\n二行目"));
        QCOMPARE(w.combo("DBCombo1")->text(), QStringLiteral("印刷"));
        QCOMPARE(w.combo("DBCombo4")->text(), QStringLiteral("余白"));
        QCOMPARE(w.combo("DBCombo2")->text(), QStringLiteral("A4"));
        QCOMPARE(w.combo("DBCombo7")->text(), QStringLiteral("XL"));
        QCOMPARE(w.text("Text4")->text(), QStringLiteral("/doc/a.txt"));
        QCOMPARE(w.text("Text3")->text(), QStringLiteral("2024年5月1日"));
        QVERIFY(w.combo("DBCombo1")->listItems().contains(QStringLiteral("保存")));
        QCOMPARE(w.data("Data1")->recordSource(), Catalogue::AllMemosForEntry);
        QVERIFY(hasFocus(w.memo()));
    }

    void correctionMode_data()
    {
        QTest::addColumn<bool>("exists");
        QTest::newRow("existing memo") << true;
        QTest::newRow("missing memo") << false;
    }

    void correctionMode()
    {
        QFETCH(bool, exists);
        const qint64 first = book->addMemo({"2024/05/01", "", "印刷", "", "", "", "一件目"});
        const qint64 second = book->addMemo({"2024/06/01", "", "保存", "鍵", "", "", "二件目"});
        EditMemoId = exists ? second : second + 100;
        HWriteWindow w = HWriteWindow::open();

        QCOMPARE(w.data("Data1")->recordSource(),
                 QStringLiteral("SELECT * FROM メモ帳 WHERE ID =  ") + QString::number(EditMemoId));
        // The lists offer the values of all memos, not only of the one corrected.
        QCOMPARE(w.combo("DBCombo1")->listItems().contains(QStringLiteral("印刷")), true);
        QCOMPARE(w.combo("DBCombo4")->listItems().contains(QStringLiteral("鍵")), true);
        if (exists) {
            QCOMPARE(w.id(), second);
            QCOMPARE(w.memo()->text(), QStringLiteral("二件目"));
            QCOMPARE(book->count(QStringLiteral("メモ帳")), 2);
        } else {
            // A memo that is gone: the window starts a new one.
            QCOMPARE(book->count(QStringLiteral("メモ帳")), 3);
            QVERIFY(w.id() > second);
            QCOMPARE(stored(w.id(), QStringLiteral("日付")).toString(), QStringLiteral("2026/12/06"));
        }
        // The moves stay within the memo opened (and those added since).
        const qint64 shown = w.id();
        w.click("Command3");
        QCOMPARE(w.id(), shown);
        QVERIFY(w.id() != first);
    }

    void showingAgainKeepsTheFirstLoad()
    {
        const qint64 first = book->addMemo({"2024/05/01", "", "印刷", "", "", "", "一件目"});
        const qint64 second = book->addMemo({"2024/06/01", "", "保存", "", "", "", "二件目"});
        HWriteWindow w = HWriteWindow::open();
        QCOMPARE(w.id(), first);

        EditMemoId = second;
        HWriteWindow again = HWriteWindow::open();
        QCOMPARE(again.form, w.form);
        QCOMPARE(w.data("Data1")->recordSource(), Catalogue::AllMemosForEntry);
        QCOMPARE(w.id(), first);
        w.click("Command6");
        QCOMPARE(w.id(), second);
    }

    void twoAddsStoreTwoDatedMemos()
    {
        book->addMemo({"2024/05/01", "", "印刷", "", "", "", "一件目"});
        HWriteWindow w = HWriteWindow::open();
        retype(w.combo("DBCombo1"), QStringLiteral("新しい語"));

        w.click("Command9");
        const qint64 firstAdded = w.id();
        w.click("Command9");
        const qint64 secondAdded = w.id();

        QCOMPARE(book->count(QStringLiteral("メモ帳")), 3);
        QVERIFY(secondAdded > firstAdded);
        QCOMPARE(stored(firstAdded, QStringLiteral("日付")).toString(), QStringLiteral("2026/12/06"));
        QCOMPARE(stored(secondAdded, QStringLiteral("日付")).toString(), QStringLiteral("2026/12/06"));
        QVERIFY(stored(secondAdded, QStringLiteral("メモ")).isNull());
        // The keyword typed before the add was stored with the first memo and is listed.
        QCOMPARE(book->scalar(QStringLiteral("SELECT count(*) FROM メモ帳 WHERE ｷｰﾜｰﾄﾞ = '新しい語'")).toInt(), 1);
        QVERIFY(w.combo("DBCombo1")->listItems().contains(QStringLiteral("新しい語")));
        QVERIFY(w.combo("DBCombo1")->text().isEmpty());
        QCOMPARE(w.text("Text3")->text(), QStringLiteral("2026年12月6日"));
        QVERIFY(hasFocus(w.memo()));
        // The new memos are the last records of the window's record set.
        w.click("Command4");
        QCOMPARE(w.id(), firstAdded);
    }

    void unsavedTypingIsStoredOnClose_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("exit button") << "Command11";
        QTest::newRow("close box") << "close";
        QTest::newRow("main window's exit") << "ORVAM";
        QTest::newRow("program ends with the window open") << "destroy";
    }

    void unsavedTypingIsStoredOnClose()
    {
        QFETCH(QString, how);
        const qint64 id = book->addMemo({"2024/05/01", "", "", "", "", "", ""});
        ORVAM* main = nullptr;
        if (how == QLatin1String("ORVAM")) {
            main = ORVAM::instance();
            main->showForm();
        }
        HWriteWindow w = HWriteWindow::open();
        typeText(w.memo(), QStringLiteral("まだ保存していないメモ"));
        retype(w.combo("DBCombo4"), QStringLiteral("鍵'1"));
        retype(w.text("Text4"), QStringLiteral("/文書/説明 書.pdf"));

        if (how == QLatin1String("Command11"))
            w.click("Command11");
        else if (how == QLatin1String("close"))
            w.form->close();
        else if (how == QLatin1String("destroy"))
            delete w.form;
        else
            findRequired<QAbstractButton>(main, QStringLiteral("Command3"))->click();

        QVERIFY(!H_WRITE::isLoaded());
        QCOMPARE(stored(id, QStringLiteral("メモ")).toString(), QStringLiteral("まだ保存していないメモ"));
        QCOMPARE(stored(id, QStringLiteral("検索キー１")).toString(), QStringLiteral("鍵'1"));
        QCOMPARE(stored(id, QStringLiteral("ヘルプファイル")).toString(), QStringLiteral("/文書/説明 書.pdf"));
        QCOMPARE(stored(id, QStringLiteral("日付")).toString(), QStringLiteral("2024/05/01"));
    }

    void deletingTheOnlyMemoThenComingBackAddsOne()
    {
        book->addMemo({"2024/05/01", "", "印刷", "", "", "", "一件目"});
        ORVAM* main = ORVAM::instance();
        main->showForm();
        HWriteWindow w = HWriteWindow::open();

        fakes->messageBox.answers.enqueue(MessageBox::Answer::Yes);
        w.click("Command10");
        QCOMPARE(fakes->messageBox.asked.size(), 1);
        QCOMPARE(fakes->messageBox.asked.last().text, Messages::DeleteQuestion);
        QCOMPARE(book->count(QStringLiteral("メモ帳")), 0);
        QVERIFY(w.label1()->text().isEmpty());
        QVERIFY(w.memo()->text().isEmpty());
        // The delete ended at its failed move: the lists were not re-read.
        QVERIFY(w.combo("DBCombo1")->listItems().contains(QStringLiteral("印刷")));

        QVERIFY(activate(main));
        QVERIFY(activate(w.form));
        QCOMPARE(book->count(QStringLiteral("メモ帳")), 1);
        QVERIFY(!w.label1()->text().isEmpty());
        QCOMPARE(stored(w.id(), QStringLiteral("日付")).toString(), QStringLiteral("2026/12/06"));
        QVERIFY(hasFocus(w.memo()));
    }

    void helpButtonPressesF1()
    {
        HWriteWindow w = HWriteWindow::open();
        w.click("Command1");
        QCOMPARE(fakes->keySender.keys(), QStringList{QStringLiteral("{F1}")});
    }

    void deleteAnsweredNoChangesNothing()
    {
        const qint64 id = book->addMemo({"2024/05/01", "", "印刷", "", "", "", "一件目"});
        HWriteWindow w = HWriteWindow::open();
        fakes->messageBox.answers.enqueue(MessageBox::Answer::No);
        w.click("Command10");
        QCOMPARE(book->count(QStringLiteral("メモ帳")), 1);
        QCOMPARE(w.id(), id);
    }

    void cancelDropsTyping()
    {
        const qint64 id = book->addMemo({"2024/05/01", "", "印刷", "", "", "", "一件目"});
        HWriteWindow w = HWriteWindow::open();
        retype(w.combo("DBCombo1"), QStringLiteral("取り消す語"));
        typeText(w.memo(), QStringLiteral("追記"));
        w.click("Command8");
        QCOMPARE(w.combo("DBCombo1")->text(), QStringLiteral("印刷"));
        QCOMPARE(w.memo()->text(), QStringLiteral("一件目"));
        w.form->close();
        QCOMPARE(stored(id, QStringLiteral("ｷｰﾜｰﾄﾞ")).toString(), QStringLiteral("印刷"));
        QCOMPARE(stored(id, QStringLiteral("メモ")).toString(), QStringLiteral("一件目"));
    }

    void refusedWriteKeepsTheTyping_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("message");
        QTest::newRow("save") << "Command7" << Messages::SaveFailure;
        QTest::newRow("into the memo box") << "Text2" << Messages::SaveFailure;
        QTest::newRow("into the date box") << "Text3" << Messages::SaveFailureDateBox;
    }

    void refusedWriteKeepsTheTyping()
    {
        QFETCH(QString, how);
        QFETCH(QString, message);
        const qint64 id = book->addMemo({"2024/05/01", "", "印刷", "", "", "", "一件目"});
        HWriteWindow w = HWriteWindow::open();
        w.get("Command7")->setFocus();
        retype(w.combo("DBCombo1"), QStringLiteral("拒まれる語"));
        book->exec(
            QStringLiteral("CREATE TRIGGER refuse BEFORE UPDATE ON メモ帳 BEGIN SELECT RAISE(ABORT, 'refused'); END"));

        fakes->messageBox.answers.enqueue(MessageBox::Answer::Ok);
        if (how == QLatin1String("Command7"))
            w.click("Command7");
        else
            w.get(how.toUtf8().constData())->setFocus(Qt::MouseFocusReason);

        QCOMPARE(fakes->messageBox.asked.size(), 1);
        QCOMPARE(fakes->messageBox.asked.last().text, message);
        QCOMPARE(fakes->messageBox.asked.last().icon, MessageBox::Icon::Exclamation);
        QCOMPARE(w.combo("DBCombo1")->text(), QStringLiteral("拒まれる語"));
        QCOMPARE(w.id(), id);
        QCOMPARE(stored(id, QStringLiteral("ｷｰﾜｰﾄﾞ")).toString(), QStringLiteral("印刷"));

        // Once the database takes writes again, the typing is stored after all.
        book->exec(QStringLiteral("DROP TRIGGER refuse"));
        w.click("Command7");
        QCOMPARE(stored(id, QStringLiteral("ｷｰﾜｰﾄﾞ")).toString(), QStringLiteral("拒まれる語"));
    }

    void refusedWriteOnCloseStillCloses()
    {
        const qint64 id = book->addMemo({"2024/05/01", "", "印刷", "", "", "", "一件目"});
        HWriteWindow w = HWriteWindow::open();
        typeText(w.memo(), QStringLiteral("追記"));
        book->exec(
            QStringLiteral("CREATE TRIGGER refuse BEFORE UPDATE ON メモ帳 BEGIN SELECT RAISE(ABORT, 'refused'); END"));
        w.click("Command11");
        QVERIFY(!H_WRITE::isLoaded());
        QCOMPARE(w.form->addInProgress(), 0);
        QCOMPARE(stored(id, QStringLiteral("メモ")).toString(), QStringLiteral("一件目"));
    }

    void refusedAddShowsTheAddFailure()
    {
        const qint64 id = book->addMemo({"2024/05/01", "", "印刷", "", "", "", "一件目"});
        book->addMemo({"2024/06/01", "", "保存", "", "", "", "二件目"});
        HWriteWindow w = HWriteWindow::open();
        book->exec(
            QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON メモ帳 BEGIN SELECT RAISE(ABORT, 'refused'); END"));
        fakes->messageBox.answers.enqueue(MessageBox::Answer::Ok);
        w.click("Command9");
        QCOMPARE(fakes->messageBox.asked.size(), 1);
        QCOMPARE(fakes->messageBox.asked.last().text, Messages::AddFailure);
        QCOMPARE(book->count(QStringLiteral("メモ帳")), 2);
        QCOMPARE(w.id(), id);
        // The date box goes on following the records after the failed add.
        w.click("Command5");
        QCOMPARE(w.text("Text3")->text(), QStringLiteral("2024年6月1日"));
    }
};

ORV_TEST_MAIN(TestHWriteRecords)
#include "tst_h_write_records.moc"
