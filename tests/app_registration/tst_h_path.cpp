#include "app_registration/H_PATH.h"
#include "db/Connection.h"
#include "db/DataGrid.h"
#include "db/Messages.h"
#include "platform/ComboBox.h"
#include "startup/Globals.h"
#include "startup/ORVAM.h"
#include "support/TestMain.h"
#include "support/WindowTestFixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QThread>

#include <sqlite3.h>

#include <future>

namespace {

// Another copy of the program in the middle of a save: holds the write lock for holdMs.
std::future<void> holdWriteLock(const QString& path, int holdMs)
{
    sqlite3* db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    return std::async(std::launch::async, [db, holdMs] {
        QThread::msleep(holdMs);
        sqlite3_close(db);
    });
}

} // namespace

class TestH_PATH : public WindowTestFixture
{
    Q_OBJECT

private:
    H_PATH* w = nullptr;

    bool open()
    {
        w = H_PATH::instance();
        w->showForm();
        return activate(w);
    }
    ComboBox* pathCombo() const { return findRequired<ComboBox>(w, QStringLiteral("DBCombo1")); }
    ComboBox* idCombo() const { return findRequired<ComboBox>(w, QStringLiteral("DBCombo2")); }
    DataGrid* grid() const { return findRequired<DataGrid>(w, QStringLiteral("DBGrid1")); }
    QString currentId() const { return findRequired<QLabel>(w, QStringLiteral("Label1"))->text(); }
    void click(const QString& name) const { QTest::mouseClick(findRequired<QAbstractButton>(w, name), Qt::LeftButton); }
    // The records as "ID 'path' 'app ID'" in ID order; quote() keeps NULL apart from ''.
    QString table(const QString& where = QStringLiteral("1"))
    {
        const QString sql =
            QStringLiteral("SELECT group_concat(ID || ' ' || quote(パス) || ' ' || quote(アプリＩＤ), ', ') "
                           "FROM (SELECT * FROM パス WHERE %1 ORDER BY ID)");
        return book->scalar(sql.arg(where)).toString();
    }
    QString stored(qint64 id) { return table(QStringLiteral("ID = %1").arg(id)).section(' ', 1); }

private Q_SLOTS:
    void init() { QVERIFY(setUp()); }
    void cleanup() { tearDown(); }

