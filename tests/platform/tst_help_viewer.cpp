#include "platform/Form.h"
#include "platform/HelpViewerWindow.h"
#include "platform/KeyNotation.h"
#include "platform/KeySender.h"
#include "support/Fakes.h"
#include "support/TestMain.h"
#include "support/Widgets.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTimer>
#include <QUrl>

namespace {

// Enough text under each topic that displaying one has to scroll the page.
QString filler()
{
    QString text;
    for (int i = 0; i < 40; ++i)
        text += QStringLiteral("<p>説明の行 %1。</p>\n").arg(i);
    return text;
}

QString threeTopics()
{
    // A byte order mark and blanks before the doctype, as some editors write them.
    return QChar(0xfeff) + QStringLiteral("  <!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"></head><body>\n") +
           QStringLiteral("<h1><a name=\"intro\"></a>はじめに</h1>\n") + filler() +
           QStringLiteral("<h2><a name=\"write\"></a>メモを書く</h2>\n") + filler() +
           QStringLiteral("<h2>Search Tips</h2>\n") + filler() + QStringLiteral("</body></html>\n");
}

bool writeFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

// The line of the document at the top of the page.
int topPosition(QTextBrowser* browser)
{
    return browser->cursorForPosition(QPoint(4, 4)).block().position();
}

class PlainForm : public Form
{
public:
    PlainForm() : Form(QStringLiteral("P_FORM"), QStringLiteral("フォーム"), 3000, 1500)
    {
        edit = new QLineEdit(client());
    }
    QLineEdit* edit;
    int activations = 0;

protected:
    void onActivate() override { ++activations; }
};

int viewerWindows()
{
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        n += qobject_cast<HelpViewerWindow*>(w) ? 1 : 0;
    return n;
}

} // namespace

class TestHelpViewer : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<PlatformFakes> m_fakes;
    QTemporaryDir m_dir;
    QList<QUrl> m_handed;
    bool m_desktopTakes = true;

    QString file(const QString& name) const { return m_dir.filePath(name); }
    HelpViewer& viewer() { return HelpViewer::instance(); }
    HelpViewerWindow* window() { return HelpViewerWindow::existing(); }
    QTextBrowser* browser() { return findRequired<QTextBrowser>(window(), QStringLiteral("browser")); }
    QLineEdit* searchBox() { return findRequired<QLineEdit>(window(), QStringLiteral("searchBox")); }
    QListWidget* topicList() { return findRequired<QListWidget>(window(), QStringLiteral("topicList")); }
    bool messageShown() { return findRequired<QLabel>(window(), QStringLiteral("messageLine"))->isVisible(); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(writeFile(file("topics.html"), threeTopics().toUtf8()));
    }

    void init()
    {
        m_fakes = std::make_unique<PlatformFakes>();
        HelpViewer::setInstance(nullptr);
        KeySender::setInstance(nullptr);
        m_handed.clear();
        m_desktopTakes = true;
        HelpViewerWindow::setDesktopOpener([this](const QUrl& url) {
            m_handed.append(url);
            return m_desktopTakes;
        });
    }

    void cleanup()
    {
        HelpViewerWindow::setDesktopOpener(nullptr);
        if (window())
            window()->close();
        closeAllForms();
        m_fakes.reset();
    }

    void topicsOfHtml()
    {
        QVERIFY(viewer().showFile(file("topics.html")).ok);
        const QList<HelpViewerWindow::Topic> topics = window()->topics();
        QCOMPARE(topics.size(), 3);
        QCOMPARE(topics.at(0).title, QStringLiteral("はじめに"));
        QCOMPARE(topics.at(0).anchors, QStringList{QStringLiteral("intro")});
        QCOMPARE(topics.at(1).title, QStringLiteral("メモを書く"));
        QCOMPARE(topics.at(2).title, QStringLiteral("Search Tips"));
        QCOMPARE(topicList()->count(), 3);
        QCOMPARE(window()->windowTitle(), QStringLiteral("ヘルプ - topics.html"));
        QVERIFY(!messageShown());
    }

