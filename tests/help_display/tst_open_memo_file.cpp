#include "db/Binding.h"
#include "db/Catalogue.h"
#include "db/RecordSet.h"
#include "help_display/OPEN_MEMO_FILE.h"
#include "platform/HelpViewerWindow.h"
#include "platform/TextBox.h"
#include "startup/Globals.h"
#include "support/Fakes.h"
#include "support/MemoBook.h"
#include "support/TestMain.h"
#include "support/Widgets.h"

#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>
#include <QVBoxLayout>

namespace {

using Registration = QPair<QString, QString>; // application ID, program path

// What a window that opens memos' files holds: the path record set on table パス and the
// two hidden boxes bound to it, from which the found program path and ID are read.
class PathWindow : public QWidget
{
public:
    PathWindow() : data5(QStringLiteral("Data5"), this)
    {
        auto* layout = new QVBoxLayout(this);
        memoBox = new QLineEdit;
        layout->addWidget(memoBox);
        text8 = new TextBox(this);
        text8->setObjectName(QStringLiteral("Text8"));
        text8->hide();
        text9 = new TextBox(this);
        text9->setObjectName(QStringLiteral("Text9"));
        text9->hide();
        data5.setDatabaseName(DbPath);
        data5.setRecordSource(Catalogue::AllApplications);
        new Binding(&data5, QStringLiteral("パス"), text8);
        new Binding(&data5, QStringLiteral("アプリＩＤ"), text9);
        loaded = data5.refresh().ok;
    }

    void open(const QString& appId, const QString& file, const QString& keyword, bool keysForBlankKeyword = true)
    {
        OPEN_MEMO_FILE(appId, file, keyword, data5, *text8, *text9, keysForBlankKeyword);
    }

    RecordSet data5;
    QLineEdit* memoBox;
    TextBox* text8;
    TextBox* text9;
    bool loaded = false;
};

const QString Viewer = QStringLiteral("WINHLP32.EXE");

} // namespace

Q_DECLARE_METATYPE(QList<Registration>)

class TestOpenMemoFile : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<PlatformFakes> m_fakes;

