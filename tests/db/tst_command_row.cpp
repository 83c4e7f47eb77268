#include "db/Binding.h"
#include "db/Catalogue.h"
#include "db/CommandRow.h"
#include "db/Messages.h"
#include "db/RecordSet.h"
#include "platform/AppInfo.h"
#include "platform/ComboBox.h"
#include "support/TestMain.h"
#include "support/WindowTestFixture.h"

#include <QLabel>

// The command row on the table of registered applications, with an ID label, a bound
// combo box and one list, as the registration window has them.
class TestCommandRow : public WindowTestFixture
{
    Q_OBJECT

private:
    std::unique_ptr<QWidget> window;
    RecordSet* main = nullptr;
    RecordSet* list = nullptr;
    QLabel* idLabel = nullptr;
    ComboBox* appId = nullptr;
    std::unique_ptr<CommandRow> row;
    int listRuns = 0;

    void open()
    {
        window = std::make_unique<QWidget>();
        main = new RecordSet(QStringLiteral("Data1"), window.get());
        list = new RecordSet(QStringLiteral("Data3"), window.get());
        for (RecordSet* rs : {main, list})
            rs->setDatabaseName(book->dbPath());
        main->setRecordSource(Catalogue::AllApplications);
        list->setRecordSource(Catalogue::AppIdList);
        QVERIFY(main->refresh());
        QVERIFY(list->refresh());
        idLabel = new QLabel(window.get());
        appId = new ComboBox(window.get());
        new Binding(main, QStringLiteral("ID"), idLabel);
        new Binding(main, QStringLiteral("アプリＩＤ"), appId);
        new ListBinding(list, QStringLiteral("アプリＩＤ"), appId);
        listRuns = 0;
        row = std::make_unique<CommandRow>(main, [this] {
            ++listRuns;
            list->refresh();
        });
    }

    void addApps(int n)
    {
        for (int i = 1; i <= n; ++i)
            book->addApplication(QStringLiteral("APP%1").arg(i), QStringLiteral("/usr/bin/app%1").arg(i));
    }

private Q_SLOTS:
    void init() { QVERIFY(setUp()); }

    void cleanup()
    {
        row.reset();
        window.reset();
        tearDown();
    }

    void movesStopAtBothEndsAndRereadTheLists()
    {
        addApps(3);
        open();
        row->previous();
        QCOMPARE(idLabel->text(), QStringLiteral("1"));
        QCOMPARE(listRuns, 1);
        row->last();
        row->next();
        QCOMPARE(idLabel->text(), QStringLiteral("3"));
        row->previous();
        QCOMPARE(idLabel->text(), QStringLiteral("2"));
        row->first();
        QCOMPARE(idLabel->text(), QStringLiteral("1"));
        QCOMPARE(listRuns, 5);
        QVERIFY(fakes->messageBox.asked.isEmpty());
    }

    void movesOnAnEmptySetDoNothing()
    {
        open();
        row->first();
        row->previous();
        row->next();
        row->last();
        QCOMPARE(listRuns, 0);
        QCOMPARE(idLabel->text(), QString());
        QVERIFY(fakes->messageBox.asked.isEmpty());
    }

    void addOnAnEmptySetEndsOnTheNewRecord()
    {
        open();
        row->add();
        QCOMPARE(book->count(QStringLiteral("パス")), 1);
        QCOMPARE(idLabel->text(), book->scalar(QStringLiteral("SELECT ID FROM パス")).toString());
        QCOMPARE(listRuns, 1);
        row->add();
        QCOMPARE(book->count(QStringLiteral("パス")), 2);
        QCOMPARE(idLabel->text(), book->scalar(QStringLiteral("SELECT max(ID) FROM パス")).toString());
    }

    void addStoresPendingEditsOfTheRecordBefore()
    {
        addApps(1);
        open();
        appId->setText(QStringLiteral("typed"));
        row->add();
        QCOMPARE(book->scalar(QStringLiteral("SELECT アプリＩＤ FROM パス WHERE ID = 1")).toString(),
                 QStringLiteral("typed"));
        QCOMPARE(appId->text(), QString());
        QCOMPARE(idLabel->text(), QStringLiteral("2"));
    }

    void saveOffersTheNewValueInTheListAtOnce()
    {
        addApps(1);
        open();
        appId->setText(QStringLiteral("NEWAPP"));
        QVERIFY(!appId->listItems().contains(QStringLiteral("NEWAPP")));
        row->save();
        QCOMPARE(book->scalar(QStringLiteral("SELECT アプリＩＤ FROM パス")).toString(), QStringLiteral("NEWAPP"));
        QVERIFY(appId->listItems().contains(QStringLiteral("NEWAPP")));
        QCOMPARE(idLabel->text(), QStringLiteral("1"));
    }