    void anchorsOutsideHeadings()
    {
        QVERIFY(writeFile(file("anchors.html"),
                          "<html><body><h2 id=\"sec\">Section</h2><p>x <a name=\"inline\">mark</a> here</p>"
                          "<p id=\"para\">Paragraph text</p><h3>Bare heading</h3></body></html>"));
        QVERIFY(viewer().showFile(file("anchors.html")).ok);
        QStringList titles, anchors;
        for (const HelpViewerWindow::Topic& topic : window()->topics()) {
            titles += topic.title;
            anchors += topic.anchors.join(QLatin1Char(','));
        }
        QCOMPARE(titles, (QStringList{"Section", "mark here", "Paragraph text", "Bare heading"}));
        QCOMPARE(anchors, (QStringList{"sec", "inline", "para", ""}));
        QVERIFY(window()->showTopic(QStringLiteral("para")));
        QCOMPARE(window()->displayedTopic(), 2);
        QVERIFY(!window()->showTopic(QStringLiteral("nowhere")));
    }

    // The keys that follow the start of the viewer: Alt+I, the keyword, Alt+D.
    void keysDisplayTopic_data()
    {
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<int>("topic");

        QTest::newRow("japanese title") << "メモを書く" << 1;
        QTest::newRow("beginning of a title") << "メモ" << 1;
        QTest::newRow("latin letter case ignored") << "search t" << 2;
        QTest::newRow("half-width kana finds full-width") << "ﾒﾓ" << 1;
        QTest::newRow("nearest when no title fits whole") << "はじめにxyz" << 0;
    }

    void keysDisplayTopic()
    {
        QFETCH(QString, keyword);
        QFETCH(int, topic);
        QVERIFY(viewer().showFile(file("topics.html")).ok);
        QCOMPARE(browser()->verticalScrollBar()->value(), 0);
        KeySender& keys = KeySender::instance();
        QVERIFY(keys.send(QStringLiteral("%I"), true).ok);
        QVERIFY(searchBox()->hasFocus());
        QVERIFY(keys.send(KeyNotation::escape(keyword), true).ok);
        QCOMPARE(searchBox()->text(), keyword);
        QCOMPARE(topicList()->currentRow(), topic);
        QCOMPARE(window()->displayedTopic(), -1);
        QVERIFY(keys.send(QStringLiteral("%D"), true).ok);
        QCOMPARE(window()->displayedTopic(), topic);
        const int position = window()->topics().at(topic).position;
        if (topic > 0)
            QVERIFY(browser()->verticalScrollBar()->value() > 0);
        QCOMPARE(topPosition(browser()), position);
    }

    void nothingFitsSelectsNothing()
    {
        QVERIFY(viewer().showFile(file("topics.html")).ok);
        KeySender::instance().send(QStringLiteral("%I"), true);
        KeySender::instance().send(QStringLiteral("zzz"), true);
        QCOMPARE(topicList()->currentRow(), -1);
        KeySender::instance().send(QStringLiteral("%D"), true);
        QCOMPARE(window()->displayedTopic(), -1);
        QCOMPARE(browser()->verticalScrollBar()->value(), 0);
    }

    void showTopicByAnchor()
    {
        QVERIFY(viewer().showTopic(file("topics.html"), QStringLiteral("write")).ok);
        QCOMPARE(window()->displayedTopic(), 1);
        QCOMPARE(topPosition(browser()), window()->topics().at(1).position);
    }

    // The viewer takes the focus before its start returns, so keys sent next never reach
    // the window that was active before.
    void keysWaitForTheViewer()
    {
        auto* form = new PlainForm;
        QVERIFY(activate(form));
        form->edit->setFocus();
        QVERIFY(viewer().showFile(file("topics.html")).ok);
        QCOMPARE(QApplication::activeWindow(), window());
        KeySender::instance().send(QStringLiteral("%I"), true);
        KeySender::instance().send(QStringLiteral("abc"), true);
        QCOMPARE(form->edit->text(), QString());
        QCOMPARE(searchBox()->text(), QStringLiteral("abc"));
    }

    void unshownFilesSayWhy_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("says");