private Q_SLOTS:
    void init() { m_fakes = std::make_unique<PlatformFakes>(); }

    void cleanup()
    {
        if (HelpViewerWindow* viewer = HelpViewerWindow::existing())
            viewer->close();
        closeAllForms();
        m_fakes.reset();
    }

    void opens_data()
    {
        QTest::addColumn<QList<Registration>>("registered");
        QTest::addColumn<QString>("appId");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<bool>("keysForBlank");
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("keys");

        const QList<Registration> none;
        const QStringList noKeys;
        auto viewerKeys = [](const QString& typed) { return QStringList{"%I", typed, "%D"}; };

        QTest::newRow("not registered") << QList<Registration>{{"EXCEL", "/usr/bin/excel"}} << "WORD"
                                        << "/doc/word.hlp"
                                        << "表示" << true << "WINHLP32.EXE /doc/word.hlp" << Viewer
                                        << QStringList{"/doc/word.hlp"} << viewerKeys("表示");
        QTest::newRow("no application ID")
            << none << ""
            << "/doc/a.pdf"
            << "印刷" << true << "WINHLP32.EXE /doc/a.pdf" << Viewer << QStringList{"/doc/a.pdf"} << viewerKeys("印刷");
        QTest::newRow("registered with an empty ID")
            << QList<Registration>{{"", "/usr/bin/never"}} << ""
            << "/doc/a"
            << "k" << true << "WINHLP32.EXE /doc/a" << Viewer << QStringList{"/doc/a"} << viewerKeys("k");
        QTest::newRow("registered as HLP")
            << QList<Registration>{{"HLP", "/usr/bin/never"}} << "HLP"
            << "/doc/h.hlp"
            << "保存" << true << "WINHLP32.EXE /doc/h.hlp" << Viewer << QStringList{"/doc/h.hlp"} << viewerKeys("保存");
        QTest::newRow("registered as a single blank")
            << QList<Registration>{{" ", "/usr/bin/never"}} << " "
            << "/doc/b"
            << "k" << true << "WINHLP32.EXE /doc/b" << Viewer << QStringList{"/doc/b"} << viewerKeys("k");
        // The lookup ignores letter case, the "HLP" test does not.
        QTest::newRow("registered as hlp, memo says HLP")
            << QList<Registration>{{"hlp", "C:\\Tools\\Hlp.exe"}} << "HLP"
            << "D:\\Doc\\a.txt"
            << "k" << true << "C:\\Tools\\Hlp.exe D:\\Doc\\a.txt"
            << "C:\\Tools\\Hlp.exe" << QStringList{"D:\\Doc\\a.txt"} << noKeys;
        QTest::newRow("registered as hlp, memo says hlp")
            << QList<Registration>{{"hlp", "C:\\Tools\\Hlp.exe"}} << "hlp"
            << "D:\\Doc\\a.txt"
            << "k" << true << "C:\\Tools\\Hlp.exe D:\\Doc\\a.txt"
            << "C:\\Tools\\Hlp.exe" << QStringList{"D:\\Doc\\a.txt"} << noKeys;
        QTest::newRow("registered program") << QList<Registration>{{"APP", "C:\\Tools\\App.exe"}} << "APP"
                                            << "D:\\Doc\\a.txt"
                                            << "k" << true << "C:\\Tools\\App.exe D:\\Doc\\a.txt"
                                            << "C:\\Tools\\App.exe" << QStringList{"D:\\Doc\\a.txt"} << noKeys;
        QTest::newRow("first of two registrations")
            << QList<Registration>{{"APP", "/opt/first"}, {"APP", "/opt/second"}} << "APP"
            << "/f"
            << "k" << true << "/opt/first /f"
            << "/opt/first" << QStringList{"/f"} << noKeys;
        QTest::newRow("registered program, no file") << QList<Registration>{{"APP", "/usr/bin/app"}} << "APP"
                                                     << ""
                                                     << "k" << true << "/usr/bin/app "
                                                     << "/usr/bin/app" << QStringList{} << noKeys;
        QTest::newRow("no file, not registered")
            << none << "X"
            << ""
            << "k" << true << "WINHLP32.EXE " << Viewer << QStringList{} << viewerKeys("k");
        QTest::newRow("empty keyword, keys always")
            << none << ""
            << "/doc/a"
            << "" << true << "WINHLP32.EXE /doc/a" << Viewer << QStringList{"/doc/a"} << viewerKeys("");
        QTest::newRow("empty keyword, no keys for blank")
            << none << ""
            << "/doc/a"
            << "" << false << "WINHLP32.EXE /doc/a" << Viewer << QStringList{"/doc/a"} << noKeys;
        QTest::newRow("blank keyword, no keys for blank")
            << none << ""
            << "/doc/a"
            << " " << false << "WINHLP32.EXE /doc/a" << Viewer << QStringList{"/doc/a"} << noKeys;
        QTest::newRow("two blanks are a keyword")
            << none << ""
            << "/doc/a"
            << "  " << false << "WINHLP32.EXE /doc/a" << Viewer << QStringList{"/doc/a"} << viewerKeys("  ");
        // The keyword is typed as it stands, whatever the keystroke notation makes of it.
        QTest::newRow("keyword with plus signs")
            << none << ""
            << "/doc/a"
            << "C++" << true << "WINHLP32.EXE /doc/a" << Viewer << QStringList{"/doc/a"} << viewerKeys("C{+}{+}");
        QTest::newRow("keyword that reads as Alt+F4")
            << none << ""
            << "/doc/a"
            << "%{F4}" << true << "WINHLP32.EXE /doc/a" << Viewer << QStringList{"/doc/a"} << viewerKeys("{%}{{}F4{}}");
        // An apostrophe in the ID is looked for as it stands.
        QTest::newRow("apostrophe in the ID") << QList<Registration>{{"O'Reilly", "/usr/bin/reader"}} << "O'Reilly"
                                              << "/doc/book.txt"
                                              << "k" << true << "/usr/bin/reader /doc/book.txt"
                                              << "/usr/bin/reader" << QStringList{"/doc/book.txt"} << noKeys;
        // Blanks in the file do not split it.
        QTest::newRow("blank in the file") << QList<Registration>{{"APP", "/opt/My Apps/app"}} << "APP"
                                           << "/home/u/My Docs/a b.txt"
                                           << "k" << true << "/opt/My Apps/app /home/u/My Docs/a b.txt"
                                           << "/opt/My Apps/app" << QStringList{"/home/u/My Docs/a b.txt"} << noKeys;
        QTest::newRow("blank in the help file") << none << ""
                                                << "/home/u/My Docs/a b.hlp"
                                                << "k" << true << "WINHLP32.EXE /home/u/My Docs/a b.hlp" << Viewer
                                                << QStringList{"/home/u/My Docs/a b.hlp"} << viewerKeys("k");
    }

    void opens()
    {
        QFETCH(QList<Registration>, registered);
        QFETCH(QString, appId);
        QFETCH(QString, file);
        QFETCH(QString, keyword);
        QFETCH(bool, keysForBlank);

        MemoBook book;
        QVERIFY(book.isValid());
        for (const Registration& r : registered)
            book.addApplication(r.first, r.second);
        PathWindow w;
        QVERIFY(w.loaded);
        w.open(appId, file, keyword, keysForBlank);

        QCOMPARE(m_fakes->processStarter.started.size(), 1);
        const ProcessStarter::Command started = m_fakes->processStarter.started.at(0);
        QTEST(started.commandLine, "commandLine");
        QTEST(started.program, "program");
        QTEST(started.arguments, "arguments");
        QTEST(m_fakes->keySender.keys(), "keys");
        for (const FakeKeySender::Sent& sent : m_fakes->keySender.sent)
            QVERIFY(sent.wait);
        // The path record set stays pointed at the lookup.
        QCOMPARE(w.data5.recordSource(), Catalogue::applicationLookup(appId));
    }

    void failedStartSendsNoKeys_data()
    {
        QTest::addColumn<QString>("appId");
        QTest::newRow("help viewer") << "";
        QTest::newRow("registered program") << "APP";
    }

    void failedStartSendsNoKeys()
    {
        QFETCH(QString, appId);
        MemoBook book;
        book.addApplication(QStringLiteral("APP"), QStringLiteral("/no/such/program"));
        PathWindow w;
        m_fakes->processStarter.outcomes.enqueue(Result::failure(QStringLiteral("cannot start")));
        w.open(appId, QStringLiteral("/doc/a"), QStringLiteral("k"));
        QCOMPARE(m_fakes->processStarter.started.size(), 1);
        QVERIFY(m_fakes->keySender.sent.isEmpty());
        QVERIFY(m_fakes->messageBox.asked.isEmpty());
    }

    void failedLookupStartsNothing()
    {
        // A memo book without the table of registered applications: the lookup fails.
        MemoBook book(MemoBook::Tables::MemosOnly);
        PathWindow w;
        w.open(QStringLiteral("APP"), QStringLiteral("/doc/a"), QStringLiteral("k"));
        QVERIFY(m_fakes->processStarter.started.isEmpty());
        QVERIFY(m_fakes->keySender.sent.isEmpty());
        QVERIFY(m_fakes->messageBox.asked.isEmpty());
    }

    void foundValuesStayShown()
    {
        MemoBook book;
        book.addApplication(QStringLiteral("EXCEL"), QStringLiteral("/usr/bin/excel"));
        book.addApplication(QStringLiteral("WORD"), QStringLiteral("/usr/bin/word"));
        PathWindow w;
        w.open(QStringLiteral("WORD"), QStringLiteral("/doc/a"), QString());
        QCOMPARE(w.data5.recordCount(), 1);
        QCOMPARE(w.text8->text(), QStringLiteral("/usr/bin/word"));
        QCOMPARE(w.text9->text(), QStringLiteral("WORD"));
        // A lookup that finds nothing empties the boxes.
        w.open(QStringLiteral("NONE"), QStringLiteral("/doc/a"), QString());
        QCOMPARE(w.data5.recordCount(), 0);
        QCOMPARE(w.text8->text(), QString());
        QCOMPARE(w.text9->text(), QString());
        QCOMPARE(m_fakes->processStarter.started.at(1).program, Viewer);
    }

    // With the real starter, viewer and keys: the memo's keyword drives the viewer to its
    // topic, and nothing of it is typed into the window the user clicked in.
    void keywordDrivesTheRealViewer()
    {
        QTemporaryDir dir;
        const QString help = dir.filePath(QStringLiteral("manual.hlp"));
        QFile f(help);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QString html = QStringLiteral("<html><body>");
        for (const QString& title : {QStringLiteral("開く"), QStringLiteral("C++ の設定"), QStringLiteral("印刷")}) {
            html += QStringLiteral("<h2>%1</h2>").arg(title);
            for (int i = 0; i < 40; ++i)
                html += QStringLiteral("<p>%1 の説明 %2</p>").arg(title).arg(i);
        }
        f.write(html.toUtf8() + "</body></html>");
        f.close();

        MemoBook book;
        PathWindow w;
        ProcessStarter::setInstance(nullptr);
        KeySender::setInstance(nullptr);
        HelpViewer::setInstance(nullptr);
        QVERIFY(activate(&w));
        w.memoBox->setFocus();

        w.open(QStringLiteral("HLP"), help, QStringLiteral("C++"));
        HelpViewerWindow* viewer = HelpViewerWindow::existing();
        QVERIFY(viewer);
        QCOMPARE(viewer->currentFile(), help);
        QCOMPARE(viewer->displayedTopic(), 1);
        QCOMPARE(findRequired<QLineEdit>(viewer, QStringLiteral("searchBox"))->text(), QStringLiteral("C++"));
        QCOMPARE(w.memoBox->text(), QString());
    }
};

ORV_TEST_MAIN(TestOpenMemoFile)
#include "tst_open_memo_file.moc"
