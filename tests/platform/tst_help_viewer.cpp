#include "platform/Form.h"
#include "platform/HelpViewerWindow.h"
#include "platform/KeyNotation.h"
#include "platform/KeySender.h"
#include "support/Fakes.h"
#include "support/TestMain.h"
#include "support/Widgets.h"

#include <QLabel>
#include <QLineEdit>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextBrowser>
#include <QUrl>

// Three topics that each scroll the page, after a byte order mark and blanks as some editors write.
static QString threeTopics()
{
    const QString filler = QStringLiteral("<p>説明の行。</p>\n").repeated(40);
    return QChar(0xfeff) + QStringLiteral("  <!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"></head><body>\n") +
           QStringLiteral("<h1><a name=\"intro\"></a>はじめに</h1>\n") + filler +
           QStringLiteral("<h2><a name=\"write\"></a>メモを書く</h2>\n") + filler +
           QStringLiteral("<h2>Search Tips</h2>\n") + filler;
}

static bool writeFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

struct PlainForm : Form
{
    PlainForm() : Form(QStringLiteral("P_FORM"), QStringLiteral("フォーム"), 3000, 1500) {}
    void onActivate() override { ++activations; }
    QLineEdit* edit = new QLineEdit(client());
    int activations = 0;
};

class TestHelpViewer : public QObject
{
    Q_OBJECT

private:
    PlatformFakes m_fakes; // all but the viewer and the keys, see initTestCase
    QTemporaryDir m_dir;
    QList<QUrl> m_handed; // what went to the desktop
    bool m_desktopTakes = true;

    QString file(const QString& name) const { return m_dir.filePath(name); }
    HelpViewer& viewer() { return HelpViewer::instance(); }
    HelpViewerWindow* window() { return HelpViewerWindow::window(); }
    QTextBrowser* browser() { return findRequired<QTextBrowser>(window(), QStringLiteral("browser")); }
    QLineEdit* searchBox() { return findRequired<QLineEdit>(window(), QStringLiteral("searchBox")); }
    bool messageShown() { return findRequired<QLabel>(window(), QStringLiteral("messageLine"))->isVisible(); }

private Q_SLOTS:
    void initTestCase()
    {
        HelpViewer::setInstance(nullptr);
        KeySender::setInstance(nullptr);
        HelpViewerWindow::setDesktopOpener([this](const QUrl& url) { return m_handed.append(url), m_desktopTakes; });
        QVERIFY(writeFile(file("topics.html"), threeTopics().toUtf8()));
    }

    void cleanup()
    {
        window()->close();
        closeAllForms();
    }

    // What a memo sends after starting the viewer: Alt+I, the keyword, Alt+D. The viewer has
    // the focus before its start returns, so no key reaches the window that was active; coming
    // back from the viewer is no new activation, and it does not keep the program running.
    void keysDisplayTopic_data()
    {
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<int>("topic");
        QTest::newRow("japanese title") << "メモを書く" << 1;
        QTest::newRow("latin letter case ignored") << "search t" << 2;
        QTest::newRow("half-width kana finds full-width") << "ﾒﾓ" << 1;
        QTest::newRow("nothing fits") << "zzz" << -1;
    }

    void keysDisplayTopic()
    {
        QFETCH(QString, keyword);
        QFETCH(int, topic);
        auto* form = new PlainForm;
        QVERIFY(activate(form));
        form->edit->setFocus();
        QVERIFY(viewer().showFile(file("topics.html")).ok);
        KeySender& keys = KeySender::instance();
        QVERIFY(keys.send(QStringLiteral("%I"), true) && keys.send(KeyNotation::escape(keyword), true));
        QCOMPARE(searchBox()->text(), keyword);
        QVERIFY(keys.send(QStringLiteral("%D"), true).ok);
        QCOMPARE(window()->displayedTopic(), topic);
        const int top = browser()->cursorForPosition(QPoint(4, 4)).block().position(); // of the page
        QCOMPARE(top, topic < 0 ? 0 : window()->topics().at(topic).position);
        QCOMPARE(form->edit->text(), QString());
        QVERIFY(activate(form));
        QCOMPARE(form->activations, 1);
        QVERIFY(!window()->testAttribute(Qt::WA_QuitOnClose));
    }

    // A second start replaces the file in the one viewer window. The viewer says why it shows
    // nothing, hands what it cannot show to the desktop, and shows text files as text.
    void nextFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content"); // null: no file written
        QTest::addColumn<QString>("desktop");    // "": not handed over; "takes" or "refuses" it
        QTest::addColumn<QString>("says");
        QTest::addColumn<QString>("shows");
        auto row = [](const char* tag, QString name, QByteArray content, QString desktop, QString says,
                      QString shows = {}) { QTest::newRow(tag) << name << content << desktop << says << shows; };
        const QByteArray pdf("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n1 0 obj\n");
        const QString text = QStringLiteral("<h1>見出しではない</h1>\n手順 1: 開く\n");
        row("no file given", "", QByteArray(), "", "表示するファイルが指定されていません");
        row("missing", "missing.hlp", QByteArray(), "", "が見つかりません");
        row("empty", "empty.html", QByteArray(""), "", "は空で");
        row("pdf", "manual.pdf", pdf, "takes", "既定のアプリケーションで開きました");
        row("pdf, no program for it", "manual.pdf", pdf, "refuses", "アプリケーションも見つかりません");
        row("unknown binary", "data.bin", QByteArray("\x01\x02\x00\xFF", 4), "takes", "既定のアプリケーション");
        row("shift_jis text", "MEMO.TXT", QStringEncoder("Shift_JIS")(text), "", "", text);
    }

    void nextFile()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, desktop);
        QFETCH(QString, says);
        const QString path = name.isEmpty() ? QString() : file(name);
        QVERIFY(content.isNull() || writeFile(path, content));
        QVERIFY(viewer().showFile(file("topics.html")).ok);
        m_handed.clear();
        m_desktopTakes = desktop == QLatin1String("takes");
        QVERIFY(viewer().showFile(path).ok);
        QCOMPARE(messageShown(), !says.isEmpty());
        QVERIFY2(says.isEmpty() || (window()->message().contains(says) && window()->message().contains(path)),
                 qPrintable(window()->message()));
        QCOMPARE(m_handed, desktop.isEmpty() ? QList<QUrl>() : QList<QUrl>{QUrl::fromLocalFile(path)});
        QTEST(browser()->toPlainText(), "shows");
        QVERIFY(window()->topics().isEmpty());
        QVERIFY(KeySender::instance().send(QStringLiteral("%Iabc%D"), true).ok); // lands harmlessly
        QCOMPARE(window()->displayedTopic(), -1);
    }

    // F1 opens the product help file, HTML under its old .HLP name, at the window's topic.
    void productHelpFileHasEveryWindowTopic()
    {
        const QString path = file(QStringLiteral("ｵﾙﾊﾞﾚﾝﾄ.HLP"));
        QVERIFY(QFile::copy(QFINDTESTDATA("../../resources/help/orvalent-help.html"), path));
        for (const char* name : {"ORVAM", "H_WRITE", "H_PRN", "H_PATH", "I_VER"}) {
            QVERIFY(viewer().showTopic(path, QLatin1String(name)).ok);
            QVERIFY(!messageShown() && window()->displayedTopic() >= 0);
            QCOMPARE(window()->topics().at(window()->displayedTopic()).anchors.first(), QLatin1String(name));
        }
    }
};

ORV_TEST_MAIN(TestHelpViewer)
#include "tst_help_viewer.moc"
