// The entry window: what it opens on, adds, keeps and stores, and the entry fields.
#include "db/Messages.h"
#include "help_registration/H_WRITE.h"
#include "platform/ComboBox.h"
#include "platform/MemoBox.h"
#include "startup/Globals.h"
#include "startup/ORVAM.h"
#include "support/TestMain.h"
#include "support/WindowTestFixture.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMetaProperty>

namespace {

// Types text into a control as a keyboard would, Japanese included, over what it holds.
void retype(QWidget* control, const QString& text)
{
    if (auto* combo = qobject_cast<QComboBox*>(control))
        control = combo->lineEdit();
    QMetaObject::invokeMethod(control, "selectAll");
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, text);
    QApplication::sendEvent(control, &press);
}

// The widget that has the keyboard focus, seen through focus proxies.
bool hasFocus(QWidget* control)
{
    QWidget* focus = QApplication::focusWidget();
    return focus && (focus == control || control->isAncestorOf(focus) || focus->focusProxy() == control);
}

const MemoBook::Memo First{"2024/05/01", "", "印刷", "", "", "", "一件目"};
const MemoBook::Memo Second{"2024/06/01", "", "保存", "鍵", "", "", "二件目"};

} // namespace

struct HWriteWindow : OpenedForm<H_WRITE, HWriteWindow>
{
    qint64 id() const { return get<QLabel>(QStringLiteral("Label1"))->text().toLongLong(); }
    MemoBox* memo() const { return get<MemoBox>(QStringLiteral("Text2")); }
    ComboBox* combo(const QString& name) const { return get<ComboBox>(name); }
    // What an entry field shows.
    QString text(const QString& name) const
    {
        QWidget* c = get(name);
        return c->metaObject()->userProperty().read(c).toString();
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

    QString stored(qint64 id, const QString& field)
    {
        return book->scalar(QStringLiteral("SELECT %1 FROM メモ帳 WHERE ID = %2").arg(field).arg(id)).toString();
    }
    int memoCount() { return book->count(QStringLiteral("メモ帳")); }

private Q_SLOTS:
    void init() { QVERIFY(setUp()); }
    void cleanup() { tearDown(); }

    void captionsAndTabOrder()
    {
        HWriteWindow w = HWriteWindow::open();
        QCOMPARE(w.form->windowTitle(), QStringLiteral("ヘルプ登録"));
        const std::pair<const char*, const char*> captions[] = {
            {"Label2(0)", "ID"},      {"Label2(1)", "日付"},       {"Label3", "表示ﾌｧｲﾙ"},
            {"Label2(2)", "ｷｰﾜｰﾄﾞ"},  {"Label2(3)", "検索キー１"}, {"Label2(4)", "検索キー２"},
            {"Label4", "アプリＩＤ"}, {"Label2(5)", "メモ"},       {"Command2", "設定ファイル表示"},
            {"Command12", "設定"},    {"Command1", "ヘルプ"},      {"Command13", "アプリケーション登録"},
            {"Command3", "先頭"},     {"Command4", "前"},          {"Command5", "次"},
            {"Command6", "最後"},     {"Command7", "保存"},        {"Command8", "取消"},
            {"Command9", "追加"},     {"Command10", "削除"},       {"Command11", "終了"}};
        for (const auto& [name, caption] : captions) {
            QWidget* c = w.get(QString::fromUtf8(name));
            auto* label = qobject_cast<QLabel*>(c);
            QCOMPARE(label ? label->text() : static_cast<QAbstractButton*>(c)->text(), QString::fromUtf8(caption));
            const int room = label ? label->contentsRect().width() : c->width() - 4;
            QVERIFY2(c->fontMetrics().horizontalAdvance(QString::fromUtf8(caption)) <= room, name);
        }
        const QStringList order = {"Text4",     "DBCombo1",  "DBCombo4", "DBCombo2",  "Text2",     "Command2",
                                   "Command12", "Command1",  "Command3", "Command4",  "Command5",  "Command6",
                                   "Command7",  "Command8",  "Command9", "Command10", "Command11", "Text3",
                                   "DBCombo7",  "Command13", "DBCombo3", "Text4"};
        w.get("Text4")->setFocus(Qt::TabFocusReason);
        for (const QString& name : order) {
            QVERIFY2(hasFocus(w.get(name)), qPrintable(name));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
    }

    void opening_data()
    {
        QTest::addColumn<bool>("empty");
        QTest::newRow("empty memo book") << true;
        QTest::newRow("two memos") << false;
    }

    // An empty memo book gets a first memo of today; a filled one shows its first and adds none.
    void opening()
    {
        QFETCH(bool, empty);
        if (!empty) {
            book->addMemo(First);
            book->addMemo(Second);
        }
        HWriteWindow w = HWriteWindow::open();
        QCOMPARE(memoCount(), empty ? 1 : 2);
        QCOMPARE(w.id(), book->scalar(QStringLiteral("SELECT min(ID) FROM メモ帳")).toLongLong());
        QCOMPARE(stored(w.id(), "日付"), empty ? QStringLiteral("2026/12/06") : QStringLiteral("2024/05/01"));
        QCOMPARE(w.text("Text3"), empty ? QStringLiteral("2026年12月6日") : QStringLiteral("2024年5月1日"));
        QCOMPARE(w.text("Text2"), empty ? QString() : QStringLiteral("一件目"));
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
        const qint64 first = book->addMemo(First);
        const qint64 second = book->addMemo(Second);
        EditMemoId = exists ? second : second + 100;
        HWriteWindow w = HWriteWindow::open();
        QVERIFY(w.combo("DBCombo1")->listItems().contains(QStringLiteral("印刷"))); // all memos' keywords
        if (exists) {
            QCOMPARE(w.id(), second);
            QCOMPARE(memoCount(), 2);
        } else {
            // A memo that is gone: the window starts a new one.
            QCOMPARE(memoCount(), 3);
            QVERIFY(w.id() > second);
            QCOMPARE(stored(w.id(), "日付"), QStringLiteral("2026/12/06"));
        }
        // The moves stay within the memo opened, also after showing it again for another memo.
        const qint64 shown = w.id();
        EditMemoId = first;
        QCOMPARE(HWriteWindow::open().form, w.form);
        w.click("Command3");
        QCOMPARE(w.id(), shown);
    }

    void twoAddsStoreTwoDatedMemos()
    {
        book->addMemo(First);
        HWriteWindow w = HWriteWindow::open();
        w.click("Command9");
        const qint64 firstAdded = w.id();
        w.click("Command9");
        const qint64 secondAdded = w.id();

        QCOMPARE(memoCount(), 3);
        QCOMPARE(stored(firstAdded, "日付"), QStringLiteral("2026/12/06"));
        QCOMPARE(stored(secondAdded, "日付"), QStringLiteral("2026/12/06"));
        QVERIFY(hasFocus(w.memo()));
        w.click("Command4");
        QCOMPARE(w.id(), firstAdded);
    }

    void unsavedTypingIsStoredOnClose_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("exit button") << "Command11";
        QTest::newRow("close box") << "close";
        QTest::newRow("main window's exit") << "ORVAM";
    }

    void unsavedTypingIsStoredOnClose()
    {
        QFETCH(QString, how);
        const qint64 id = book->addMemo({"2024/05/01", "", "", "", "", "", ""});
        ORVAM* main = ORVAM::instance();
        main->showForm();
        HWriteWindow w = HWriteWindow::open();
        retype(w.memo(), QStringLiteral("まだ保存していないメモ"));
        retype(w.combo("DBCombo4"), QStringLiteral("鍵'1"));
        if (how == QLatin1String("Command11"))
            w.click("Command11");
        else if (how == QLatin1String("close"))
            w.form->close();
        else
            findRequired<QAbstractButton>(main, QStringLiteral("Command3"))->click();
        QVERIFY(!H_WRITE::isLoaded());
        QCOMPARE(stored(id, "メモ"), QStringLiteral("まだ保存していないメモ"));
        QCOMPARE(stored(id, "検索キー１"), QStringLiteral("鍵'1"));
    }

    // After the only memo is deleted, entering the memo or date box cannot store and warns;
    // coming back from another window starts a new memo.
    void deletingTheOnlyMemo_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("message");
        QTest::newRow("memo box") << "Text2" << Messages::SaveFailure;
        QTest::newRow("date box") << "Text3" << Messages::SaveFailureDateBox;
    }

