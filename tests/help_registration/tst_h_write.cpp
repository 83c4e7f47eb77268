// The entry window: what it opens on, adds, keeps and stores, and the entry fields.
#include "forms/Messages.h"
#include "forms/StoreFailure.h"
#include "help_registration/H_WRITE.h"
#include "startup/ORVAM.h"
#include "support/Locks.h"
#include "support/TestMain.h"
#include "support/WindowTestFixture.h"
#include "widgets/ComboBox.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFile>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMetaProperty>
#include <QPlainTextEdit>
#include <QTimer>

#include <optional>

using namespace Qt::StringLiterals;

const MemoBook::Memo First{"2024/05/01", "", "印刷", "", "", "", "一件目"};
const MemoBook::Memo Second{"2024/06/01", "", "保存", "鍵", "", "", "二件目"};
const QString Today = u"2026/12/06"_s;

struct HWriteWindow : OpenedForm<H_WRITE, HWriteWindow>
{
    qint64 id() const { return get<QLabel>(u"Label1"_s)->text().toLongLong(); }
    QString text(const QString& n) const { return get(n)->metaObject()->userProperty().read(get(n)).toString(); }
    bool focused(const QString& n) const { return get(n)->hasFocus() || get(n)->isAncestorOf(qApp->focusWidget()); }
    // Types text over what the control holds, as a keyboard would, Japanese included.
    void retype(const QString& name, const QString& text) const
    {
        QWidget* control = get(name);
        if (auto* combo = qobject_cast<QComboBox*>(control))
            control = combo->lineEdit();
        QMetaObject::invokeMethod(control, "selectAll");
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, text);
        QApplication::sendEvent(control, &press);
    }
    void clickInto(const QString& name) const
    {
        auto* area = qobject_cast<QAbstractScrollArea*>(get(name));
        QTest::mouseClick(area ? area->viewport() : get(name), Qt::LeftButton);
    }
};

class TestHWrite : public WindowTestFixture
{
    Q_OBJECT

    QString stored(qint64 id, const QString& f)
    {
        return book->scalar(u"SELECT %1 FROM メモ帳 WHERE ID = %2"_s.arg(f).arg(id)).toString();
    }

private Q_SLOTS:
    void init() { QVERIFY(setUp()); }
    void cleanup() { tearDown(); }

    void captionsFitTheirControls()
    {
        QCOMPARE(clippedCaptions(HWriteWindow::open(book->session).form), QStringList());
    }

    // A filled memo book shows its first memo and adds none; each add stores a memo of today.
    void openingAndAdding()
    {
        book->addMemo(First), book->addMemo(Second);
        HWriteWindow w = HWriteWindow::open(book->session);
        QCOMPARE(book->count(u"メモ帳"_s), 2);
        QCOMPARE(w.id(), book->scalar(u"SELECT min(ID) FROM メモ帳"_s).toLongLong());
        QCOMPARE(w.text(u"Text3"_s), u"2024年5月1日"_s);
        w.click(u"Command9"_s);
        const qint64 added = w.id();
        w.click(u"Command9"_s);
        QCOMPARE(book->scalar(u"SELECT count(*) FROM メモ帳 WHERE 日付 = '%1'"_s.arg(Today)).toInt(), 2);
        QVERIFY(w.focused(u"Text2"_s));
        w.click(u"Command4"_s);
        QCOMPARE(w.id(), added);
    }

    // After a refused add the date box goes on following the records.
    void dateBoxFollowsAfterARefusedAdd()
    {
        book->addMemo(First), book->addMemo(Second);
        HWriteWindow w = HWriteWindow::open(book->session);
        book->exec(u"CREATE TRIGGER refuse BEFORE INSERT ON メモ帳 BEGIN SELECT RAISE(ABORT, 'no'); END"_s);
        fakes->messageBox.answers.enqueue(MessageBox::Answer::Ok);
        w.click(u"Command9"_s);
        QCOMPARE(fakes->messageBox.asked.value(0).text, Messages::AddFailure);
        w.click(u"Command5"_s);
        QCOMPARE(w.text(u"Text3"_s), u"2024年6月1日"_s);
    }