        QTest::newRow("no file given") << "" << QByteArray() << "表示するファイルが指定されていません";
        QTest::newRow("missing") << "missing.hlp" << QByteArray() << "が見つかりません";
        QTest::newRow("windows path") << "C:\\HELP\\WORD.HLP" << QByteArray() << "が見つかりません";
        QTest::newRow("empty") << "empty.html" << QByteArray("") << "は空で";
    }

    void unshownFilesSayWhy()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, says);
        QString path = name;
        if (!content.isNull()) {
            path = file(name);
            QVERIFY(writeFile(path, content));
        } else if (name == QLatin1String("missing.hlp")) {
            path = file(name);
        }
        QVERIFY(viewer().showFile(path).ok);
        QVERIFY(window()->isVisible());
        QVERIFY(messageShown());
        QVERIFY2(window()->message().contains(says), qPrintable(window()->message()));
        if (!path.isEmpty())
            QVERIFY(window()->message().contains(path));
        QVERIFY(window()->topics().isEmpty());
        QVERIFY(m_handed.isEmpty());
        // The keys of a memo still land harmlessly in the viewer.
        QVERIFY(KeySender::instance().send(QStringLiteral("%Iabc%D"), true).ok);
        QCOMPARE(window()->displayedTopic(), -1);
    }

    void secondStartReplacesFile()
    {
        QVERIFY(writeFile(file("other.html"), "<html><body><h1>別のファイル</h1></body></html>"));
        QVERIFY(viewer().showFile(file("topics.html")).ok);
        HelpViewerWindow* first = window();
        QVERIFY(viewer().showFile(file("other.html")).ok);
        QCOMPARE(window(), first);
        QCOMPARE(viewerWindows(), 1);
        QCOMPARE(window()->currentFile(), file("other.html"));
        QCOMPARE(window()->topics().size(), 1);
        QCOMPARE(window()->topics().at(0).title, QStringLiteral("別のファイル"));
        QCOMPARE(window()->windowTitle(), QStringLiteral("ヘルプ - other.html"));
        QVERIFY(browser()->toPlainText().contains(QStringLiteral("別のファイル")));
        QVERIFY(!browser()->toPlainText().contains(QStringLiteral("はじめに")));

        // A file that cannot be shown replaces the page too, not only the line above it.
        QVERIFY(viewer().showFile(file("nothing-here.txt")).ok);
        QVERIFY(browser()->toPlainText().isEmpty());
        QCOMPARE(topicList()->count(), 0);
    }

    void contentDecidesHtml()
    {
        // The product help file keeps its old extension and is HTML all the same.
        const QString path = file(QStringLiteral("ｵﾙﾊﾞﾚﾝﾄ.HLP"));
        QVERIFY(writeFile(path, threeTopics().toUtf8()));
        QVERIFY(viewer().showFile(path).ok);
        QCOMPARE(window()->topics().size(), 3);
        QVERIFY(!browser()->toPlainText().contains(QStringLiteral("<h1>")));
        QVERIFY(m_handed.isEmpty());
    }

    void plainTextShownAsText_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");

        const QString text = QStringLiteral("<h1>見出しではない</h1>\n手順 1: 開く\n");
        QTest::newRow("utf-8") << "memo.txt" << text.toUtf8();
        QStringEncoder sjis("Shift_JIS");
        if (sjis.isValid())
            QTest::newRow("shift_jis") << "MEMO.TXT" << QByteArray(sjis(text));
    }

    void plainTextShownAsText()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QVERIFY(writeFile(file(name), content));
        QVERIFY(viewer().showFile(file(name)).ok);
        QVERIFY(!messageShown());
        QCOMPARE(browser()->toPlainText(), QStringLiteral("<h1>見出しではない</h1>\n手順 1: 開く\n"));
        QVERIFY(window()->topics().isEmpty());
        QVERIFY(m_handed.isEmpty());
        // Without topics, Alt+D looks for the words in the text itself.
        KeySender::instance().send(QStringLiteral("%I手順%D"), true);
        QCOMPARE(browser()->textCursor().selectedText(), QStringLiteral("手順"));
    }

    void documentsGoToTheDesktop_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("taken");
        QTest::addColumn<QString>("says");

        const QByteArray pdf("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n1 0 obj\n");
        QTest::newRow("pdf") << "manual.pdf" << pdf << true << "既定のアプリケーションで開きました";
        QTest::newRow("pdf without a program for it") << "manual.pdf" << pdf << false << "見つかりません";
        QTest::newRow("word document") << "a.doc" << QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1\x00\x00", 10) << true
                                       << "既定のアプリケーションで開きました";
        QTest::newRow("picture") << "shot.png" << QByteArray("\x89PNG\r\n\x1A\n\x00\x00\x00\x0DIHDR", 16) << true
                                 << "既定のアプリケーションで開きました";
        QTest::newRow("unknown binary") << "data.bin" << QByteArray("\x01\x02\x00\xFF\xFE\x00", 6) << true
                                        << "既定のアプリケーションで開きました";
    }

    void documentsGoToTheDesktop()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(bool, taken);
        QFETCH(QString, says);
        m_desktopTakes = taken;
        QVERIFY(writeFile(file(name), content));
        QVERIFY(viewer().showFile(file(name)).ok);
        QCOMPARE(m_handed, QList<QUrl>{QUrl::fromLocalFile(file(name))});
        QVERIFY(window()->isVisible());
        QVERIFY(messageShown());
        QVERIFY2(window()->message().contains(says), qPrintable(window()->message()));
        QVERIFY(window()->message().contains(file(name)));
        QVERIFY(browser()->toPlainText().isEmpty());
    }

    void linksInThePage()
    {
        QVERIFY(writeFile(file("links.html"), QStringLiteral("<html><body><p><a href=\"#write\">書き方へ</a> "
                                                             "<a href=\"https://example.org/\">外へ</a></p>")
                                                      .toUtf8() +
                                                  threeTopics().toUtf8().mid(threeTopics().toUtf8().indexOf("<h1>"))));
        QVERIFY(viewer().showFile(file("links.html")).ok);
        Q_EMIT browser()->anchorClicked(QUrl(QStringLiteral("#write")));
        QCOMPARE(window()->topics().at(window()->displayedTopic()).title, QStringLiteral("メモを書く"));
        Q_EMIT browser()->anchorClicked(QUrl(QStringLiteral("https://example.org/")));
        QCOMPARE(m_handed, QList<QUrl>{QUrl(QStringLiteral("https://example.org/"))});
        Q_EMIT browser()->anchorClicked(QUrl(QStringLiteral("topics.html#intro")));
        QCOMPARE(window()->currentFile(), file("topics.html"));
        QCOMPARE(window()->displayedTopic(), 0);
    }

    // The viewer stays open beside the program's windows but never keeps the program alive.
    void viewerDoesNotKeepTheProgramRunning()
    {
        auto* form = new PlainForm;
        QVERIFY(activate(form));
        QVERIFY(viewer().showFile(file("topics.html")).ok);
        QVERIFY(!window()->testAttribute(Qt::WA_QuitOnClose));
        // Closing the last window of the program ends the event loop, the viewer open or not.
        QTimer::singleShot(0, form, [form] { form->unload(); });
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, qApp, [] { QCoreApplication::exit(2); });
        guard.start(5000);
        const int code = QCoreApplication::exec();
        guard.stop();
        QCOMPARE(code, 0);
    }

    // Coming back from the viewer is not coming back from another window of the program.
    void returnFromViewerIsNoActivation()
    {
        auto* form = new PlainForm;
        QVERIFY(activate(form));
        QCOMPARE(form->activations, 1);
        QVERIFY(viewer().showFile(file("topics.html")).ok);
        QCOMPARE(QApplication::activeWindow(), window());
        QVERIFY(activate(form));
        QCOMPARE(form->activations, 1);
    }

    void productHelpFileHasEveryWindowTopic()
    {
        const QString path = QFINDTESTDATA("../../resources/help/orvalent-help.html");
        QVERIFY(!path.isEmpty());
        QVERIFY(viewer().showFile(path).ok);
        QVERIFY(!messageShown());
        QStringList anchors;
        for (const HelpViewerWindow::Topic& topic : window()->topics())
            anchors += topic.anchors;
        for (const char* name : {"ORVAM", "H_WRITE", "H_PRN", "H_PATH", "I_VER"}) {
            QVERIFY2(anchors.contains(QLatin1String(name)), name);
            QVERIFY(window()->showTopic(QLatin1String(name)));
            QCOMPARE(window()->topics().at(window()->displayedTopic()).anchors.first(), QLatin1String(name));
        }
    }
};

ORV_TEST_MAIN(TestHelpViewer)
#include "tst_help_viewer.moc"