    void deletingTheOnlyMemo()
    {
        QFETCH(QString, box);
        QFETCH(QString, message);
        book->addMemo(First);
        ORVAM* main = ORVAM::instance();
        main->showForm();
        HWriteWindow w = HWriteWindow::open();
        fakes->messageBox.answers.enqueue(MessageBox::Answer::Yes);
        QTest::mouseClick(w.get("Command10"), Qt::LeftButton); // takes the focus from the memo box
        QCOMPARE(memoCount(), 0);

        fakes->messageBox.answers.enqueue(MessageBox::Answer::Ok);
        w.clickInto(box);
        QCOMPARE(fakes->messageBox.asked.size(), 2);
        QCOMPARE(fakes->messageBox.asked.last().text, message);
        QCOMPARE(messageLines(message).last().contains(QStringLiteral("取消すか")), box == QLatin1String("Text2"));
        // The focus coming back from the message box does not warn again.
        QWidget messageWindow;
        QVERIFY(activate(&messageWindow));
        QVERIFY(activate(w.form));
        QVERIFY(hasFocus(w.get(box)));
        QCOMPARE(fakes->messageBox.asked.size(), 2);

        QVERIFY(activate(main));
        QVERIFY(activate(w.form));
        QCOMPARE(memoCount(), 1);
        QCOMPARE(stored(w.id(), "日付"), QStringLiteral("2026/12/06"));
        QVERIFY(hasFocus(w.memo()));
    }