    void correctionMode_data()
    {
        QTest::addColumn<bool>("exists");
        QTest::newRow("existing memo") << true;
        QTest::newRow("missing memo") << false;
    }

    // A memo that is gone: the window starts a new one of today.
    void correctionMode()
    {
        QFETCH(bool, exists);
        const qint64 first = book->addMemo(First), second = book->addMemo(Second);
        book->session.EditMemoId = exists ? second : second + 100;
        HWriteWindow w = HWriteWindow::open(book->session);
        QVERIFY(w.get<ComboBox>(u"DBCombo1"_s)->listItems().contains(u"印刷"_s)); // all memos' keywords
        QCOMPARE(book->count(u"メモ帳"_s), exists ? 2 : 3);
        QVERIFY(exists ? w.id() == second : w.id() > second);
        QCOMPARE(stored(w.id(), u"日付"_s), exists ? Second.date : Today);
        // The moves stay within the memo opened, also after showing it again for another memo.
        const qint64 shown = w.id();
        book->session.EditMemoId = first;
        QCOMPARE(HWriteWindow::open(book->session).form, w.form);
        w.click(u"Command3"_s);
        QCOMPARE(w.id(), shown);
    }

    void enteringABoxThatCannotStore_data()
    {
        QTest::addColumn<QString>("cause"); // what keeps the typing from being stored
        QTest::addColumn<QString>("into");
        QTest::addColumn<QString>("message");
        QTest::newRow("no memo, memo box") << u"no memo"_s << u"Text2"_s << Messages::SaveFailure;
        QTest::newRow("no memo, date box") << u"no memo"_s << u"Text3"_s << Messages::SaveFailureDateBox;
        QTest::newRow("refused save") << u"refused"_s << u"Command7"_s << Messages::SaveFailure;
        QTest::newRow("refused, memo box") << u"refused"_s << u"Text2"_s << Messages::SaveFailure;
        QTest::newRow("refused, date box") << u"refused"_s << u"Text3"_s << Messages::SaveFailureDateBox;
    }

    // The matching warning, once. Refused typing stays to be stored later; with no memo left,
    // coming back from another window starts a new one.
    void enteringABoxThatCannotStore()
    {
        QFETCH(QString, cause);
        QFETCH(QString, into);
        QFETCH(QString, message);
        const qint64 id = book->addMemo(First);
        ORVAM::instance(book->session)->showForm();
        HWriteWindow w = HWriteWindow::open(book->session);
        if (cause == u"no memo"_s) {
            fakes->messageBox.answers << MessageBox::Answer::Yes;
            QTest::mouseClick(w.get(u"Command10"_s), Qt::LeftButton); // takes the focus from the memo box
        } else {
            w.get(u"Command7"_s)->setFocus();
            w.retype(u"DBCombo1"_s, u"拒まれる語"_s);
            // A rule of the database has its say.
            book->exec(u"CREATE TRIGGER refuse BEFORE UPDATE ON メモ帳 BEGIN SELECT RAISE(ABORT, 'refused'); END"_s);
        }
        fakes->messageBox.answers << MessageBox::Answer::Ok;
        w.clickInto(into);
        QVERIFY(!fakes->messageBox.asked.isEmpty());
        QCOMPARE(fakes->messageBox.asked.last().text, message);
        QCOMPARE(messageLines(message).last().contains(u"取消すか"_s), into != u"Text3"_s);
        // The focus coming back from the message box does not warn again (no answer is queued).
        QWidget messageWindow;
        QVERIFY(activate(&messageWindow) && activate(w.form) && w.focused(into));
        if (cause == u"no memo"_s) {
            QVERIFY(activate(ORVAM::instance(book->session)) && activate(w.form));
            QCOMPARE(stored(w.id(), u"日付"_s), Today);
            QVERIFY(w.focused(u"Text2"_s));
            return;
        }
        QCOMPARE(w.text(u"DBCombo1"_s), u"拒まれる語"_s);
        book->exec(u"DROP TRIGGER refuse"_s);
        w.click(u"Command7"_s);
        QCOMPARE(stored(id, u"ｷｰﾜｰﾄﾞ"_s), u"拒まれる語"_s);
        QCOMPARE(w.text(u"Text2"_s), First.memo);
    }

