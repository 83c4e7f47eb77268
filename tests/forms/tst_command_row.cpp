#include "core/AppInfo.h"
#include "db/Catalogue.h"
#include "db/RecordSet.h"
#include "forms/Binding.h"
#include "forms/CommandRow.h"
#include "support/Locks.h"
#include "support/TestMain.h"
#include "support/WindowTestFixture.h"
#include "widgets/ComboBox.h"

#include <QElapsedTimer>
#include <QHash>
#include <QLabel>
#include <QPushButton>

// The command row on the table of registered applications, with an ID label and a bound
// combo box as the registration window has them; its list refresh only counts its runs.
class TestCommandRow : public WindowTestFixture
{
    Q_OBJECT

private:
    std::unique_ptr<QWidget> window;
    QLabel* idLabel = nullptr;
    ComboBox* appId = nullptr;
    std::unique_ptr<CommandRow> row;
    int listRuns = 0;

    void open(int records)
    {
        for (int i = 1; i <= records; ++i)
            book->addApplication(QStringLiteral("A%1").arg(i), QStringLiteral("/usr/bin/app%1").arg(i));
        window = std::make_unique<QWidget>();
        auto* main = new RecordSet(QStringLiteral("Data1"), window.get());
        main->setDatabaseName(book->dbPath());
        main->setRecordSource(Catalogue::AllApplications);
        QVERIFY(main->refresh());
        new Binding(main, QStringLiteral("ID"), idLabel = new QLabel(window.get()));
        new Binding(main, QStringLiteral("アプリＩＤ"), appId = new ComboBox(window.get()));
        row = std::make_unique<CommandRow>(main, [this] { ++listRuns; });
    }
    // The stored application IDs, then the shown ID and application ID, and the list reads.
    QString state()
    {
        const QString ids = book->scalar(QStringLiteral("SELECT group_concat(quote(アプリＩＤ)) FROM パス")).toString();
        return QStringLiteral("%1 %2:%3 lists %4").arg(ids, idLabel->text(), appId->text()).arg(listRuns);
    }

private Q_SLOTS:
    // A click and all it sets off wait for another program's lock at most the timeout in
    // all, under one busy cursor: the application makes each event it hands on one action.
    void aClickWaitsForALockOnceInAll()
    {
        open(2);
        auto* button = new QPushButton(window.get());
        RecordSet* data = window->findChild<RecordSet*>(QStringLiteral("Data1"));
        QList<bool> indications;
        BusyWaitFor waiting(300, &indications);
        Lock lock(book->dbPath());
        QVERIFY(lock.isHeld());
        qint64 elapsed = -1;
        QObject::connect(button, &QPushButton::clicked, [&] {
            QElapsedTimer action;
            action.start();
            (void)data->moveNext();
            (void)data->refresh();
            elapsed = action.elapsed();
        });
        window->show();
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY2(elapsed >= 250 && elapsed < 500, qPrintable(QString::number(elapsed)));
        QCOMPARE(indications, (QList<bool>{true, false}));
    }

    void init() { QVERIFY(setUp()); }

    void cleanup() { window.reset(), listRuns = 0, tearDown(); } // the record sets close before the file goes

    // Moves stop at both ends; add and delete end on a record where there is one. A command that ends
    // on a record reads the lists again; cancel ends silently. Save and add store the typing ("=text").
    void commands_data()
    {
        QTest::addColumn<int>("records");
        QTest::addColumn<QString>("commands");
        QTest::addColumn<QString>("shown"); // the current ID after each step, "-" for none
        QTest::addColumn<QString>("state");
        auto row = [](auto t, int r, auto c, auto sh, auto st) { QTest::newRow(t) << r << c << sh << st; };
        row("moves stop at ends", 3, "previous last next previous first", "1 3 3 2 1", "'A1','A2','A3' 1:A1 lists 5");
        row("empty set, then add", 0, "first previous next last add add", "- - - - 1 2", "NULL,NULL 2: lists 2");
        row("delete the first, then the last", 3, "delete last delete", "2 3 2", "'A2' 2:A2 lists 3");
        row("delete the only one", 1, "delete", "-", " : lists 0");
        row("delete a middle one", 3, "next delete", "2 3", "'A1','A3' 3:A3 lists 2");
        row("cancel drops the typing", 1, "=typed cancel", "1 1", "'A1' 1:A1 lists 0");
        row("save, then save the typing", 1, "save =NEWAPP save", "1 1 1", "'NEWAPP' 1:NEWAPP lists 2");
        row("add stores the typing", 1, "=typed add", "1 2", "'typed',NULL 2: lists 1");
    }

    void commands()
    {
        QFETCH(int, records);
        QFETCH(QString, commands);
        open(records);
        const QHash<QString, void (CommandRow::*)()> command = {
            {"first", &CommandRow::first}, {"previous", &CommandRow::previous}, {"next", &CommandRow::next},
            {"last", &CommandRow::last},   {"add", &CommandRow::add},           {"delete", &CommandRow::deleteRecord},
            {"save", &CommandRow::save},   {"cancel", &CommandRow::cancel}};
        fakes->messageBox.answers.fill(MessageBox::Answer::Yes, commands.count("delete"));
        QStringList shown;
        for (const QString& name : commands.split(' ')) {
            name.startsWith('=') ? appId->setText(name.mid(1)) : (row.get()->*command.value(name))();
            shown.append(idLabel->text().isEmpty() ? QStringLiteral("-") : idLabel->text());
        }
        QTEST(shown.join(' '), "shown");
        QTEST(state(), "state");
    }

    // A refused save or add, or a delete answered No: the typing stays, nothing else changes.
    void messages_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("save") << "前の「▼」入力が正常に出来なかったので\r\nもう一度やり直して下さい。\r\n"
                                 "何かデータを入力するか取消すか一度終了して下さい。";
        QTest::newRow("add") << "正常に追加出来なかったので\r\nもう一度やり直して下さい。";
        QTest::newRow("delete") << "データを削除しますか？";
    }

    void messages()
    {
        const QString command = QString::fromLatin1(QTest::currentDataTag());
        const bool question = command == "delete";
        open(2);
        // A text too long for the field is refused by the file; so is any new record.
        const QString typed = command == "save" ? QString(256, QLatin1Char('x')) : QStringLiteral("A1");
        appId->setText(typed);
        book->exec(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON パス BEGIN SELECT RAISE(ABORT, 'no'); END"));
        fakes->messageBox.answers.enqueue(question ? MessageBox::Answer::No : MessageBox::Answer::Ok);
        command == "save" ? row->save() : command == "add" ? row->add() : row->deleteRecord();
        const MessageBox::Request asked = fakes->messageBox.asked.value(0);
        QCOMPARE(asked.icon, question ? MessageBox::Icon::Question : MessageBox::Icon::Exclamation);
        QCOMPARE(asked.buttons, question ? MessageBox::Buttons::YesNo : MessageBox::Buttons::Ok);
        QCOMPARE(asked.defaultAnswer, question ? MessageBox::Answer::Yes : MessageBox::Answer::Ok);
        QTEST(asked.text, "text");
        QCOMPARE(asked.title, question ? QStringLiteral("選択表示") : AppInfo::Title);
        QCOMPARE(state(), "'A1','A2' 1:" + typed + " lists 0");
    }
};

ORV_TEST_MAIN(TestCommandRow)
#include "tst_command_row.moc"
