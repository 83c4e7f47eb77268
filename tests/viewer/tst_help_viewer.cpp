#include "platform/KeyNotation.h"
#include "platform/KeySender.h"
#include "support/Fakes.h"
#include "support/TestMain.h"
#include "support/Widgets.h"
#include "viewer/HelpViewerWindow.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextBrowser>
#include <QUrl>

class TestHelpViewer : public QObject
{
    Q_OBJECT

private:
    PlatformFakes m_fakes; // all but the viewer and the keys, see initTestCase
    QTemporaryDir m_dir;
    QList<QUrl> m_handed; // what went to the desktop
    bool m_desktopTakes = true;

    QString file(const QString& name) const { return m_dir.filePath(name); }
    HelpViewerWindow* window() { return HelpViewerWindow::window(); }
    QTextBrowser* browser() { return findRequired<QTextBrowser>(window(), QStringLiteral("browser")); }
    bool messageShown() { return findRequired<QLabel>(window(), QStringLiteral("messageLine"))->isVisible(); }

private Q_SLOTS:
    void initTestCase()
    {
        HelpViewer::setInstance(nullptr);
        KeySender::setInstance(nullptr);
        HelpViewerWindow::setDesktopOpener([this](const QUrl& url) { return m_handed.append(url), m_desktopTakes; });
        // Three topics that each scroll the page, after a byte order mark and blanks as some editors write.
        const QString filler = QStringLiteral("<p>説明の行。</p>\n").repeated(40);
        const QString html = "\uFEFF  <!DOCTYPE html>\n<html><body><h1>はじめに</h1>" + filler + "<h2>メモを書く</h2>" +
                             filler + "<h2>Search Tips</h2>" + filler;
        QFile f(file("topics.html"));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(html.toUtf8()) > 0);
    }

    void cleanup() { window()->close(), closeAllForms(), m_handed.clear(); }

    // A memo's keys after the viewer's start: Alt+I, the keyword, Alt+D. The viewer has the focus before its
    // start returns, so no key reaches the window that was active; it does not keep the program running.
    void keysDisplayTopic_data()
    {
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<int>("topic");
        QTest::newRow("latin letter case ignored") << "search t" << 2;
        QTest::newRow("half-width kana finds full-width") << "ﾒﾓ" << 1;
        QTest::newRow("nothing fits") << "zzz" << -1;
        QTest::newRow("the middle of a title does not fit") << "じめまして" << -1;
    }

    void keysDisplayTopic()
    {
        QFETCH(QString, keyword);
        QFETCH(int, topic);
        QLineEdit other; // the window the user was in
        QVERIFY(activate(&other));
        QVERIFY(HelpViewer::instance().showFile(file("topics.html")).ok);
        for (const QString& keys : {QStringLiteral("%I"), KeyNotation::escape(keyword), QStringLiteral("%D")})
            QVERIFY(KeySender::instance().send(keys, true).ok);
        QCOMPARE(window()->displayedTopic(), topic);
        QCOMPARE(browser()->cursorForPosition({4, 4}).block().position(), window()->topics().value(topic).position);
        QCOMPARE(other.text(), QString());
        QVERIFY(!window()->testAttribute(Qt::WA_QuitOnClose));
    }

    // Up and Down in the search box walk the topic list, and Alt+D then shows the one walked to.
    void arrowsInTheSearchBoxWalkTheTopics()
    {
        QVERIFY(HelpViewer::instance().showFile(file("topics.html")).ok);
        QVERIFY(KeySender::instance().send(QStringLiteral("%I"), true).ok);
        auto* search = findRequired<QLineEdit>(window(), QStringLiteral("searchBox"));
        auto* list = findRequired<QListWidget>(window(), QStringLiteral("topicList"));
        QVERIFY(search->hasFocus());
        QCOMPARE(list->currentRow(), 0);
        QTest::keyClick(search, Qt::Key_Down);
        QTest::keyClick(search, Qt::Key_Down);
        QCOMPARE(list->currentRow(), 2);
        QTest::keyClick(search, Qt::Key_Up);
        QCOMPARE(list->currentRow(), 1);
        QVERIFY(search->hasFocus());
        QVERIFY(KeySender::instance().send(QStringLiteral("%D"), true).ok);
        QCOMPARE(window()->displayedTopic(), 1);
    }

    // A second start replaces the file in the one viewer window. The viewer says why it shows
    // nothing, hands what it cannot show to the desktop, and shows text files as text.
    void nextFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content"); // null: no file written
        QTest::addColumn<QString>("desktop");    // "": not handed over; "takes" or "refuses" it
        QTest::addColumn<QString>("says");
        auto row = [](auto t, auto n, QByteArray c, auto d, auto s) { QTest::newRow(t) << n << c << d << s; };
        const QByteArray xls("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
        row("no file given", "", QByteArray(), "", "表示するファイルが指定されていません");
        row("missing", "missing.hlp", QByteArray(), "", "「%1」が見つかりません");
        row("empty", "empty.html", QByteArray(""), "", "「%1」は空で");
        row("spreadsheet", "book.xls", xls, "takes", "既定のアプリケーションで開きました");
        row("spreadsheet, no program for it", "book.xls", xls, "refuses",
            "開くことのできるアプリケーションもありません");
        row("shift_jis text", "MEMO.TXT", QStringEncoder("Shift_JIS")(u"<h1>見出しではない</h1>\n"), "", "");
    }

    void nextFile()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, desktop);
        QFETCH(QString, says);
        const QString path = name.isEmpty() ? QString() : file(name);
        QFile f(path);
        QVERIFY(content.isNull() || (f.open(QIODevice::WriteOnly) && f.write(content) == content.size() && f.flush()));
        QVERIFY(HelpViewer::instance().showFile(file("topics.html")).ok);
        m_desktopTakes = desktop == QLatin1String("takes");
        QVERIFY(HelpViewer::instance().showFile(path).ok);
        QCOMPARE(messageShown() && window()->message().contains(QString(says).replace("%1", path)), !says.isEmpty());
        QCOMPARE(m_handed, desktop.isEmpty() ? QList<QUrl>() : QList<QUrl>{QUrl::fromLocalFile(path)});
        QCOMPARE(browser()->toPlainText(), says.isEmpty() ? QStringLiteral("<h1>見出しではない</h1>\n") : QString());
    }

    // F1 opens the product help file, HTML under its old .HLP name, at the window's topic,
    // which is found whatever the letter case it is asked for in.
    void productHelpFileHasEveryWindowTopic()
    {
        const QString path = file("ｵﾙﾊﾞﾚﾝﾄ.HLP");
        QVERIFY(QFile::copy(QFINDTESTDATA("../../resources/help/orvalent-help.html"), path));
        for (const char* name : {"ORVAM", "H_WRITE", "H_PRN", "H_PATH", "I_VER"}) {
            QVERIFY(HelpViewer::instance().showTopic(path, QLatin1String(name)).ok && !messageShown());
            QVERIFY(window()->showTopic(QString::fromLatin1(name).toLower()));
            QCOMPARE(window()->topics().value(window()->displayedTopic()).anchors.value(0), QLatin1String(name));
        }
    }
};

ORV_TEST_MAIN(TestHelpViewer)
#include "tst_help_viewer.moc"