    // Another running copy changed or deleted the memo since it was shown: whatever stores the
    // typing asks whose version to keep, and the user's choice is done: mine stored over theirs
    // (a deleted memo made again under its ID), theirs shown, or mine on the clipboard and theirs
    // shown. Only storing mine lets the command go on.
    void anotherCopysChangeAsksWhoseVersion_data()
    {
        QTest::addColumn<QString>("elsewhere");
        QTest::addColumn<QString>("by");
        QTest::addColumn<int>("choice"); // 0 mine over theirs, 1 theirs, 2 copy mine and show theirs
        for (const QString& elsewhere : {u"changed"_s, u"deleted"_s}) {
            QTest::addRow("%s, save, mine", qPrintable(elsewhere)) << elsewhere << u"Command7"_s << 0;
            QTest::addRow("%s, memo box, theirs", qPrintable(elsewhere)) << elsewhere << u"Text2"_s << 1;
            QTest::addRow("%s, next, copy", qPrintable(elsewhere)) << elsewhere << u"Command5"_s << 2;
            QTest::addRow("%s, close, mine", qPrintable(elsewhere)) << elsewhere << u"Command11"_s << 0;
            QTest::addRow("%s, close, copy", qPrintable(elsewhere)) << elsewhere << u"Command11"_s << 2;
        }
        QTest::newRow("changed, hand-over, theirs") << u"changed"_s << u"hand-over"_s << 1;
        QTest::newRow("changed, hand-over, mine") << u"changed"_s << u"hand-over"_s << 0;
    }

    void anotherCopysChangeAsksWhoseVersion()
    {
        QFETCH(QString, elsewhere);
        QFETCH(QString, by);
        QFETCH(int, choice);
        const qint64 id = book->addMemo(First);
        const qint64 other = book->addMemo({u"2026/12/02"_s, QString(), u"二つ目"_s});
        HWriteWindow w = HWriteWindow::open(book->session);
        w.get(u"Command7"_s)->setFocus();
        w.retype(u"DBCombo1"_s, u"私の語"_s);
        book->exec(elsewhere == u"changed"_s
                       ? u"UPDATE メモ帳 SET ｷｰﾜｰﾄﾞ = '他の語', メモ = '他で直した' WHERE ID = %1"_s.arg(id)
                       : u"DELETE FROM メモ帳 WHERE ID = %1"_s.arg(id));
        QGuiApplication::clipboard()->clear();
        fakes->messageBox.choices << choice;
        if (by == u"hand-over"_s) {
            book->session.EditMemoId = other;
            QCOMPARE(w.form->showHandedOverMemo(), choice == 0);
        } else {
            w.clickInto(by);
        }
        QCOMPARE(fakes->messageBox.asked.size(), 1);
        QCOMPARE(fakes->messageBox.asked.last().text, StoreFailure::conflictText(elsewhere == u"deleted"_s));
        QCOMPARE(fakes->messageBox.offered.last(), StoreFailure::conflictChoices(elsewhere == u"deleted"_s));

        const bool mine = choice == 0;
        QCOMPARE(stored(id, u"ｷｰﾜｰﾄﾞ"_s), mine ? u"私の語"_s : elsewhere == u"changed"_s ? u"他の語"_s : QString());
        if (mine) // only the typed field is mine; a deleted memo comes back as it was shown
            QCOMPARE(stored(id, u"メモ"_s), elsewhere == u"changed"_s ? u"他で直した"_s : First.memo);
        QCOMPARE(QGuiApplication::clipboard()->text(), choice == 2 ? u"私の語"_s : QString());
        const bool closed = by == u"Command11"_s && mine;
        QCOMPARE(H_WRITE::isLoaded(), !closed);
        if (closed)
            return;
        if (by == u"hand-over"_s && mine) {
            QCOMPARE(w.id(), other);
            return;
        }
        // Theirs is shown (nothing, for a deleted memo); mine stays shown once stored.
        QCOMPARE(w.text(u"DBCombo1"_s), mine ? u"私の語"_s : elsewhere == u"changed"_s ? u"他の語"_s : QString());
    }

