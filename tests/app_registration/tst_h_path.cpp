#include "app_registration/H_PATH.h"
#include "db/BusyWait.h"
#include "forms/BusyCursor.h"
#include "forms/DataGrid.h"
#include "forms/Messages.h"
#include "forms/StoreFailure.h"
#include "startup/ORVAM.h"
#include "support/Locks.h"
#include "support/TestMain.h"
#include "support/WindowTestFixture.h"
#include "widgets/ComboBox.h"

#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QThread>

#include <future>
#include <sqlite3.h>

// Another copy of the program in the middle of a save: holds the write lock for holdMs.
static std::future<void> holdWriteLock(const QString& path, int holdMs)
{
    sqlite3* db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    return std::async(std::launch::async, [db, holdMs] { QThread::msleep(holdMs), sqlite3_close(db); });
}

class TestH_PATH : public WindowTestFixture
{
    Q_OBJECT

private:
    H_PATH* w = nullptr;

    bool open() { return (w = H_PATH::instance(book->session))->showForm(), activate(w); }
    ComboBox* idCombo() const { return findRequired<ComboBox>(w, QStringLiteral("DBCombo2")); }
    DataGrid* grid() const { return findRequired<DataGrid>(w, QStringLiteral("DBGrid1")); }
    void click(const QString& name) const { QTest::mouseClick(findRequired<QAbstractButton>(w, name), Qt::LeftButton); }
    // The records as "'path' 'app ID'" in ID order; quote() keeps NULL apart from ''.
    QString table()
    {
        return book->scalar("SELECT group_concat(quote(パス) || ' ' || quote(アプリＩＤ), ', ') FROM パス").toString();
    }

private Q_SLOTS:
    void init() { QVERIFY(setUp()); }
    void cleanup() { tearDown(); }

    // On an empty table, and after the delete of the only record, activation adds one.
    void activationAddsRecordWhenThereIsNone()
    {
        QVERIFY(open());
        QCOMPARE(table(), "NULL NULL");
        fakes->messageBox.answers.enqueue(MessageBox::Answer::Yes);
        click("Command10");
        QCOMPARE(table(), QString());
        QVERIFY(activate(ORVAM::instance(book->session)) && activate(w));
        QCOMPARE(table(), "NULL NULL");
    }

    // Each move button runs its command of the command row.
    void moveButtons()
    {
        for (const char* app : {"A", "B", "C"})
            book->addApplication(app, "/p");
        QVERIFY(open());
        QString shown; // after previous, last, first, next
        for (const char* button : {"Command1", "Command6", "Command3", "Command5"})
            click(QLatin1String(button)), shown += idCombo()->text();
        QCOMPARE(shown, "ACAB");
    }

    // A chosen path is a pending edit: save stores it and lists it at once, exit stores, cancel reads no list.
    void programFileThenCommand_data()
    {
        QTest::addColumn<bool>("chosen");   // or the dialog is cancelled
        QTest::addColumn<int>("then");      // Command7 save, Command8 cancel, Command11 exit
        QTest::addColumn<QString>("after"); // stored | shown, and the list of IDs ("-" when closed)
        QTest::newRow("cancelled dialog, save") << false << 7 << "'/old' 'ED', '/other' '外部' | /old ED ED 外部";
        QTest::newRow("chosen, save") << true << 7 << "'/bin/ed' 'ED', '/other' '外部' | /bin/ed ED ED 外部";
        QTest::newRow("chosen, cancel") << true << 8 << "'/old' 'A', '/other' '外部' | /old A A";
        QTest::newRow("chosen, exit") << true << 11 << "'/bin/ed' 'ED', '/other' '外部' | -";
    }

    void programFileThenCommand()
    {
        QFETCH(bool, chosen);
        QFETCH(int, then);
        book->addApplication(QStringLiteral("A"), QStringLiteral("/old"));
        QVERIFY(open());
        book->addApplication(QStringLiteral("外部"), QStringLiteral("/other")); // seen once the lists are read
        fakes->fileDialog.answers.enqueue(chosen ? std::optional(QStringLiteral("/bin/ed")) : std::nullopt);
        click("Command13");
        QCOMPARE(fakes->fileDialog.asked.value(0).filter, QStringLiteral("ｱﾌﾟﾘｹｰｼｮﾝ(*.EXE)|*.EXE|*.*|*.*"));
        idCombo()->setText(QStringLiteral("ED"));
        click(QStringLiteral("Command%1").arg(then));
        QStringList shown{"-"};
        if (H_PATH::isLoaded())
            shown =
                QStringList{findRequired<ComboBox>(w, "DBCombo1")->text(), idCombo()->text()} + idCombo()->listItems();
        QTEST(table() + " | " + shown.join(' '), "after");
    }

