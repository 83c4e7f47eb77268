#include "platform/Form.h"
#include "platform/KeySender.h"
#include "support/Fakes.h"
#include "support/TestMain.h"
#include "support/Widgets.h"

#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

// A window of the program with a help topic of its own: two boxes, then a button with mnemonic X.
class TypingForm : public Form
{
public:
    TypingForm() : Form(QStringLiteral("T_FORM"), QStringLiteral("テスト"), 3000, 1500)
    {
        auto* layout = new QVBoxLayout(client());
        for (QWidget* w : QList<QWidget*>{edit, second, button})
            layout->addWidget(w);
    }
    QLineEdit* edit = new QLineEdit;
    QLineEdit* second = new QLineEdit;
    QPushButton* button = new QPushButton(QStringLiteral("&X ボタン"));
};

class TestKeySender : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<PlatformFakes> m_fakes;
    TypingForm* m_form = nullptr; // active, the focus in its first box

private Q_SLOTS:
    void init()
    {
        m_fakes = std::make_unique<PlatformFakes>();
        KeySender::setInstance(nullptr); // the real sender, the other services faked
        HelpViewer::setApplicationHelpFile(QStringLiteral("/opt/orv/ｵﾙﾊﾞﾚﾝﾄ.HLP"));
        m_form = new TypingForm;
        QVERIFY(activate(m_form));
        m_form->edit->setFocus();
    }

    void cleanup()
    {
        closeAllForms();
        m_fakes.reset();
    }

    // The boxes ("first|second") and what else happened once send returns; malformed keys send nothing.
    void typing_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("boxes");
        QTest::addColumn<QString>("effect");
        auto row = [](const char* name, QString keys, QString boxes, QString effect) {
            QTest::newRow(name) << keys << boxes << effect;
        };
        row("letters, shift, groups, specials", "Ab1 +a+(bc)d C{+}{+} {%}{~}{(}{)}", "Ab1 ABCd C++ %~()|", "");
        row("japanese", "日本語のメモ", "日本語のメモ|", "");
        row("editing keys", "bcx{BS}{HOME}a{END}{LEFT 2}-", "a-bc|", "");
        row("ctrl selects all, alt types nothing", "old^anew%qx", "newx|", "");
        row("later keys follow the focus", "ab{TAB}cd", "ab|cd", "");
        row("mnemonic clicks the button", "%X", "|", "clicked");
        row("F1 opens the window's topic", "{F1}", "|", "ｵﾙﾊﾞﾚﾝﾄ.HLP#T_FORM");
        row("unclosed brace at the end", "abc{", "|", "failed");
        row("unbalanced parentheses", "+(ab", "|", "failed");
    }

    void typing()
    {
        QFETCH(QString, keys);
        QFETCH(QString, effect);
        QString seen; // what the first box reported through the event queue
        connect(
            m_form->edit, &QLineEdit::textChanged, this, [&seen](const QString& t) { seen = t; }, Qt::QueuedConnection);
        QStringList effects;
        connect(m_form->button, &QPushButton::clicked, this, [&effects] { effects += QStringLiteral("clicked"); });
        const Result r = KeySender::instance().send(keys, true);
        QCOMPARE(r.message.isEmpty(), r.ok);
        QTEST(m_form->edit->text() + QLatin1Char('|') + m_form->second->text(), "boxes");
        QCOMPARE(seen, m_form->edit->text());
        if (!r.ok)
            effects += QStringLiteral("failed");
        for (const FakeHelpViewer::Shown& shown : m_fakes->helpViewer.shown)
            effects += shown.path.section(QLatin1Char('/'), -1) + QLatin1Char('#') + shown.topic;
        QTRY_COMPARE(effects.join(QLatin1Char(' ')), effect);
    }

    void noWindowNoKeys()
    {
        closeAllForms();
        QTRY_VERIFY(!QApplication::activeWindow());
        QVERIFY(!KeySender::instance().send(QStringLiteral("a"), true).ok);
    }
};

ORV_TEST_MAIN(TestKeySender)
#include "tst_key_sender.moc"