    // A move or an entering of the memo box while another program holds the memo book says that
    // it is in use and keeps showing the memo it showed, on the first and the last memo too;
    // once the lock is gone the same command works.
    void movesUnderALockKeepTheMemo_data()
    {
        QTest::addColumn<int>("startRow");
        QTest::addColumn<QString>("command");
        QTest::addColumn<qint64>("afterwards"); // the memo shown once the lock is gone
        QTest::newRow("previous on the first") << 0 << u"Command4"_s << qint64(1);
        QTest::newRow("next on the last") << 1 << u"Command5"_s << qint64(2);
        QTest::newRow("next") << 0 << u"Command5"_s << qint64(2);
        QTest::newRow("into the memo box") << 1 << u"Text2"_s << qint64(2);
    }

    void movesUnderALockKeepTheMemo()
    {
        QFETCH(int, startRow);
        QFETCH(QString, command);
        QFETCH(qint64, afterwards);
        book->addMemo(First);
        book->addMemo(Second);
        HWriteWindow w = HWriteWindow::open(book->session);
        if (startRow == 1)
            w.click(u"Command5"_s);
        const qint64 shown = w.id();
        const QString keyword = w.text(u"DBCombo1"_s);
        w.get(u"Command7"_s)->setFocus();
        {
            BusyWaitFor briefly(100);
            Lock lock(book->dbPath());
            QVERIFY(lock.isHeld());
            fakes->messageBox.answers << MessageBox::Answer::Ok;
            w.clickInto(command);
            QCOMPARE(fakes->messageBox.asked.size(), 1);
            QCOMPARE(fakes->messageBox.asked.last().text, Messages::InUse);
            QCOMPARE(w.id(), shown);
            QCOMPARE(w.text(u"DBCombo1"_s), keyword);
        }
        w.get(u"Command7"_s)->setFocus();
        w.clickInto(command);
        QCOMPARE(w.id(), afterwards);
        QCOMPARE(fakes->messageBox.asked.size(), 1);
    }

    // Closing with typing that cannot be stored says so and asks: the window stays open with the
    // typing, to be stored once the cause is gone, or closes without it on purpose.
    void closingWithTypingThatCannotBeStored_data()
    {
        QTest::addColumn<QString>("cause");
        QTest::addColumn<bool>("closeWithoutStoring");
        QTest::newRow("in use, keep open") << u"in use"_s << false;
        QTest::newRow("in use, close") << u"in use"_s << true;
        QTest::newRow("refused, keep open") << u"refused"_s << false;
        QTest::newRow("no memo, close") << u"no memo"_s << true;
    }

    void closingWithTypingThatCannotBeStored()
    {
        QFETCH(QString, cause);
        QFETCH(bool, closeWithoutStoring);
        const qint64 id = book->addMemo(First);
        HWriteWindow w = HWriteWindow::open(book->session);
        if (cause == u"no memo"_s) {
            fakes->messageBox.answers << MessageBox::Answer::Yes;
            w.click(u"Command10"_s);
            QCOMPARE(w.id(), 0);
        }
        w.get(u"Command7"_s)->setFocus();
        w.retype(u"DBCombo1"_s, u"残したい語"_s);
        std::optional<BusyWaitFor> briefly;
        std::optional<Lock> lock;
        if (cause == u"in use"_s) {
            briefly.emplace(100);
            lock.emplace(book->dbPath(), Lock::Kind::Writing);
        } else if (cause == u"refused"_s) {
            book->exec(u"CREATE TRIGGER refuse BEFORE UPDATE ON メモ帳 BEGIN SELECT RAISE(ABORT, 'refused'); END"_s);
        }
        fakes->messageBox.choices << (closeWithoutStoring ? 1 : 0);
        w.click(u"Command11"_s);
        QCOMPARE(fakes->messageBox.asked.size(), cause == u"no memo"_s ? 2 : 1);
        QCOMPARE(fakes->messageBox.offered.last(), StoreFailure::closingChoices());
        const QString text = fakes->messageBox.asked.last().text;
        QCOMPARE(text, StoreFailure::closingText(cause == u"in use"_s ? Result::failure(QString(), Result::Cause::Busy)
                                                                      : Result::failure(QString())));
        QCOMPARE(H_WRITE::isLoaded(), !closeWithoutStoring);
        lock.reset();
        briefly.reset();
        if (closeWithoutStoring) {
            QCOMPARE(book->count(u"メモ帳"_s), cause == u"no memo"_s ? 0 : 1);
            QCOMPARE(stored(id, u"ｷｰﾜｰﾄﾞ"_s), cause == u"no memo"_s ? QString() : First.keyword);
            return;
        }
        QCOMPARE(w.text(u"DBCombo1"_s), u"残したい語"_s);
        if (cause == u"refused"_s)
            book->exec(u"DROP TRIGGER refuse"_s);
        w.click(u"Command11"_s); // stored now, and closed
        QVERIFY(!H_WRITE::isLoaded());
        QCOMPARE(stored(id, u"ｷｰﾜｰﾄﾞ"_s), u"残したい語"_s);
    }