    // No check before saving: the same ID twice is stored, and the list shows it once.
    void sameApplicationIdTwice()
    {
        QVERIFY(open());
        idCombo()->setText(QStringLiteral("HLP"));
        click("Command9");
        idCombo()->setCurrentIndex(idCombo()->findText(QStringLiteral("HLP"))); // picked from the list
        click("Command7");
        QCOMPARE(table() + " | " + idCombo()->listItems().join(' '), "NULL 'HLP', NULL 'HLP' | HLP");
    }

    // Over 255 characters is refused with the save failure message, the typing kept; empty is stored.
    void fieldLengths_data()
    {
        QTest::addColumn<QString>("combo");
        QTest::addColumn<int>("length");
        for (const char* combo : {"DBCombo1", "DBCombo2"})
            for (int length : {0, 255, 256})
                QTest::addRow("%s, %d characters", combo, length) << QString(combo) << length;
    }

    void fieldLengths()
    {
        QFETCH(QString, combo);
        QFETCH(int, length);
        book->addApplication(QStringLiteral("old"), QStringLiteral("/old"));
        QVERIFY(open());
        const QString before = table(), text(length, QChar(u'字'));
        findRequired<ComboBox>(w, combo)->setText(text);
        const bool refused = length > 255;
        fakes->messageBox.answers.fill(MessageBox::Answer::Ok, refused);
        click("Command7");
        QCOMPARE(fakes->messageBox.asked.value(0).text, refused ? Messages::SaveFailure : QString());
        QCOMPARE(findRequired<ComboBox>(w, combo)->text(), text);
        const QString typed = QString(before).replace(combo == "DBCombo1" ? "'/old'" : "'old'", "'" + text + "'");
        QCOMPARE(table(), refused ? before : typed);
        // The refused typing is not dropped without a word when the window closes.
        if (refused) {
            fakes->messageBox.choices << 1;
            QVERIFY(w->close());
            QCOMPARE(fakes->messageBox.offered.value(0), StoreFailure::closingChoices());
            QCOMPARE(table(), before);
        }
    }

    // A save waits for another writer, under the busy cursor.
    void saveWaitsForAnotherWriter()
    {
        QVERIFY(open());
        QList<int> cursors; // the override cursor's shape after each change, -1 for none
        BusyWait::setHook([&cursors](bool waiting) {
            BusyCursor::show(waiting);
            cursors.append(QGuiApplication::overrideCursor() ? int(QGuiApplication::overrideCursor()->shape()) : -1);
        });
        idCombo()->setText(QStringLiteral("waited"));
        std::future<void> hold = holdWriteLock(book->dbPath(), 300);
        click("Command7"); // waits: a failure would ask the message box, which has no answer queued
        QCOMPARE(table(), "NULL 'waited'");
        QCOMPARE(cursors, (QList<int>{Qt::WaitCursor, -1}));
    }

    // What was typed, in a combo box or in a grid cell still being edited, is stored by choosing
    // another row, by a command and by closing; the combo boxes then show the current record.
    void typingIsStored_data()
    {
        QTest::addColumn<bool>("inCell"); // else in the application ID's combo box
        QTest::addColumn<QString>("by");
        QTest::addColumn<QString>("shown"); // "-" when closed
        QTest::newRow("combo box, another row") << false << "row"
                                                << "/b B";
        QTest::newRow("cell, another row") << true << "row"
                                           << "/b B";
        QTest::newRow("cell, save") << true << "Command7"
                                    << "/a typed";
        QTest::newRow("cell, close") << true << "close"
                                     << "-";
    }

    void typingIsStored()
    {
        QFETCH(bool, inCell);
        QFETCH(QString, by);
        book->addApplication(QStringLiteral("A"), QStringLiteral("/a"));
        book->addApplication(QStringLiteral("B"), QStringLiteral("/b"));
        QVERIFY(open());
        if (inCell) {
            const QModelIndex cell = grid()->model()->index(0, 1);
            grid()->setCurrentIndex(cell);
            grid()->edit(cell);
            auto* editor = qobject_cast<QLineEdit*>(grid()->indexWidget(cell));
            QVERIFY(editor);
            editor->setText(QStringLiteral("typed"));
        } else {
            idCombo()->setText(QStringLiteral("typed"));
        }
        if (by == "row")
            QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {},
                              grid()->visualRect(grid()->model()->index(1, 2)).center());
        else if (by == "close")
            QVERIFY(w->close());
        else
            click(by);
        QCOMPARE(table(), "'/a' 'typed', '/b' 'B'");
        QTEST(H_PATH::isLoaded() ? findRequired<ComboBox>(w, "DBCombo1")->text() + ' ' + idCombo()->text() : "-",
              "shown");
    }
};

ORV_TEST_MAIN(TestH_PATH)
#include "tst_h_path.moc"
