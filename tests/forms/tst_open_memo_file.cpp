#include "db/Catalogue.h"
#include "db/RecordSet.h"
#include "forms/Binding.h"
#include "forms/OPEN_MEMO_FILE.h"
#include "support/TestMain.h"
#include "support/WindowTestFixture.h"
#include "viewer/OldFiles.h"
#include "widgets/TextBox.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

// What a window that opens memos' files holds: the path record set on table パス and the
// two hidden boxes bound to it, from which the found program path and ID are read.
struct PathWindow : QWidget
{
    explicit PathWindow(const QString& dbPath) : data5(QStringLiteral("Data5"), this)
    {
        data5.setDatabaseName(dbPath);
        data5.setRecordSource(Catalogue::AllApplications);
        new Binding(&data5, QStringLiteral("パス"), text8);
        new Binding(&data5, QStringLiteral("アプリＩＤ"), text9);
    }
    void open(const QString& appId, const QString& file, const QString& keyword, bool keysForBlankKeyword = true)
    {
        OPEN_MEMO_FILE(appId, file, keyword, data5, *text8, *text9, keysForBlankKeyword);
    }
    RecordSet data5;
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
    // The program starts with the file as one argument, blanks and all; no file is no argument.
    void opens_data()
    {
        QTest::addColumn<QStringList>("registered"); // application ID and program path
        QTest::addColumn<QString>("appId");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<bool>("keysForBlank"); // the display window: true, the entry window: false
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("keys"); // sent one after the other
        auto row = [](const char* tag, QStringList registered, QString appId, QString file, QString keyword,
                      bool keysForBlank, QString program, QString keys = {}) {
            QTest::newRow(tag) << registered << appId << file << keyword << keysForBlank << program << keys;
        };
        row("not registered", {}, "WORD", "/d/w.hlp", "表示", true, "WINHLP32.EXE", "%I|表示|%D");
        row("registered as HLP", {"HLP", "/bin/x"}, "HLP", "/d/h", "保存", true, "WINHLP32.EXE", "%I|保存|%D");
        // The lookup ignores letter case, the "HLP" test does not.
        row("registered as hlp with a program", {"hlp", "/bin/hlp"}, "HLP", "/d/a", "k", true, "/bin/hlp");
        row("registered program", {"APP", "/opt/tools/app"}, "APP", "/doc/a.txt", "k", true, "/opt/tools/app");
        row("registered program, no file", {"APP", "/bin/app"}, "APP", "", "k", true, "/bin/app");
        row("empty keyword, display window", {}, "", "/d/a", "", true, "WINHLP32.EXE", "%I||%D");
        row("empty keyword, entry window", {}, "", "/d/a", "", false, "WINHLP32.EXE");
        row("blank keyword, entry window", {}, "", "/d/a", " ", false, "WINHLP32.EXE");
        row("blank keyword, display window", {}, "", "/d/a", " ", true, "WINHLP32.EXE", "%I| |%D");
        row("registered as one blank", {" ", "/bin/x"}, " ", "/d/a", "k", true, "WINHLP32.EXE", "%I|k|%D");
        row("keyword escaped", {}, "", "/d/a", "C++ %{F4}", true, "WINHLP32.EXE", "%I|C{+}{+} {%}{{}F4{}}|%D");
        row("apostrophe in the ID", {"O'Reilly", "/bin/reader"}, "O'Reilly", "/d/b", "k", true, "/bin/reader");
        row("blanks in the paths", {"APP", "/opt/My Apps/app"}, "APP", "/home/My Docs/a b.txt", "k", true,
            "/opt/My Apps/app");
    }

    void opens()
    {
        QFETCH(QStringList, registered);
        QFETCH(QString, file);
        book->addApplication(QStringLiteral("EARLIER"), QStringLiteral("/usr/bin/earlier"));
        if (!registered.isEmpty())
            book->addApplication(registered.at(0), registered.at(1));
        PathWindow w(book->dbPath());
        w.open(QStringLiteral("EARLIER"), QStringLiteral("/doc/earlier"), QString());
        QFETCH(QString, appId);
        QFETCH(QString, keyword);
        QFETCH(bool, keysForBlank);
        w.open(appId, file, keyword, keysForBlank);
        const ProcessStarter::Command started = fakes->processStarter.started.value(1);
        QTEST(started.program, "program");
        QCOMPARE(started.commandLine, started.program + QLatin1Char(' ') + file);
        QCOMPARE(started.arguments, file.isEmpty() ? QStringList() : QStringList{file});
        QTEST(fakes->keySender.keys().join(QLatin1Char('|')), "keys");
        for (const FakeKeySender::Sent& sent : fakes->keySender.sent)
            QVERIFY(sent.wait);
    }