    void focusComingBackIsNoEntering_data()
    {
        QTest::addColumn<QString>("from");
        QTest::newRow("another application") << u"application"_s;
        QTest::newRow("a context menu") << u"menu"_s;
        QTest::newRow("a message box") << u"message"_s;
        QTest::newRow("a popup's focus return") << u"popup"_s;
        QTest::newRow("another window of the program") << u"program"_s;
    }

    // The focus that comes back into the memo box with its window, or after a context menu,
    // stores nothing; the user's next real entering into the box does. Coming back from another
    // window of the program puts the focus into the memo box, wherever it was, and so stores.
    void focusComingBackIsNoEntering()
    {
        QFETCH(QString, from);
        const qint64 id = book->addMemo(First);
        HWriteWindow w = HWriteWindow::open(book->session);
        QVERIFY(w.focused(u"Text2"_s));
        w.retype(u"DBCombo1"_s, u"未保存の語"_s);
        if (from == u"application"_s) {
            QWidget other;
            QVERIFY(activate(&other) && activate(w.form));
        } else if (from == u"menu"_s) {
            QTimer::singleShot(50, [] {
                if (QWidget* menu = QApplication::activePopupWidget())
                    menu->close();
            });
            QContextMenuEvent menu(QContextMenuEvent::Keyboard, QPoint(4, 4));
            QApplication::sendEvent(w.get<QAbstractScrollArea>(u"Text2"_s)->viewport(), &menu);
        } else if (from == u"program"_s) {
            w.get(u"Command5"_s)->setFocus(Qt::TabFocusReason);
            ORVAM::instance(book->session)->showForm();
            QVERIFY(activate(ORVAM::instance(book->session)) && activate(w.form));
        } else if (from == u"popup"_s) {
            QFocusEvent back(QEvent::FocusIn, Qt::PopupFocusReason); // as Qt gives it when a popup closes
            QApplication::sendEvent(w.get(u"Text2"_s), &back);
        } else {
            QTimer::singleShot(50, [] {
                if (QWidget* box = QApplication::activeModalWidget())
                    box->close();
            });
            MessageBox::real().ask({u"別の知らせ"_s, u"オルバレント"_s});
            QVERIFY(activate(w.form)); // as the window system gives the window back its focus
        }
        QTRY_VERIFY(w.focused(u"Text2"_s));
        QCOMPARE(stored(id, u"ｷｰﾜｰﾄﾞ"_s), from == u"program"_s ? u"未保存の語"_s : First.keyword);
        w.get(u"Text4"_s)->setFocus(Qt::MouseFocusReason);
        w.clickInto(u"Text2"_s);
        QCOMPARE(stored(id, u"ｷｰﾜｰﾄﾞ"_s), u"未保存の語"_s);
    }

    // The lists are read at load in order until one fails; SQL_SET passes over a failing list.
    void loadEndsAtTheFirstListThatFails()
    {
        book->exec(u"DROP TABLE パス"_s); // the list of registered applications cannot be read
        book->addMemo({"2024/05/01", "", "印刷", "", "", "APP", "一件目"});
        HWriteWindow w = HWriteWindow::open(book->session);
        QVERIFY(w.get<ComboBox>(u"DBCombo1"_s)->listItems().contains(u"印刷"_s));
        QVERIFY2(w.get<ComboBox>(u"DBCombo7"_s)->listItems().isEmpty(), "the list after the failing one is not read");
        w.click(u"Command7"_s);
        QCOMPARE(w.get<ComboBox>(u"DBCombo7"_s)->listItems(), QStringList{u"APP"_s});
    }