    void saveWithNothingChangedRereadsTheLists()
    {
        addApps(1);
        open();
        book->addApplication(QStringLiteral("OTHER"), QString());
        row->save();
        QCOMPARE(listRuns, 1);
        QVERIFY(appId->listItems().contains(QStringLiteral("OTHER")));
        QCOMPARE(book->scalar(QStringLiteral("SELECT アプリＩＤ FROM パス WHERE ID = 1")).toString(),
                 QStringLiteral("APP1"));
    }

    void refusedSaveShowsTheMessageAndKeepsTheTyping()
    {
        addApps(1);
        open();
        const QString tooLong(256, QLatin1Char('x'));
        appId->setText(tooLong);
        fakes->messageBox.answers.enqueue(MessageBox::Answer::Ok);
        row->save();
        QCOMPARE(fakes->messageBox.asked.size(), 1);
        const MessageBox::Request& asked = fakes->messageBox.asked.first();
        QCOMPARE(asked.text, QStringLiteral("前の「▼」入力が正常に出来なかったので\r\nもう一度やり直して下さい。\r\n"
                                            "何かデータを入力するか取消すか一度終了して下さい。"));
        QCOMPARE(asked.title, AppInfo::Title);
        QCOMPARE(asked.icon, MessageBox::Icon::Exclamation);
        QCOMPARE(asked.buttons, MessageBox::Buttons::Ok);
        QCOMPARE(appId->text(), tooLong);
        QCOMPARE(listRuns, 0);
        QCOMPARE(book->scalar(QStringLiteral("SELECT アプリＩＤ FROM パス")).toString(), QStringLiteral("APP1"));
    }

    void refusedAddShowsTheAddMessage()
    {
        addApps(1);
        open();
        book->exec(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON パス BEGIN SELECT RAISE(ABORT, 'no'); END"));
        fakes->messageBox.answers.enqueue(MessageBox::Answer::Ok);
        row->add();
        QCOMPARE(fakes->messageBox.asked.value(0).text,
                 QStringLiteral("正常に追加出来なかったので\r\nもう一度やり直して下さい。"));
        QCOMPARE(fakes->messageBox.asked.value(0).icon, MessageBox::Icon::Exclamation);
        QCOMPARE(book->count(QStringLiteral("パス")), 1);
        QCOMPARE(idLabel->text(), QStringLiteral("1"));
    }

    void cancelRestoresAndDoesNotRereadTheLists()
    {
        addApps(1);
        open();
        appId->setText(QStringLiteral("typed"));
        row->cancel();
        QCOMPARE(appId->text(), QStringLiteral("APP1"));
        QCOMPARE(listRuns, 0);
        row->next();
        QCOMPARE(book->scalar(QStringLiteral("SELECT アプリＩＤ FROM パス")).toString(), QStringLiteral("APP1"));
    }

    void deleteAnsweredNoChangesNothing()
    {
        addApps(2);
        open();
        fakes->messageBox.answers.enqueue(MessageBox::Answer::No);
        row->deleteRecord();
        const MessageBox::Request& asked = fakes->messageBox.asked.value(0);
        QCOMPARE(asked.text, QStringLiteral("データを削除しますか？"));
        QCOMPARE(asked.title, QStringLiteral("選択表示"));
        QCOMPARE(asked.icon, MessageBox::Icon::Question);
        QCOMPARE(asked.buttons, MessageBox::Buttons::YesNo);
        QCOMPARE(asked.defaultAnswer, MessageBox::Answer::Yes);
        QCOMPARE(book->count(QStringLiteral("パス")), 2);
        QCOMPARE(listRuns, 0);
        QCOMPARE(idLabel->text(), QStringLiteral("1"));
    }

    void deleteMakesTheNextRecordCurrent_data()
    {
        QTest::addColumn<int>("apps");
        QTest::addColumn<int>("deleteRow");
        QTest::addColumn<QString>("currentAfter");
        QTest::addColumn<int>("listRunsAfter");
        QTest::newRow("first") << 3 << 0 << "2" << 1;
        QTest::newRow("last") << 3 << 2 << "2" << 1;
        QTest::newRow("the only one") << 1 << 0 << "" << 0;
    }

    void deleteMakesTheNextRecordCurrent()
    {
        QFETCH(int, apps);
        QFETCH(int, deleteRow);
        addApps(apps);
        open();
        QVERIFY(main->moveTo(deleteRow));
        fakes->messageBox.answers.enqueue(MessageBox::Answer::Yes);
        row->deleteRecord();
        QCOMPARE(book->count(QStringLiteral("パス")), apps - 1);
        QTEST(idLabel->text(), "currentAfter");
        QTEST(listRuns, "listRunsAfter");
        QCOMPARE(fakes->messageBox.asked.size(), 1);
    }

    void helpPressesF1()
    {
        CommandRow::help();
        QCOMPARE(fakes->keySender.keys(), QStringList{QStringLiteral("{F1}")});
    }
};

ORV_TEST_MAIN(TestCommandRow)
#include "tst_command_row.moc"
