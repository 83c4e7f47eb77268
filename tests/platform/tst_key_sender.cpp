#include "platform/KeySender.h"
#include "support/Fakes.h"
#include "support/TestMain.h"
#include "support/Widgets.h"
#include "widgets/Form.h"

#include <QLineEdit>
#include <QPushButton>

// A window of the program with a help topic of its own: two boxes, then a button with mnemonic X.
struct TypingForm : Form
{
    TypingForm() : Form(QStringLiteral("T_FORM"), QStringLiteral("テスト"), 3000, 1500) {}
    QLineEdit* edit = new QLineEdit(client());
    QLineEdit* second = new QLineEdit(client());
    QPushButton* button = new QPushButton(QStringLiteral("&X ボタン"), client());
};

class TestKeySender : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<PlatformFakes> m_fakes; // all but the sender

private Q_SLOTS:
    void init()
    {
        m_fakes = std::make_unique<PlatformFakes>();
        KeySender::setInstance(nullptr);
        HelpViewer::setApplicationHelpFile(QStringLiteral("/opt/orv/ｵﾙﾊﾞﾚﾝﾄ.HLP"));
    }
    void cleanup() { closeAllForms(), m_fakes.reset(); }

    // The boxes ("first|second") and what else happened once send returns; malformed keys send nothing.
    void typing_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("boxes");
        QTest::addColumn<QString>("effect");
        auto row = [](const char* n, QString k, QString b, QString e = {}) { QTest::newRow(n) << k << b << e; };
        row("shift, groups, specials", "Ab1 +a+(bc)d C{+}{+} {%}{~}{(}{)}", "Ab1 ABCd C++ %~()|");
        row("japanese", "日本語のメモ", "日本語のメモ|");
        row("editing keys", "bcx{BS}{HOME}a{END}{LEFT 2}-", "a-bc|");
        row("ctrl selects all, alt types nothing", "old^anew%qx", "newx|");
        row("later keys follow the focus", "ab{TAB}cd", "ab|cd");
        row("mnemonic clicks the button", "%X", "|", "clicked");
        row("F1 opens the window's topic", "{F1}", "|", "ｵﾙﾊﾞﾚﾝﾄ.HLP#T_FORM");
        row("unclosed brace at the end", "abc{", "|", "failed");
        row("unbalanced parentheses", "+(ab", "|", "failed");
    }

    void typing()
    {
        auto* form = new TypingForm;
        QVERIFY(activate(form)); // the focus in its first box
        QStringList effects;
        connect(form->button, &QPushButton::clicked, this, [&effects] { effects += QStringLiteral("clicked"); });
        QFETCH(QString, keys);
        const Result r = KeySender::instance().send(keys, true);
        QTEST(form->edit->text() + QLatin1Char('|') + form->second->text(), "boxes");
        if (!r.ok && !r.message.isEmpty()) // a failure says why
            effects += QStringLiteral("failed");
        for (const FakeHelpViewer::Shown& shown : m_fakes->helpViewer.shown)
            effects += shown.path.section(QLatin1Char('/'), -1) + QLatin1Char('#') + shown.topic;
        QFETCH(QString, effect);
        QTRY_COMPARE(effects.join(QLatin1Char(' ')), effect);
    }

    void noWindowNoKeys()
    {
        QTRY_VERIFY(!QApplication::activeWindow());
        QVERIFY(!KeySender::instance().send(QStringLiteral("a"), true).ok);
    }
};

ORV_TEST_MAIN(TestKeySender)
#include "tst_key_sender.moc"