    // A memo table that cannot be read ends the load before the lists: the window offers
    // nothing from a damaged memo book, not even the registered applications.
    void loadEndsWhenTheMemosCannotBeRead()
    {
        book->addApplication(u"APP"_s, u"/bin/app"_s);
        book->addMemo(First);
        const qint64 root = book->scalar(u"SELECT rootpage FROM sqlite_master WHERE name = 'メモ帳'"_s).toLongLong();
        const qint64 pageSize = book->scalar(u"PRAGMA page_size"_s).toLongLong();
        QFile file(book->dbPath());
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.seek((root - 1) * pageSize) && file.write(QByteArray(pageSize, '\xff')) == pageSize);
        QVERIFY(file.seek(24) &&
                file.write("\xff\xff\xff\xff", 4) == 4); // a new change count: open connections read the file anew
        file.close();
        // Starting a new memo fails as well, and so does storing on entering the memo box.
        fakes->messageBox.answers << MessageBox::Answer::Ok << MessageBox::Answer::Ok;
        HWriteWindow w = HWriteWindow::open(book->session);
        QCOMPARE(fakes->messageBox.asked.value(0).text, Messages::AddFailure);
        QCOMPARE(w.get<ComboBox>(u"DBCombo3"_s)->listItems(), QStringList());
    }

    void keysForTheViewerNeedAKeyword_data()
    {
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<bool>("keys");
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("one blank") << u" "_s << false;
        QTest::newRow("two blanks") << u"  "_s << true;
        QTest::newRow("a word") << u"ワード"_s << true;
    }

    // The file of a memo not registered opens in the help viewer; the keys follow only for a
    // keyword that is more than one blank.
    void keysForTheViewerNeedAKeyword()
    {
        QFETCH(QString, keyword);
        QFETCH(bool, keys);
        book->addMemo({"2024/05/01", "/doc/a.hlp", keyword, "", "", "", ""});
        HWriteWindow w = HWriteWindow::open(book->session);
        w.click(u"Command2"_s);
        QCOMPARE(fakes->processStarter.started.value(0).commandLine, u"WINHLP32.EXE /doc/a.hlp"_s);
        QCOMPARE(fakes->keySender.keys(), (keys ? QStringList{u"%I"_s, keyword, u"%D"_s} : QStringList()));
    }

    // Entering the memo box stores a picked keyword at once, but not a date typed without Enter.
    // Enter, the keypad's too, takes the date, shows it long and goes on to the keyword; the next
    // move stores it.
    void keywordAndDateBox()
    {
        const qint64 id = book->addMemo(First);
        book->addMemo(Second);
        HWriteWindow w = HWriteWindow::open(book->session);
        auto* keyword = w.get<ComboBox>(u"DBCombo1"_s);
        w.get(u"Text3"_s)->setFocus(Qt::MouseFocusReason);
        w.retype(u"Text3"_s, u"2025/01/02"_s);
        keyword->setFocus(Qt::MouseFocusReason);
        keyword->setCurrentIndex(keyword->findText(u"保存"_s));
        w.clickInto(u"Text2"_s);
        QCOMPARE(w.id(), id);
        QCOMPARE(stored(id, u"ｷｰﾜｰﾄﾞ"_s), u"保存"_s);
        QCOMPARE(w.text(u"Text3"_s), u"2024年5月1日"_s);
        // A new keyword is stored the same way but not yet offered in the list.
        w.retype(u"DBCombo1"_s, u"新語"_s);
        w.get(u"Text3"_s)->setFocus(Qt::MouseFocusReason);
        QCOMPARE(stored(id, u"ｷｰﾜｰﾄﾞ"_s), u"新語"_s);
        QVERIFY(!keyword->listItems().contains(u"新語"_s));
        w.retype(u"Text3"_s, u"2025/1/2"_s);
        QTest::keyClick(w.get(u"Text3"_s), Qt::Key_Enter, Qt::KeypadModifier);
        QVERIFY(w.focused(u"DBCombo1"_s));
        QCOMPARE(w.text(u"Text3"_s), u"2025年1月2日"_s);
        QCOMPARE(stored(id, u"日付"_s), First.date);
        w.click(u"Command5"_s);
        QCOMPARE(stored(id, u"日付"_s), u"2025/1/2"_s);
    }

    void memoLineEnds_data()
    {
        QTest::addColumn<QString>("memo");  // as stored
        QTest::addColumn<QString>("typed"); // at the end of the memo box; nothing: only looked at
        QTest::addColumn<bool>("cancelled");
        QTest::addColumn<QString>("after"); // as stored after moving about and closing
        const QString lf = u"一行目\n二行目"_s;
        QTest::newRow("CR LF, looked at")
            << u"一行目\r\n二行目\r\n"_s << QString() << false << u"一行目\r\n二行目\r\n"_s;
        QTest::newRow("LF, looked at") << lf << QString() << false << lf;
        QTest::newRow("CR, looked at") << u"一行目\r二行目"_s << QString() << false << u"一行目\r二行目"_s;
        QTest::newRow("LF, edited") << lf << u"。"_s << false << u"一行目\r\n二行目。"_s;
        QTest::newRow("LF, edited, cancelled") << lf << u"。"_s << true << lf;
        QTest::newRow("a line added") << u"一行目\r\n二行目"_s << u"\n三行目"_s << false
                                      << u"一行目\r\n二行目\r\n三行目"_s;
    }

    // Memos keep CR LF line ends: one that is only looked at is never written, whatever its line
    // ends; an edited one is stored with CR LF, however its lines were typed.
    void memoLineEnds()
    {
        QFETCH(QString, memo);
        QFETCH(QString, typed);
        QFETCH(bool, cancelled);
        const qint64 id = book->addMemo({"2024/05/01", "", "鍵", "", "", "", memo});
        book->addMemo(Second);
        HWriteWindow w = HWriteWindow::open(book->session);
        w.clickInto(u"Text2"_s); // stores by moving back and forth
        if (!typed.isEmpty()) {
            auto* box = w.get<QPlainTextEdit>(u"Text2"_s);
            box->moveCursor(QTextCursor::End);
            box->insertPlainText(typed);
        }
        if (cancelled)
            w.click(u"Command8"_s);
        w.click(u"Command5"_s);
        w.click(u"Command4"_s);
        w.click(u"Command11"_s);
        QTEST(stored(id, u"メモ"_s), "after");
    }

    void typingIsStoredExactlyOnClose_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("how"); // closed by its exit button, its close box or the main window's exit
        QTest::newRow("apostrophe, close box") << u"DBCombo1"_s << u"ｷｰﾜｰﾄﾞ"_s << u"it's' OR 1=1 --"_s << u"close"_s;
        QTest::newRow("full-width") << u"Text4"_s << u"ヘルプファイル"_s << u"ＡＢＣ　全角'％"_s << u"ORVAM"_s;
        QTest::newRow("keystroke signs") << u"DBCombo7"_s << u"予備１"_s << u"100%+C{F1}"_s << u"Command11"_s;
        QTest::newRow("100,000 characters") << u"Text2"_s << u"メモ"_s << QString(100000, u'あ') << u"close"_s;
        QTest::newRow("date that is no date") << u"Text3"_s << u"日付"_s << u"来週の月曜日"_s << u"ORVAM"_s;
    }

    // What was typed and not saved is stored as typed when the window closes, and shown so again.
    void typingIsStoredExactlyOnClose()
    {
        QFETCH(QString, control);
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(QString, how);
        const qint64 id = book->addMemo(First);
        ORVAM::instance(book->session)->showForm();
        HWriteWindow w = HWriteWindow::open(book->session);
        w.retype(control, value);
        if (control == u"Text3"_s)
            QTest::keyClick(w.get(control), Qt::Key_Return);
        if (how == u"close"_s)
            w.form->close();
        else if (how == u"ORVAM"_s)
            findRequired<QAbstractButton>(ORVAM::instance(book->session), u"Command3"_s)->click();
        else
            w.click(how);
        QVERIFY(!H_WRITE::isLoaded());
        QCOMPARE(stored(id, field), value);
        QCOMPARE(HWriteWindow::open(book->session).text(control), value);
    }
};

ORV_TEST_MAIN(TestHWrite)
#include "tst_h_write.moc"
