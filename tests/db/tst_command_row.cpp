#include "db/Binding.h"
#include "db/Catalogue.h"
#include "db/CommandRow.h"
#include "db/RecordSet.h"
#include "platform/AppInfo.h"
#include "platform/ComboBox.h"
#include "support/TestMain.h"
#include "support/WindowTestFixture.h"

#include <QHash>
#include <QLabel>

// The command row on the table of registered applications, with an ID label and a bound
// combo box as the registration window has them; its list refresh only counts its runs.
class TestCommandRow : public WindowTestFixture
{
    Q_OBJECT

private:
    std::unique_ptr<QWidget> window;
    RecordSet* main = nullptr;
    QLabel* idLabel = nullptr;
    ComboBox* appId = nullptr;
    std::unique_ptr<CommandRow> row;
    int listRuns = 0;

    void open(int records)
    {
        for (int i = 1; i <= records; ++i)
            book->addApplication(QStringLiteral("APP%1").arg(i), QStringLiteral("/usr/bin/app%1").arg(i));
        window = std::make_unique<QWidget>();
        main = new RecordSet(QStringLiteral("Data1"), window.get());
        main->setDatabaseName(book->dbPath());
        main->setRecordSource(Catalogue::AllApplications);
        QVERIFY(main->refresh());
        idLabel = new QLabel(window.get());
        appId = new ComboBox(window.get());
        new Binding(main, QStringLiteral("ID"), idLabel);
        new Binding(main, QStringLiteral("アプリＩＤ"), appId);
        listRuns = 0;
        row = std::make_unique<CommandRow>(main, [this] { ++listRuns; });
    }
    QString ids()
    {
        return book->scalar(QStringLiteral("SELECT group_concat(quote(アプリＩＤ)) FROM パス")).toString();
    }

private Q_SLOTS:
    void init() { QVERIFY(setUp()); }

    void cleanup()
    {
        window.reset(); // closes the record sets before the file goes
        tearDown();
    }

    // Moves stop at both ends; add and delete end on a record where there is one. A command
    // that ends on a record reads the lists again; the others end silently.
    void commands_data()
    {
        QTest::addColumn<int>("records");
        QTest::addColumn<QString>("commands");
        QTest::addColumn<int>("listRuns");
        QTest::addColumn<QString>("shown"); // the current ID after each command, "-" for none
        QTest::newRow("moves stop at the ends") << 3 << "previous last next previous first next" << 6 << "1 3 3 2 1 2";
        QTest::newRow("moves on an empty set") << 0 << "first previous next last" << 0 << "- - - -";
        QTest::newRow("add on an empty set") << 0 << "add add" << 2 << "1 2";
        QTest::newRow("delete the first") << 3 << "delete" << 1 << "2";
        QTest::newRow("delete the last") << 3 << "last delete" << 2 << "3 2";
        QTest::newRow("delete the only one") << 1 << "delete" << 0 << "-";
    }

    void commands()
    {
        QFETCH(int, records);
        QFETCH(QString, commands);
        open(records);
        const QHash<QString, void (CommandRow::*)()> command = {
            {"first", &CommandRow::first}, {"previous", &CommandRow::previous}, {"next", &CommandRow::next},
            {"last", &CommandRow::last},   {"add", &CommandRow::add},           {"delete", &CommandRow::deleteRecord}};
        QStringList shown;
        for (const QString& name : commands.split(' ')) {
            if (name == "delete")
                fakes->messageBox.answers.enqueue(MessageBox::Answer::Yes);
            (row.get()->*command.value(name))();
            shown.append(idLabel->text().isEmpty() ? QStringLiteral("-") : idLabel->text());
        }
        QTEST(shown.join(' '), "shown");
        QTEST(listRuns, "listRuns");
        QCOMPARE(book->count(QStringLiteral("パス")), records + commands.count("add") - commands.count("delete"));
    }

    // Cancel drops the typing; save reads the lists again even with nothing to store; add
    // stores the typing of the record before and shows the new, empty record.
    void cancelSaveAndAdd()
    {
        open(1);
        appId->setText(QStringLiteral("typed"));
        row->cancel();
        QCOMPARE(appId->text(), QStringLiteral("APP1"));
        QCOMPARE(listRuns, 0);
        row->save();
        QCOMPARE(ids(), QStringLiteral("'APP1'"));
        QCOMPARE(listRuns, 1);
        appId->setText(QStringLiteral("NEWAPP"));
        row->save();
        QCOMPARE(ids(), QStringLiteral("'NEWAPP'"));
        QCOMPARE(listRuns, 2);
        appId->setText(QStringLiteral("typed"));
        row->add();
        QCOMPARE(ids(), QStringLiteral("'typed',NULL"));
        QCOMPARE(idLabel->text(), QStringLiteral("2"));
        QCOMPARE(appId->text(), QString());
    }

    // A refused save or add, or a delete answered No: the typing stays, nothing else changes.
    void messages_data()
    {
        QTest::addColumn<MessageBox::Icon>("icon");
        QTest::addColumn<MessageBox::Buttons>("buttons");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("title");
        QTest::newRow("save") << MessageBox::Icon::Exclamation << MessageBox::Buttons::Ok
                              << "前の「▼」入力が正常に出来なかったので\r\nもう一度やり直して下さい。\r\n"
                                 "何かデータを入力するか取消すか一度終了して下さい。"
                              << AppInfo::Title;
        QTest::newRow("add") << MessageBox::Icon::Exclamation << MessageBox::Buttons::Ok
                             << "正常に追加出来なかったので\r\nもう一度やり直して下さい。" << AppInfo::Title;
        QTest::newRow("delete") << MessageBox::Icon::Question << MessageBox::Buttons::YesNo << "データを削除しますか？"
                                << "選択表示";
    }

    void messages()
    {
        QFETCH(MessageBox::Buttons, buttons);
        const QString command = QString::fromLatin1(QTest::currentDataTag());
        open(2);
        // A text too long for the field is refused by the file; so is any new record.
        const QString typed = command == "save" ? QString(256, QLatin1Char('x')) : QStringLiteral("APP1");
        appId->setText(typed);
        book->exec(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON パス BEGIN SELECT RAISE(ABORT, 'no'); END"));
        const bool question = buttons == MessageBox::Buttons::YesNo;
        fakes->messageBox.answers.enqueue(question ? MessageBox::Answer::No : MessageBox::Answer::Ok);
        command == "save" ? row->save() : command == "add" ? row->add() : row->deleteRecord();
        const MessageBox::Request asked = fakes->messageBox.asked.value(0);
        QTEST(asked.icon, "icon");
        QCOMPARE(asked.buttons, buttons);
        QTEST(asked.text, "text");
        QTEST(asked.title, "title");
        QCOMPARE(asked.defaultAnswer, question ? MessageBox::Answer::Yes : MessageBox::Answer::Ok);
        QCOMPARE(appId->text(), typed);
        QCOMPARE(ids(), QStringLiteral("'APP1','APP2'"));
        QCOMPARE(idLabel->text(), QStringLiteral("1"));
        QCOMPARE(listRuns, 0);
    }
};

ORV_TEST_MAIN(TestCommandRow)
#include "tst_command_row.moc"
