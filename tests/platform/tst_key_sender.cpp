#include "db/CommandRow.h"
#include "platform/Form.h"
#include "platform/KeySender.h"
#include "startup/ORVAM.h"
#include "support/Fakes.h"
#include "support/MemoBook.h"
#include "support/TestMain.h"
#include "support/Widgets.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

namespace {

// A window with a line edit that has the focus, as a user would type into it.
struct TypingWindow
{
    TypingWindow()
    {
        auto* layout = new QVBoxLayout(&window);
        edit = new QLineEdit;
        button = new QPushButton(QStringLiteral("&X ボタン"));
        layout->addWidget(edit);
        layout->addWidget(button);
    }
    bool activate()
    {
        if (!::activate(&window))
            return false;
        edit->setFocus();
        return edit->hasFocus();
    }
    QWidget window;
    QLineEdit* edit;
    QPushButton* button;
};

// A window of the program, with a help topic of its own.
class TopicForm : public Form
{
public:
    TopicForm() : Form(QStringLiteral("T_FORM"), QStringLiteral("テスト"), 3000, 1500)
    {
        edit = new QLineEdit(client());
        edit->setObjectName(QStringLiteral("Text1"));
    }
    QLineEdit* edit;
};

} // namespace

class TestKeySender : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<PlatformFakes> m_fakes;

