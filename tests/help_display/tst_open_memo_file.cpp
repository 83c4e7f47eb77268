#include "db/Binding.h"
#include "db/Catalogue.h"
#include "db/RecordSet.h"
#include "help_display/OPEN_MEMO_FILE.h"
#include "platform/HelpViewerWindow.h"
#include "platform/TextBox.h"
#include "startup/Globals.h"
#include "support/TestMain.h"
#include "support/WindowTestFixture.h"

#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>

// What a window that opens memos' files holds: the path record set on table パス and the
// two hidden boxes bound to it, from which the found program path and ID are read.
class PathWindow : public QWidget
{
public:
    PathWindow() : data5(QStringLiteral("Data5"), this)
    {
        data5.setDatabaseName(DbPath);
        data5.setRecordSource(Catalogue::AllApplications);
        new Binding(&data5, QStringLiteral("パス"), text8);
        new Binding(&data5, QStringLiteral("アプリＩＤ"), text9);
    }
    void open(const QString& appId, const QString& file, const QString& keyword, bool keysForBlankKeyword = true)
    {
        OPEN_MEMO_FILE(appId, file, keyword, data5, *text8, *text9, keysForBlankKeyword);
    }
    RecordSet data5;
    QLineEdit* memoBox = new QLineEdit(this);
    TextBox* text8 = new TextBox(this);
    TextBox* text9 = new TextBox(this);
};

class TestOpenMemoFile : public WindowTestFixture
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QVERIFY(setUp()); }
    void cleanup() { tearDown(); }

    // Each memo follows a registered program's, as the windows reuse the record set and boxes.
    void opens_data()
    {
        QTest::addColumn<QStringList>("registered"); // application ID and program path
        QTest::addColumn<QString>("appId");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<bool>("keysForBlank"); // the display window: true, the entry window: false
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<QStringList>("keys");
        auto row = [](const char* tag, QStringList registered, QString appId, QString file, QString keyword,
                      bool keysForBlank, QString commandLine, QStringList keys = {}) {
            QTest::newRow(tag) << registered << appId << file << keyword << keysForBlank << commandLine << keys;
        };
        auto viewer = [](const QString& typed) { return QStringList{"%I", typed, "%D"}; };
        const QStringList app{"APP", "C:\\Tools\\App.exe"};
        row("not registered", {}, "WORD", "/d/w.hlp", "表示", true, "WINHLP32.EXE /d/w.hlp", viewer("表示"));
        row("registered as HLP", {"HLP", "/bin/x"}, "HLP", "/d/h", "保存", true, "WINHLP32.EXE /d/h", viewer("保存"));
        // The lookup ignores letter case, the "HLP" test does not.
        row("registered as hlp with a program", {"hlp", "/bin/hlp"}, "HLP", "/d/a", "k", true, "/bin/hlp /d/a");
        row("registered program", app, "APP", "D:\\Doc\\a.txt", "k", true, "C:\\Tools\\App.exe D:\\Doc\\a.txt");
        row("registered program, no file", app, "APP", "", "k", true, "C:\\Tools\\App.exe ");
        row("not registered, no file", {}, "X", "", "k", true, "WINHLP32.EXE ", viewer("k"));
        row("empty keyword, display window", {}, "", "/d/a", "", true, "WINHLP32.EXE /d/a", viewer(""));
        row("empty keyword, entry window", {}, "", "/d/a", "", false, "WINHLP32.EXE /d/a");
        row("blank keyword, entry window", {}, "", "/d/a", " ", false, "WINHLP32.EXE /d/a");
        row("keyword escaped", {}, "", "/d/a", "C++ %{F4}", true, "WINHLP32.EXE /d/a", viewer("C{+}{+} {%}{{}F4{}}"));
        row("apostrophe in the ID", {"O'Reilly", "/bin/reader"}, "O'Reilly", "/d/b", "k", true, "/bin/reader /d/b");
        row("blanks in the paths", {"APP", "/opt/My Apps/app"}, "APP", "/home/My Docs/a b.txt", "k", true,
            "/opt/My Apps/app /home/My Docs/a b.txt");
    }

    void opens()
    {
        QFETCH(QStringList, registered);
        QFETCH(QString, appId);
        QFETCH(QString, file);
        QFETCH(QString, keyword);
        QFETCH(bool, keysForBlank);
        book->addApplication(QStringLiteral("EARLIER"), QStringLiteral("/usr/bin/earlier"));
        if (!registered.isEmpty())
            book->addApplication(registered.at(0), registered.at(1));
        PathWindow w;
        w.open(QStringLiteral("EARLIER"), QStringLiteral("/doc/earlier"), QString());
        w.open(appId, file, keyword, keysForBlank);

        QCOMPARE(fakes->processStarter.started.size(), 2);
        const ProcessStarter::Command started = fakes->processStarter.started.at(1);
        QTEST(started.commandLine, "commandLine");
        // The program starts with the file as one argument, blanks and all; no file is no argument.
        QCOMPARE(started.program + QLatin1Char(' ') + file, started.commandLine);
        QCOMPARE(started.arguments, file.isEmpty() ? QStringList() : QStringList{file});
        QTEST(fakes->keySender.keys(), "keys");
        for (const FakeKeySender::Sent& sent : fakes->keySender.sent)
            QVERIFY(sent.wait);
    }

    // A failing step ends it silently: no keys after a failed start, no start after a failed lookup.
    void stopsAtTheFirstFailure()
    {
        fakes->processStarter.outcomes.enqueue(Result::failure(QStringLiteral("cannot start")));
        PathWindow().open(QString(), QStringLiteral("/d/a"), QStringLiteral("k"));
        book.reset(); // a memo book without the table of registered applications
        book = std::make_unique<MemoBook>(MemoBook::Tables::MemosOnly);
        PathWindow().open(QStringLiteral("APP"), QStringLiteral("/d/a"), QStringLiteral("k"));
        QCOMPARE(fakes->processStarter.started.size(), 1);
        QVERIFY(fakes->keySender.sent.isEmpty());
        QVERIFY(fakes->messageBox.asked.isEmpty());
    }

    // With the real starter, viewer and keys: the keyword drives the viewer to its topic, and
    // nothing of it is typed into the window the user clicked in.
    void keywordDrivesTheRealViewer()
    {
        QTemporaryDir dir;
        QFile help(dir.filePath(QStringLiteral("manual.hlp")));
        const QString text = QStringLiteral("<p>説明</p>").repeated(40); // scrolls the page
        const QString html = "<html><h2>開く</h2>" + text + "<h2>C++ の設定</h2>" + text + "<h2>印刷</h2>" + text;
        QVERIFY(help.open(QIODevice::WriteOnly) && help.write(html.toUtf8()) > 0);
        help.close();
        PathWindow w;
        ProcessStarter::setInstance(nullptr);
        KeySender::setInstance(nullptr);
        HelpViewer::setInstance(nullptr);
        QVERIFY(activate(&w));
        w.memoBox->setFocus();
        w.open(QStringLiteral("HLP"), help.fileName(), QStringLiteral("C++"));
        HelpViewerWindow* viewer = HelpViewerWindow::window();
        QCOMPARE(viewer->displayedTopic(), 1);
        QCOMPARE(w.memoBox->text(), QString());
        viewer->close();
    }
};

ORV_TEST_MAIN(TestOpenMemoFile)
#include "tst_open_memo_file.moc"