    // Tab walks the controls in the layout's order, from the path that has the focus.
    void tabOrder()
    {
        QVERIFY(open());
        QStringList order;
        for (int i = 0; i < 15; ++i, QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab)) {
            QWidget* f = QApplication::focusWidget();
            while (f && f->parentWidget() != w->client())
                f = f->parentWidget();
            order.append(f ? f->objectName() : QString());
        }
        QCOMPARE(order.join(' '), "DBCombo1 Command2 Command13 DBGrid1 Command3 Command1 Command5 Command6 Command7 "
                                  "Command8 Command9 Command10 Command11 DBCombo2 DBCombo1");
    }

    // On an empty table, and after the delete of the only record, activation adds one.
    void activationAddsRecordWhenThereIsNone()
    {
        QVERIFY(open());
        QCOMPARE(table(), currentId() + " NULL NULL");
        QCOMPARE(grid()->model()->rowCount(), 1);
        fakes->messageBox.answers.enqueue(MessageBox::Answer::Yes);
        click("Command10");
        QCOMPARE(table() + currentId(), QString());
        QCOMPARE(grid()->model()->rowCount(), 0);
        QVERIFY(activate(ORVAM::instance()) && activate(w));
        QCOMPARE(table(), currentId() + " NULL NULL");
    }

    // The buttons run the command row: moves stop at the ends; a delete answered No changes
    // nothing, not even the lists; one answered Yes ends on the next record and reads them.
    void movesAndDelete()
    {
        const QList<qint64> ids = {book->addApplication("A", "/p"), book->addApplication("B", "/p"),
                                   book->addApplication("C", "/p")};
        book->addMemo({{}, {}, QStringLiteral("kw"), {}, {}, QStringLiteral("B"), {}}); // kept by the delete
        QVERIFY(open());
        for (const auto& [button, at] : {std::pair{"Command1", 0}, {"Command6", 2}, {"Command3", 0}, {"Command5", 1}}) {
            click(QLatin1String(button));
            QCOMPARE(currentId(), QString::number(ids[at]));
        }
        book->addApplication(QStringLiteral("外部"), QStringLiteral("/other")); // seen once the lists are read
        const QString before = table();
        fakes->messageBox.answers.enqueue(MessageBox::Answer::No);
        click("Command10");
        QCOMPARE(table(), before);
        QCOMPARE(idCombo()->listItems(), (QStringList{"A", "B", "C"}));
        fakes->messageBox.answers.enqueue(MessageBox::Answer::Yes);
        click("Command10");
        QCOMPARE(book->count(QStringLiteral("メモ帳")), 1);
        QCOMPARE(currentId(), QString::number(ids[2]));
        QCOMPARE(idCombo()->listItems(), (QStringList{"A", "C", "外部"}));
    }

    // A chosen program path is a pending edit like a typed ID: save stores both and offers
    // them in the lists at once, exit stores them, cancel restores and reads no list.
    void programFileThenCommand_data()
    {
        QTest::addColumn<bool>("chosen"); // or the dialog is cancelled
        QTest::addColumn<int>("then");    // Command7 save, Command8 cancel, Command11 exit
        QTest::addColumn<QString>("stored");
        QTest::newRow("cancelled dialog, save") << false << 7 << "'/old' 'ED'";
        QTest::newRow("chosen, save") << true << 7 << "'/usr/bin/gedit' 'ED'";
        QTest::newRow("chosen, cancel") << true << 8 << "'/old' 'A'";
        QTest::newRow("chosen, exit") << true << 11 << "'/usr/bin/gedit' 'ED'";
    }

    void programFileThenCommand()
    {
        QFETCH(bool, chosen);
        QFETCH(int, then);
        const qint64 id = book->addApplication(QStringLiteral("A"), QStringLiteral("/old"));
        QVERIFY(open());
        book->addApplication(QStringLiteral("外部"), QStringLiteral("/other"));
        fakes->fileDialog.answers.enqueue(chosen ? std::optional(QStringLiteral("/usr/bin/gedit")) : std::nullopt);
        click("Command13");
        QCOMPARE(fakes->fileDialog.asked.value(0).filter, QStringLiteral("ｱﾌﾟﾘｹｰｼｮﾝ(*.EXE)|*.EXE|*.*|*.*"));
        QCOMPARE(pathCombo()->text(), chosen ? "/usr/bin/gedit" : "/old");
        idCombo()->setText(QStringLiteral("ED"));
        click(QStringLiteral("Command%1").arg(then));
        QTEST(stored(id), "stored");
        QCOMPARE(H_PATH::isLoaded(), then != 11);
        if (!H_PATH::isLoaded())
            return;
        QCOMPARE(QStringLiteral("'%1' '%2'").arg(pathCombo()->text(), idCombo()->text()), stored(id));
        QCOMPARE(idCombo()->listItems(), (then == 7 ? QStringList{"ED", "外部"} : QStringList{"A"}));
    }

    // No check before saving: the same ID twice is stored, and the list shows it once.
    void sameApplicationIdTwice()
    {
        QVERIFY(open());
        idCombo()->setText(QStringLiteral("HLP"));
        click("Command9");
        idCombo()->setCurrentIndex(idCombo()->findText(QStringLiteral("HLP"))); // picked from the list
        click("Command7");
        QCOMPARE(table(QStringLiteral("アプリＩＤ = 'HLP'")).count(QStringLiteral("HLP")), 2);
        QCOMPARE(grid()->model()->rowCount(), 2);
        QCOMPARE(idCombo()->listItems(), QStringList{"HLP"});
    }

    // A cell typed into the grid's floating editor is stored without the editor being left.
    void gridCellEdit()
    {
        const qint64 a = book->addApplication(QStringLiteral("A"), QStringLiteral("/a"));
        book->addApplication(QStringLiteral("B"), QStringLiteral("/b"));
        QVERIFY(open());
        DataGrid* g = grid();
        auto typeInto = [g](int row, const QString& text) {
            const QModelIndex cell = g->model()->index(row, 1);
            g->setCurrentIndex(cell);
            g->edit(cell);
            auto* editor = qobject_cast<QLineEdit*>(g->indexWidget(cell));
            if (editor)
                editor->setText(text);
            return editor != nullptr;
        };
        QVERIFY(typeInto(0, QStringLiteral("グリッド")));
        click("Command5");
        QCOMPARE(stored(a), QStringLiteral("'/a' 'グリッド'"));
        QVERIFY(typeInto(0, QStringLiteral("三")));
        w->close();
        QCOMPARE(stored(a), QStringLiteral("'/a' '三'"));
    }

    // What the file cannot take (over 255 characters) is refused with the save failure
    // message: the typing stays and nothing else changes. Empty texts are stored as such.
    void fieldLengths_data()
    {
        QTest::addColumn<QString>("combo");
        QTest::addColumn<int>("length");
        for (const char* combo : {"DBCombo1", "DBCombo2"}) {
            for (int length : {0, 255, 256})
                QTest::addRow("%s, %d characters", combo, length) << QString::fromLatin1(combo) << length;
        }
    }

    void fieldLengths()
    {
        QFETCH(QString, combo);
        QFETCH(int, length);
        const qint64 id = book->addApplication(QStringLiteral("old"), QStringLiteral("/old"));
        QVERIFY(open());
        book->addApplication(QStringLiteral("外部"), QStringLiteral("/other"));
        const QString before = table();
        const QString text(length, QChar(u'字'));
        findRequired<ComboBox>(w, combo)->setText(text);
        const bool refused = length > 255;
        if (refused)
            fakes->messageBox.answers.enqueue(MessageBox::Answer::Ok);
        click("Command7");
        QCOMPARE(fakes->messageBox.asked.value(0).text, refused ? Messages::SaveFailure : QString());
        QCOMPARE(findRequired<ComboBox>(w, combo)->text(), text);
        QCOMPARE(idCombo()->listItems().contains("外部"), !refused);
        if (refused)
            QCOMPARE(table(), before);
        else
            QCOMPARE(stored(id), combo == "DBCombo1" ? "'" + text + "' 'old'" : "'/old' '" + text + "'");
    }

    // A save waits for another writer; past the wait it fails, and the typing stays.
    void saveWaitsForAnotherWriter()
    {
        QVERIFY(open());
        const qint64 id = currentId().toLongLong();
        idCombo()->setText(QStringLiteral("waited"));
        std::future<void> hold = holdWriteLock(DbPath, 300);
        click("Command7"); // waits: a failure would ask the message box, which has no answer queued
        QCOMPARE(stored(id), QStringLiteral("NULL 'waited'"));
        const std::shared_ptr<Connection> connection = Connection::shared(DbPath); // the window's
        sqlite3_busy_timeout(connection->handle(), 100); // instead of the five seconds of the program
        idCombo()->setText(QStringLiteral("kept"));
        hold = holdWriteLock(DbPath, 1000);
        fakes->messageBox.answers.enqueue(MessageBox::Answer::Ok);
        click("Command7");
        sqlite3_busy_timeout(connection->handle(), Connection::BusyTimeoutMs);
        QCOMPARE(fakes->messageBox.asked.value(0).text, Messages::SaveFailure);
        QCOMPARE(stored(id), QStringLiteral("NULL 'waited'"));
        click("Command7");
        QCOMPARE(stored(id), QStringLiteral("NULL 'kept'"));
    }
};

ORV_TEST_MAIN(TestH_PATH)
#include "tst_h_path.moc"