    void dateBox_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("key"); // 0: the user clicks into the memo box instead
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("shown");
        auto row = [](const char* tag, const QString& typed, int key, const QString& date, const QString& shown) {
            QTest::newRow(tag) << typed << key << date << shown;
        };
        row("typed without Enter", "2025/01/02", 0, "2024/05/01", "2024年5月1日");
        row("Enter", "2025/1/2", Qt::Key_Return, "2025/1/2", "2025年1月2日");
        row("keypad Enter", "2025年12月31日", Qt::Key_Enter, "2025年12月31日", "2025年12月31日");
    }

    void dateBox()
    {
        QFETCH(QString, typed);
        QFETCH(int, key);
        QFETCH(QString, date);
        QFETCH(QString, shown);
        const qint64 id = book->addMemo(First);
        book->addMemo(Second);
        HWriteWindow w = HWriteWindow::open();
        w.get("Text3")->setFocus(Qt::MouseFocusReason);
        retype(w.get("Text3"), typed);
        if (key) {
            QTest::keyClick(w.get("Text3"), Qt::Key(key));
            QVERIFY(hasFocus(w.combo("DBCombo1")));
        } else {
            w.clickInto("Text2");
        }
        QCOMPARE(w.text("Text1"), date);
        QCOMPARE(w.text("Text3"), shown);
        // Stored with the next save or move, not before.
        QCOMPARE(stored(id, "日付"), QStringLiteral("2024/05/01"));
        w.click("Command5");
        QCOMPARE(stored(id, "日付"), date);
    }

    void pickedKeywordIsStoredByEnteringTheMemoBox()
    {
        const qint64 id = book->addMemo(First);
        book->addMemo(Second);
        HWriteWindow w = HWriteWindow::open();
        ComboBox* keyword = w.combo("DBCombo1");
        keyword->setFocus(Qt::MouseFocusReason);
        keyword->setCurrentIndex(keyword->findText(QStringLiteral("保存")));
        w.clickInto("Text2");
        QCOMPARE(stored(id, "ｷｰﾜｰﾄﾞ"), QStringLiteral("保存"));
        QCOMPARE(w.id(), id);

        // A new keyword is stored the same way but not yet offered in the list.
        keyword->setFocus(Qt::MouseFocusReason);
        retype(keyword, QStringLiteral("新語"));
        w.clickInto("Text2");
        QCOMPARE(stored(id, "ｷｰﾜｰﾄﾞ"), QStringLiteral("新語"));
        QVERIFY(!keyword->listItems().contains(QStringLiteral("新語")));
    }

    void choosingTheMemoFile()
    {
        const qint64 id = book->addMemo({"2024/05/01", "/old/file.txt", "", "", "", "", "一件目"});
        HWriteWindow w = HWriteWindow::open();
        fakes->fileDialog.answers.enqueue(std::nullopt);
        w.click("Command12");
        QCOMPARE(w.text("Text4"), QStringLiteral("/old/file.txt"));

        const QString chosen = QStringLiteral("/home/利用者/説明 書/it's 100%.HLP");
        fakes->fileDialog.answers.enqueue(chosen);
        w.click("Command12");
        QCOMPARE(fakes->fileDialog.asked.last().title, QStringLiteral("ヘルプファイルを登録して下さい"));
        w.click("Command7");
        QCOMPARE(stored(id, "ヘルプファイル"), chosen);
    }

    void copyingTheApplicationId()
    {
        book->addApplication(QStringLiteral("ワード'97"), QStringLiteral("/usr/bin/word"));
        const qint64 id = book->addMemo({"2024/05/01", "", "", "", "", "XL", "一件目"});
        HWriteWindow w = HWriteWindow::open();
        QCOMPARE(w.text("DBCombo3"), QString());
        w.click("Command13");
        QCOMPARE(w.text("DBCombo7"), QString());
        w.click("Command7");
        QCOMPARE(stored(id, "予備１"), QString());
    }

    void openingTheFileWithAnEmptyKeywordSendsNoKeys()
    {
        book->addApplication(QStringLiteral("HLP"), QStringLiteral("/usr/bin/ignored"));
        book->addMemo({"2024/05/01", "/help/a b.html", "", "", "", "HLP", "一件目"});
        HWriteWindow w = HWriteWindow::open();
        w.click("Command2");
        QCOMPARE(fakes->processStarter.started.size(), 1);
        QCOMPARE(fakes->processStarter.started[0].commandLine, QStringLiteral("WINHLP32.EXE /help/a b.html"));
        QCOMPARE(fakes->processStarter.started[0].arguments, QStringList{QStringLiteral("/help/a b.html")});
        QVERIFY(fakes->keySender.sent.isEmpty());
    }

    void awkwardValuesAreStoredAndShownAsTyped_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        auto row = [](const char* tag, const QString& control, const QString& field, const QString& value) {
            QTest::newRow(tag) << control << field << value;
        };
        row("apostrophe", "DBCombo1", "ｷｰﾜｰﾄﾞ", "it's");
        row("query text", "DBCombo1", "ｷｰﾜｰﾄﾞ", "' OR 1=1 --");
        row("percent", "DBCombo4", "検索キー１", "100%");
        row("plus", "DBCombo2", "検索キー２", "C++");
        row("brace", "DBCombo7", "予備１", "{F1}");
        row("full-width", "Text4", "ヘルプファイル", "ＡＢＣ　全角'％");
        row("memo of 100,000 characters", "Text2", "メモ", QString(100000, QChar(u'あ')));
        row("date that is no date", "Text3", "日付", "来週の月曜日");
    }

    void awkwardValuesAreStoredAndShownAsTyped()
    {
        QFETCH(QString, control);
        QFETCH(QString, field);
        QFETCH(QString, value);
        const qint64 first = book->addMemo({"2024/05/01", "", "", "", "", "", ""});
        book->addMemo(Second);
        HWriteWindow w = HWriteWindow::open();
        retype(w.get(control), value);
        if (control == QLatin1String("Text3"))
            QTest::keyClick(w.get(control), Qt::Key_Return);
        w.click("Command7");
        QVERIFY(fakes->messageBox.asked.isEmpty());
        QCOMPARE(stored(first, field), value);

        w.click("Command6");
        w.click("Command3");
        QCOMPARE(w.id(), first);
        QCOMPARE(w.text(control), value);
    }

    // A database that refuses the write: the message, and the typing stays to be saved later.
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
        const qint64 id = book->addMemo(First);
        HWriteWindow w = HWriteWindow::open();
        w.get("Command7")->setFocus();
        retype(w.combo("DBCombo1"), QStringLiteral("拒まれる語"));
        book->exec(
            QStringLiteral("CREATE TRIGGER refuse BEFORE UPDATE ON メモ帳 BEGIN SELECT RAISE(ABORT, 'refused'); END"));
        fakes->messageBox.answers.enqueue(MessageBox::Answer::Ok);
        w.clickInto(how);
        QCOMPARE(fakes->messageBox.asked.size(), 1);
        QCOMPARE(fakes->messageBox.asked.last().text, message);
        QCOMPARE(w.text("DBCombo1"), QStringLiteral("拒まれる語"));
        QCOMPARE(stored(id, "ｷｰﾜｰﾄﾞ"), QStringLiteral("印刷"));

        book->exec(QStringLiteral("DROP TRIGGER refuse"));
        w.click("Command7");
        QCOMPARE(stored(id, "ｷｰﾜｰﾄﾞ"), QStringLiteral("拒まれる語"));
    }
};

ORV_TEST_MAIN(TestHWrite)
#include "tst_h_write.moc"