private Q_SLOTS:
    void init()
    {
        m_fakes = std::make_unique<PlatformFakes>();
        // The real sender, with the other services faked.
        KeySender::setInstance(nullptr);
        HelpViewer::setApplicationHelpFile(QStringLiteral("/opt/orv/ｵﾙﾊﾞﾚﾝﾄ.HLP"));
    }

    void cleanup()
    {
        closeAllForms();
        m_fakes.reset();
    }

    void typing_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("text");

        QTest::newRow("letters") << "abc"
                                 << "abc";
        QTest::newRow("capitals and digits") << "Ab1 Z"
                                             << "Ab1 Z";
        QTest::newRow("shift") << "+a+(bc)d"
                               << "ABCd";
        QTest::newRow("japanese") << "日本語のメモ"
                                  << "日本語のメモ";
        QTest::newRow("escaped specials") << "C{+}{+} {%}{~}{(}{)}"
                                          << "C++ %~()";
        QTest::newRow("backspace") << "abx{BS}c"
                                   << "abc";
        QTest::newRow("home and repeat") << "bc{HOME}a{END}{LEFT 2}-"
                                         << "a-bc";
        QTest::newRow("ctrl selects all") << "old^anew"
                                          << "new";
        QTest::newRow("alt types nothing") << "a%qb"
                                           << "ab";
    }

    void typing()
    {
        QFETCH(QString, keys);
        TypingWindow w;
        QVERIFY(w.activate());
        const Result r = KeySender::instance().send(keys, true);
        QVERIFY2(r.ok, qPrintable(r.message));
        QTEST(w.edit->text(), "text");
    }

    void malformedSendsNothing_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::newRow("unclosed brace at the end") << "abc{";
        QTest::newRow("unknown key") << "ab{F99}";
        QTest::newRow("alt at the end") << "abc%";
        QTest::newRow("unbalanced parentheses") << "+(ab";
    }

    void malformedSendsNothing()
    {
        QFETCH(QString, keys);
        TypingWindow w;
        QVERIFY(w.activate());
        const Result r = KeySender::instance().send(keys, true);
        QVERIFY(!r.ok);
        QVERIFY(!r.message.isEmpty());
        QCOMPARE(w.edit->text(), QString());
    }

    void altReachesShortcut()
    {
        TypingWindow w;
        int fired = 0;
        auto* shortcut = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_K), &w.window);
        connect(shortcut, &QShortcut::activated, this, [&fired] { ++fired; });
        QVERIFY(w.activate());
        QVERIFY(KeySender::instance().send(QStringLiteral("%K"), true).ok);
        QCOMPARE(fired, 1);
        // Ctrl+K is another key.
        QVERIFY(KeySender::instance().send(QStringLiteral("^k"), true).ok);
        QCOMPARE(fired, 1);
        QCOMPARE(w.edit->text(), QString());
    }

    void mnemonicClicksButton()
    {
        TypingWindow w;
        int clicks = 0;
        connect(w.button, &QPushButton::clicked, this, [&clicks] { ++clicks; });
        QVERIFY(w.activate());
        QVERIFY(KeySender::instance().send(QStringLiteral("%X"), false).ok);
        QTRY_COMPARE(clicks, 1);
        QCOMPARE(w.edit->text(), QString());
    }

    // Later keys go where earlier keys moved the focus.
    void keysFollowTheFocus()
    {
        TypingWindow w;
        auto* second = new QLineEdit;
        w.window.layout()->addWidget(second);
        QVERIFY(w.activate());
        QVERIFY(KeySender::instance().send(QStringLiteral("ab{TAB}"), true).ok);
        // Tab moved on to the button, the next one to the second box.
        QVERIFY(KeySender::instance().send(QStringLiteral("{TAB}cd"), true).ok);
        QCOMPARE(w.edit->text(), QStringLiteral("ab"));
        QCOMPARE(second->text(), QStringLiteral("cd"));
    }

    void waitingRunsPostedWork()
    {
        TypingWindow w;
        QString seen;
        connect(
            w.edit, &QLineEdit::textChanged, this, [&seen](const QString& t) { seen = t; }, Qt::QueuedConnection);
        QVERIFY(w.activate());
        QVERIFY(KeySender::instance().send(QStringLiteral("x"), false).ok);
        // Without waiting, the keys are in but what they set off has not run yet.
        QCOMPARE(w.edit->text(), QStringLiteral("x"));
        QCOMPARE(seen, QString());
        QVERIFY(KeySender::instance().send(QStringLiteral("y"), true).ok);
        QCOMPARE(seen, QStringLiteral("xy"));
    }

    void noWindowNoKeys()
    {
        closeAllForms();
        for (QWidget* w : QApplication::topLevelWidgets())
            w->hide();
        QTRY_VERIFY(!QApplication::activeWindow());
        const Result r = KeySender::instance().send(QStringLiteral("a"), true);
        QVERIFY(!r.ok);
    }

    // F1 sent as keys opens the help topic of the window that has the focus.
    void f1OpensTopicOfFocusedForm()
    {
        auto* form = new TopicForm;
        QVERIFY(activate(form));
        form->edit->setFocus();
        QVERIFY(KeySender::instance().send(QStringLiteral("{F1}"), false).ok);
        QCOMPARE(m_fakes->helpViewer.shown.size(), 1);
        QCOMPARE(m_fakes->helpViewer.shown.at(0).path, QStringLiteral("/opt/orv/ｵﾙﾊﾞﾚﾝﾄ.HLP"));
        QCOMPARE(m_fakes->helpViewer.shown.at(0).topic, QStringLiteral("T_FORM"));
        QCOMPARE(form->edit->text(), QString());

        // The help buttons of the editing windows press F1 the same way.
        CommandRow::help();
        QCOMPARE(m_fakes->helpViewer.shown.size(), 2);
        QCOMPARE(m_fakes->helpViewer.shown.at(1).topic, QStringLiteral("T_FORM"));
    }

    void helpMenuOpensMainWindowTopic()
    {
        MemoBook book;
        QVERIFY(book.isValid());
        ORVAM* main = ORVAM::instance();
        QVERIFY(activate(main));
        auto* help = findRequired<QAction>(main, QStringLiteral("HELP_PRN"));
        help->trigger();
        QCOMPARE(m_fakes->helpViewer.shown.size(), 1);
        QCOMPARE(m_fakes->helpViewer.shown.at(0).topic, QStringLiteral("ORVAM"));
    }
};

ORV_TEST_MAIN(TestKeySender)
#include "tst_key_sender.moc"
