#include "app_registration/H_PATH.h"
#include "db/BusyWait.h"
#include "db/Connection.h"
#include "db/Statement.h"
#include "forms/BusyCursor.h"
#include "forms/DataGrid.h"
#include "forms/Messages.h"
#include "forms/StoreFailure.h"
#include "startup/ORVAM.h"
#include "support/Locks.h"
#include "support/TestMain.h"
#include "support/WindowTestFixture.h"
#include "widgets/ComboBox.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QThread>

#include <sqlite3.h>

#include <cstdio>
#include <future>

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
    static QString deletedText() { return QStringLiteral("DELETE FROM パス WHERE ID = 1"); }
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

    // The buttons run the command row; previous stops on the first record; No to a delete changes nothing.
    void movesAndDelete()
    {
        for (const char* app : {"A", "B", "C"})
            book->addApplication(app, "/p");
        QVERIFY(open());
        QString shown; // after previous, last, first, next
        for (const char* button : {"Command1", "Command6", "Command3", "Command5"})
            click(QLatin1String(button)), shown += idCombo()->text();
        QCOMPARE(shown, "ACAB");
        book->addApplication(QStringLiteral("外部"), QStringLiteral("/other")); // seen once the lists are read
        const QString before = table();
        fakes->messageBox.answers.enqueue(MessageBox::Answer::No);
        click("Command10");
        QCOMPARE(table() + ' ' + idCombo()->listItems().join(' '), before + " A B C");
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

    // A cell typed in the grid's editor is stored, without leaving the editor, by a command or by closing;
    // the bound combo box shows what was stored.
    void gridCellEdit()
    {
        book->addApplication(QStringLiteral("A"), QStringLiteral("/a"));
        QVERIFY(open());
        for (const QString& text : {QStringLiteral("グリッド"), QStringLiteral("三")}) {
            const QModelIndex cell = grid()->model()->index(0, 1);
            grid()->setCurrentIndex(cell);
            grid()->edit(cell);
            auto* editor = qobject_cast<QLineEdit*>(grid()->indexWidget(cell));
            QVERIFY(editor);
            editor->setText(text);
            text == "三" ? void(w->close()) : click("Command7");
            QCOMPARE(table(), "'/a' '" + text + "'");
            if (text != "三")
                QCOMPARE(idCombo()->text(), text);
        }
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

    // A save waits for another writer, under the busy cursor; past the wait it fails, says that the
    // memo book is in use, and the typing stays.
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
        std::optional<BusyWaitFor> shorter(std::in_place, 100); // instead of the five seconds of the program
        idCombo()->setText(QStringLiteral("kept"));
        hold = holdWriteLock(book->dbPath(), 1000);
        fakes->messageBox.answers.enqueue(MessageBox::Answer::Ok);
        click("Command7");
        shorter.reset();
        QCOMPARE(fakes->messageBox.asked.value(0).text, Messages::InUse);
        QCOMPARE(table() + idCombo()->text(), QStringLiteral("NULL 'waited'kept"));
        QVERIFY(!QGuiApplication::overrideCursor());
    }

    // Another copy of the program changed or deleted the record since this window showed it. Save
    // warns and keeps the typing; the fields not typed in show the other copy's values. Saving again
    // stores the typing over a changed record; cancel shows the other copy's version.
    void savingOverAnotherCopy_data()
    {
        QTest::addColumn<QString>("elsewhere");
        QTest::addColumn<int>("choice");    // 0 mine over theirs, 1 theirs, 2 copy mine and show theirs
        QTest::addColumn<QString>("after"); // stored | shown
        const QString changed = QStringLiteral("UPDATE パス SET パス = '/theirs', アプリＩＤ = 'THEIRS' WHERE ID = 1");
        const QString deleted = QStringLiteral("DELETE FROM パス WHERE ID = 1");
        // Only the typed field is mine; the other field shows theirs.
        QTest::newRow("changed, mine") << changed << 0 << "'/theirs' 'mine', '/b' 'B' | /theirs mine";
        QTest::newRow("changed, theirs") << changed << 1 << "'/theirs' 'THEIRS', '/b' 'B' | /theirs THEIRS";
        QTest::newRow("changed, copied") << changed << 2 << "'/theirs' 'THEIRS', '/b' 'B' | /theirs THEIRS";
        // A deleted record comes back as it was shown, under its ID.
        QTest::newRow("deleted, mine") << deleted << 0 << "'/a' 'mine', '/b' 'B' | /a mine";
        QTest::newRow("deleted, theirs") << deleted << 1 << "'/b' 'B' |  ";
        QTest::newRow("deleted, copied") << deleted << 2 << "'/b' 'B' |  ";
    }

    // A save over another copy's change or deletion asks whose version to keep, and does as chosen.
    void savingOverAnotherCopy()
    {
        QFETCH(QString, elsewhere);
        QFETCH(int, choice);
        book->addApplication(QStringLiteral("A"), QStringLiteral("/a"));
        book->addApplication(QStringLiteral("B"), QStringLiteral("/b"));
        QVERIFY(open());
        auto shown = [this] { return findRequired<ComboBox>(w, "DBCombo1")->text() + ' ' + idCombo()->text(); };
        idCombo()->setText(QStringLiteral("mine"));
        book->exec(elsewhere); // through a connection of its own, as another copy would
        QGuiApplication::clipboard()->clear();
        fakes->messageBox.choices << choice;
        click("Command7");
        QCOMPARE(fakes->messageBox.asked.size(), 1);
        QCOMPARE(fakes->messageBox.asked.value(0).text, StoreFailure::conflictText(elsewhere == deletedText()));
        QTEST(table() + " | " + shown(), "after");
        QCOMPARE(QGuiApplication::clipboard()->text(), choice == 2 ? QStringLiteral("mine") : QString());
        QCOMPARE(book->scalar("SELECT min(ID) FROM パス").toInt(), elsewhere == deletedText() && choice != 0 ? 2 : 1);
    }

    // The memo book deleted, made read-only or replaced while the window is open: save warns and
    // keeps the typing, and nothing reaches any file.
    void savingToAFileNoLongerThere_data()
    {
        QTest::addColumn<QString>("change");
        for (const char* change : {"deleted", "made read-only", "replaced by a rename"})
            QTest::newRow(change) << QString::fromLatin1(change);
    }

    void savingToAFileNoLongerThere()
    {
        QFETCH(QString, change);
        book->addApplication(QStringLiteral("A"), QStringLiteral("/a"));
        QVERIFY(open());
        idCombo()->setText(QStringLiteral("typed"));
        const QString path = book->dbPath(), other = book->dir() + QStringLiteral("/other.mdb");
        if (change == "deleted") {
            QVERIFY(QFile::remove(path));
        } else if (change == "made read-only") {
            QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        } else {
            QVERIFY(QFile::copy(path, other));
            QVERIFY(::rename(QFile::encodeName(other).constData(), QFile::encodeName(path).constData()) == 0);
        }
        fakes->messageBox.answers << MessageBox::Answer::Ok;
        click("Command7");
        QCOMPARE(fakes->messageBox.asked.value(0).text, Messages::SaveFailure);
        QCOMPARE(idCombo()->text(), QStringLiteral("typed"));
        fakes->messageBox.choices << 1; // close without storing, as the question on closing offers
        QVERIFY(w->close());
        if (QFile::exists(path)) {
            std::shared_ptr<Connection> look = Connection::open(path);
            QVERIFY(look);
            Statement typed(look->handle(), QStringLiteral("SELECT count(*) FROM パス WHERE アプリＩＤ = 'typed'"));
            QVERIFY(typed.step() == Statement::Step::Row);
            QCOMPARE(typed.value(0).toInt(), 0);
        }
    }

    // Choosing another row of the grid moves there, storing what was typed, in the combo boxes or in a
    // cell; the combo boxes then show the chosen record.
    void choosingAnotherGridRowStoresTheTyping_data()
    {
        QTest::addColumn<bool>("inCell"); // else in the application ID's combo box
        QTest::newRow("typed in a combo box") << false;
        QTest::newRow("typed in a cell") << true;
    }

    void choosingAnotherGridRowStoresTheTyping()
    {
        QFETCH(bool, inCell);
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
        const QRect row2 = grid()->visualRect(grid()->model()->index(1, 2));
        QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {}, row2.center());
        QCOMPARE(table() + " | " + findRequired<ComboBox>(w, "DBCombo1")->text() + ' ' + idCombo()->text(),
                 "'/a' 'typed', '/b' 'B' | /b B");
    }
};

ORV_TEST_MAIN(TestH_PATH)
#include "tst_h_path.moc"
