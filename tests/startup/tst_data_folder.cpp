// Where the memo book lives: beside a portable program, in the user's data folder for an
// installed one.
#include "core/BackgroundTask.h"
#include "db/Connection.h"
#include "db/Statement.h"
#include "forms/Session.h"
#include "platform/HelpViewer.h"
#include "startup/ORVAM.h"
#include "startup/VEZOVEDO.h"
#include "support/TestMain.h"
#include "support/WindowTestFixture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace {

// An environment variable set for as long as the object lives.
class Environment
{
public:
    Environment(const char* name, const std::optional<QString>& value)
        : m_name(name),
          m_old(qEnvironmentVariableIsSet(name) ? std::optional(qEnvironmentVariable(name)) : std::nullopt)
    {
        set(value);
    }
    ~Environment() { set(m_old); }

private:
    void set(const std::optional<QString>& value)
    {
        if (value)
            qputenv(m_name, value->toUtf8());
        else
            qunsetenv(m_name);
    }
    const char* m_name;
    std::optional<QString> m_old;
};

bool write(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace

class TestDataFolder : public WindowTestFixture
{
    Q_OBJECT

    QTemporaryDir root;
    QString prefix; // an installation: <prefix>/bin/orvalent, <prefix>/share/orvalent
    QString home;
    Session session;

    QString program() const { return prefix + u"/bin/orvalent"_s; }

    static QStringList keywords(const QString& dbPath)
    {
        QStringList found;
        if (const auto connection = Connection::open(dbPath)) {
            Statement query(connection->handle(), u"SELECT ｷｰﾜｰﾄﾞ FROM メモ帳"_s);
            while (query.step() == Statement::Step::Row)
                found << query.value(0).toString();
        }
        return found;
    }

private Q_SLOTS:
    void init()
    {
        QVERIFY(setUp());
        prefix = root.filePath(u"インストール 先"_s);
        home = root.filePath(u"ホーム 利用者"_s);
        QVERIFY(QDir().mkpath(prefix + u"/bin"_s) && QDir().mkpath(prefix + u"/share/orvalent"_s) &&
                QDir().mkpath(home));
        QVERIFY(write(prefix + u"/share/orvalent/ｵﾙﾊﾞﾚﾝﾄ.HLP"_s, "<h1>help</h1>"));
        session = Session();
    }
    void cleanup()
    {
        tearDown();
        QDir(root.path()).removeRecursively();
        QVERIFY(QDir().mkpath(root.path()));
    }

    void installedProgramUsesTheDataFolder_data()
    {
        QTest::addColumn<std::optional<QString>>("xdgDataHome");
        QTest::addColumn<QString>("dataDir"); // relative to the test's root
        QTest::newRow("XDG_DATA_HOME unset") << std::optional<QString>() << u"ホーム 利用者/.local/share/orvalent"_s;
        QTest::newRow("XDG_DATA_HOME empty")
            << std::optional<QString>(QString()) << u"ホーム 利用者/.local/share/orvalent"_s;
        QTest::newRow("XDG_DATA_HOME relative, ignored")
            << std::optional<QString>(u"相対/data"_s) << u"ホーム 利用者/.local/share/orvalent"_s;
        QTest::newRow("XDG_DATA_HOME with blanks and Japanese")
            << std::optional<QString>(u"<root>/データ 置き場"_s) << u"データ 置き場/orvalent"_s;
    }

    // The first start makes the data folder with an empty memo book and its backup there, reads
    // the help file from the installation, and leaves the program's folder and the working
    // folder alone; a second start keeps the memos.
    void installedProgramUsesTheDataFolder()
    {
        QFETCH(std::optional<QString>, xdgDataHome);
        QFETCH(QString, dataDir);
        if (xdgDataHome)
            xdgDataHome->replace(u"<root>"_s, root.path());
        Environment xdg("XDG_DATA_HOME", xdgDataHome);
        Environment homeVariable("HOME", home);
        const QString elsewhere = root.filePath(u"作業"_s);
        QVERIFY(QDir().mkpath(elsewhere));
        const QString workingFolder = QDir::currentPath();
        QDir::setCurrent(elsewhere); // started from a desktop entry, in some other folder

        const bool started = VEZOVEDO::Main(program(), session);
        BackgroundTask::waitForAll(); // the backup is checked beside the main window
        QDir::setCurrent(workingFolder);
        QVERIFY(started);
        const QString data = root.filePath(dataDir);
        QCOMPARE(session.AppDir, data);
        QCOMPARE(session.DbPath, data + u"/IDATA2.mdb"_s);
        QCOMPARE(session.BackupDir, data + u"/Back Up"_s);
        QVERIFY(QFileInfo(session.BackupDir + u"/IDATA2.mdb"_s).isFile());
        QCOMPARE(HelpViewer::applicationHelpFile(), prefix + u"/share/orvalent/ｵﾙﾊﾞﾚﾝﾄ.HLP"_s);
        QCOMPARE(QDir(prefix + u"/bin"_s).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
        QCOMPARE(QDir(elsewhere).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
        QVERIFY(fakes->messageBox.asked.isEmpty());

        closeAllForms();
        {
            auto connection = Connection::open(session.DbPath);
            QVERIFY(connection);
            QVERIFY(connection->exec(u"INSERT INTO メモ帳 (ｷｰﾜｰﾄﾞ) VALUES ('残す')"_s));
        }
        QVERIFY(VEZOVEDO::Main(program(), session));
        BackgroundTask::waitForAll(); // the backup is checked beside the main window
        QCOMPARE(keywords(session.DbPath), QStringList{u"残す"_s});
    }

    void noDataFolderGivesTheStartupMessage_data()
    {
        QTest::addColumn<QString>("what");
        QTest::newRow("XDG_DATA_HOME is a file") << u"file"_s;
        QTest::newRow("no home folder") << u"no home"_s;
        QTest::newRow("a folder where the memo book should be") << u"folder"_s;
    }

    // Nothing is made in a surprising place, and no window opens.
    void noDataFolderGivesTheStartupMessage()
    {
        QFETCH(QString, what);
        const QString file = root.filePath(u"ただのファイル"_s);
        QVERIFY(write(file, "not a folder"));
        Environment xdg("XDG_DATA_HOME", what == u"file"_s ? std::optional(file) : std::nullopt);
        Environment homeVariable("HOME", what == u"no home"_s ? std::optional(QString()) : std::optional(home));
        if (what == u"folder"_s)
            QVERIFY(QDir().mkpath(home + u"/.local/share/orvalent/IDATA2.mdb"_s));
        fakes->messageBox.answers << MessageBox::Answer::Ok;
        QVERIFY(!VEZOVEDO::Main(program(), session));
        QCOMPARE(fakes->messageBox.asked.size(), 1);
        // The start-up message, then where the memo book should have been.
        QVERIFY(fakes->messageBox.asked.first().text.startsWith(VEZOVEDO::StartupFailure + u"\r\rファイル："_s));
        QVERIFY(fakes->messageBox.asked.first().text.contains(
            what == u"folder"_s ? u"メモ帳（IDATA2.mdb）がありません。"_s : u"メモ帳を置くフォルダを作れません。"_s));
        QVERIFY(!ORVAM::isLoaded());
        QCOMPARE(QFileInfo(file).size(), qint64(12));
        if (what != u"folder"_s)
            QVERIFY(!QFileInfo::exists(home + u"/.local"_s));
    }

    // A program folder named bin without the installed files beside it is a portable folder.
    void portableFolderNamedBin()
    {
        QVERIFY(QDir(prefix + u"/share/orvalent"_s).removeRecursively());
        QCOMPARE(VEZOVEDO::installedShareDir(prefix + u"/bin"_s), QString());
        QVERIFY(QDir().mkpath(prefix + u"/share/orvalent"_s));
        QCOMPARE(VEZOVEDO::installedShareDir(prefix + u"/bin"_s), prefix + u"/share/orvalent"_s);
        QCOMPARE(VEZOVEDO::installedShareDir(prefix + u"/app"_s), QString());
    }
};

ORV_TEST_MAIN(TestDataFolder)
#include "tst_data_folder.moc"