    // A registered program that cannot run here leaves the file to the viewer, driven to the
    // keyword as for the help viewer, and the viewer says which program and what to do.
    void fallsBackToTheViewer_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<bool>("startFails");
        QTest::addColumn<QString>("why");
        QTest::newRow("a Windows program") << QStringLiteral("C:\\Program Files\\Office\\EXCEL.EXE") << false
                                           << QStringLiteral("Windows のプログラム");
        QTest::newRow("a UNC program") << QStringLiteral("\\\\server\\apps\\viewer.exe") << false
                                       << QStringLiteral("Windows のプログラム");
        QTest::newRow("a missing program")
            << QStringLiteral("/opt/gone/viewer") << true << QStringLiteral("見つからないか");
    }

    void fallsBackToTheViewer()
    {
        QFETCH(QString, program);
        QFETCH(bool, startFails);
        book->addApplication(QStringLiteral("XLS"), program);
        if (startFails)
            fakes->processStarter.outcomes.enqueue(Result::failure(QStringLiteral("cannot start")));
        PathWindow w(book->dbPath());
        w.open(QStringLiteral("XLS"), QStringLiteral("/d/book.pdf"), QStringLiteral("関数"), false);
        const QList<ProcessStarter::Command> started = fakes->processStarter.started;
        QCOMPARE(started.size(), startFails ? 2 : 1);
        QCOMPARE(started.last().program, QStringLiteral("WINHLP32.EXE"));
        QCOMPARE(started.last().arguments, QStringList{QStringLiteral("/d/book.pdf")});
        QCOMPARE(fakes->keySender.keys().join(QLatin1Char('|')), QStringLiteral("%I|関数|%D"));
        const QString notice = fakes->helpViewer.m_notice;
        QVERIFY2(notice.contains(program) && notice.contains(QStringLiteral("「XLS」")), qPrintable(notice));
        QFETCH(QString, why);
        QVERIFY2(notice.contains(why), qPrintable(notice));
        QVERIFY(notice.contains(QStringLiteral("アプリケーション登録で")));
    }

    // A program of this machine gets an old memo's file where the user's old files are now; a
    // file not found there goes to the viewer, which asks where they are.
    void handsOldFilesOverWhereTheyAreNow()
    {
        QTemporaryDir old;
        QVERIFY(QDir(old.path()).mkpath(QStringLiteral("Docs")));
        QFile found(old.filePath(QStringLiteral("Docs/Manual.pdf")));
        QVERIFY(found.open(QIODevice::WriteOnly));
        found.close();
        QVERIFY(OldFiles::storeRoot(QStringLiteral("D:"), old.path()));
        book->addApplication(QStringLiteral("PDF"), QStringLiteral("/usr/bin/reader"));
        PathWindow w(book->dbPath());
        w.open(QStringLiteral("PDF"), QStringLiteral("d:\\DOCS\\manual.PDF"), QStringLiteral("k"));
        w.open(QStringLiteral("PDF"), QStringLiteral("E:\\elsewhere.pdf"), QStringLiteral("k"));
        QVERIFY(OldFiles::forgetRoot(QStringLiteral("D:")));
        const QList<ProcessStarter::Command> started = fakes->processStarter.started;
        QCOMPARE(started.size(), 2);
        QCOMPARE(started.at(0).program, QStringLiteral("/usr/bin/reader"));
        QCOMPARE(started.at(0).arguments, QStringList{found.fileName()});
        QCOMPARE(started.at(1).program, QStringLiteral("WINHLP32.EXE"));
        QCOMPARE(started.at(1).arguments, QStringList{QStringLiteral("E:\\elsewhere.pdf")});
        QVERIFY(fakes->helpViewer.m_notice.isEmpty());
    }

    // A failing step ends it silently: no keys after a failed start, no start after a failed lookup.
    void stopsAtTheFirstFailure()
    {
        fakes->processStarter.outcomes.enqueue(Result::failure(QStringLiteral("cannot start")));
        PathWindow(book->dbPath()).open(QString(), QStringLiteral("/d/a"), QStringLiteral("k"));
        book.reset(); // a memo book without the table of registered applications
        book = std::make_unique<MemoBook>(MemoBook::Tables::MemosOnly);
        PathWindow(book->dbPath()).open(QStringLiteral("APP"), QStringLiteral("/d/a"), QStringLiteral("k"));
        QCOMPARE(fakes->processStarter.started.size(), 1);
        QVERIFY(fakes->keySender.sent.isEmpty() && fakes->messageBox.asked.isEmpty());
    }
};

ORV_TEST_MAIN(TestOpenMemoFile)
#include "tst_open_memo_file.moc"
