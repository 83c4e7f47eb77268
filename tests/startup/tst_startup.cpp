#include "core/AppInfo.h"
#include "core/BackgroundTask.h"
#include "db/Connection.h"
#include "db/Schema.h"
#include "forms/Session.h"
#include "platform/HelpViewer.h"
#include "startup/ORVAM.h"
#include "startup/StartupProgress.h"
#include "startup/VEZOVEDO.h"
#include "support/TestMain.h"
#include "support/WindowTestFixture.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTimer>

#include <sqlite3.h>

#include <sys/stat.h>
#include <unistd.h>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

QList<QVariantList> query(const QString& path, const QString& sql)
{
    QList<QVariantList> rows;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        // The main window writes the engine's figures beside its first paint.
        sqlite3_busy_timeout(db, 5000);
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &stmt, nullptr) == SQLITE_OK) {
            while (sqlite3_step(stmt) == SQLITE_ROW) {
                QVariantList row;
                for (int c = 0; c < sqlite3_column_count(stmt); ++c)
                    row.append(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, c))));
                rows.append(row);
            }
        }
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return rows;
}

QByteArray contentsOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The user "nobody" of Debian.
constexpr uid_t NobodyId = 65534;

// Notes a message among the windows' events, answered by the fake.
class NotedMessageBox : public MessageBox
{
public:
    NotedMessageBox(QStringList* seen, MessageBox* fake) : m_seen(seen), m_fake(fake) {}
    Answer ask(const Request& request) override
    {
        m_seen->append(u"message"_s);
        return m_fake->ask(request);
    }
    int choose(const Request& request, const QStringList& choices, int defaultChoice, int escapeChoice) override
    {
        m_seen->append(u"message"_s);
        return m_fake->choose(request, choices, defaultChoice, escapeChoice);
    }

private:
    QStringList* m_seen;
    MessageBox* m_fake;
};

// Notes the showing and hiding of the progress window and the showing of the main window.
class ShowWatch : public QObject
{
public:
    explicit ShowWatch(QStringList* seen) : m_seen(seen) {}
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!watched->isWidgetType() || !static_cast<QWidget*>(watched)->isWindow())
            return false;
        const QString name = watched->objectName();
        const bool progress = name == u"StartupProgress"_s;
        if ((progress || name == u"ORVAM"_s) && event->type() == QEvent::Show)
            m_seen->append(progress ? u"progress shown"_s : u"ORVAM shown"_s);
        else if (progress && event->type() == QEvent::Hide)
            m_seen->append(u"progress hidden"_s);
        return false;
    }

private:
    QStringList* m_seen;
};

} // namespace

class TestStartup : public WindowTestFixture
{
    Q_OBJECT

private:
    QString program() const { return book->dir() + u"/orvalent"_s; }
    QString backup() const { return book->dir() + u"/Back Up/IDATA2.mdb"_s; }

    // What the start under test fills in.
    Session session;

    // A start, and the check of its backup that runs beside the main window.
    bool start(const QString& programPath = {})
    {
        const bool started = VEZOVEDO::Main(programPath.isEmpty() ? program() : programPath, session);
        BackgroundTask::waitForAll();
        return started;
    }

    // The start-up message as it stands, then the lines that say which file, why, and the way on.
    void expectFailure(const QString& file = {}, const QString& why = {}, bool wayBack = false)
    {
        fakes->messageBox.answers.enqueue(MessageBox::Answer::Ok);
        QVERIFY(!VEZOVEDO::Main(program(), session));
        QCOMPARE(fakes->messageBox.asked.size(), 1);
        const MessageBox::Request& asked = fakes->messageBox.asked.first();
        const QStringList lines = asked.text.split(u'\r');
        QCOMPARE(lines.mid(0, 2),
                 (QStringList{u"起動出来ません。ハードディスクの"_s, u"容量などを確認して下さい。"_s}));
        if (!file.isEmpty()) {
            QCOMPARE(lines.value(3), u"ファイル："_s + file);
            QCOMPARE(lines.value(4), why);
            // The last good copy, and how to put it back.
            QCOMPARE(asked.text.contains(backup() + u" を "_s + book->dir() + u" にコピーして下さい。"_s), wayBack);
        }
        QCOMPARE(asked.title, u"オルバレント"_s);
        QCOMPARE(asked.icon, MessageBox::Icon::None);
        QCOMPARE(asked.buttons, MessageBox::Buttons::Ok);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY2(!ORVAM::isLoaded(), "no window after a failed start");
        for (QWidget* w : QApplication::topLevelWidgets()) {
            QVERIFY2(!w->isVisible(), qPrintable(w->objectName()));
            QVERIFY2(!qobject_cast<ORVAM*>(w), "the main window made during the copy is gone");
        }
    }

private Q_SLOTS:
    void init()
    {
        QVERIFY(setUp(MemoBook::Tables::MemosOnly));
        book->addMemo({u"2026/12/06"_s, QString(), u"印刷"_s, u"k1"_s});
        session = Session();
    }

    void cleanup() { tearDown(); }

    void firstStartMakesTheBackupAndThePathTable()
    {
        QVERIFY(start());
        QCOMPARE(session.AppDir, book->dir());
        QCOMPARE(session.BackupDir, book->dir() + u"/Back Up"_s);
        QCOMPARE(session.DbPath, book->dir() + u"/IDATA2.mdb"_s);
        QCOMPARE(HelpViewer::applicationHelpFile(), book->dir() + u"/ｵﾙﾊﾞﾚﾝﾄ.HLP"_s);
        QVERIFY(QFileInfo(session.BackupDir).isDir());
        QCOMPARE(query(backup(), u"SELECT ID, ｷｰﾜｰﾄﾞ, 検索キー１ FROM メモ帳"_s),
                 query(book->dbPath(), u"SELECT ID, ｷｰﾜｰﾄﾞ, 検索キー１ FROM メモ帳"_s));
        QVERIFY2(query(backup(), u"SELECT name FROM sqlite_master WHERE name = 'パス'"_s).isEmpty(),
                 "the backup of the first start is taken before the table is added");
        QCOMPARE(query(book->dbPath(), u"SELECT name FROM pragma_index_info('PrimaryKey')"_s),
                 (QList<QVariantList>{{"ID"}}));
        QTRY_VERIFY2(!query(book->dbPath(), u"SELECT idx FROM sqlite_stat1 WHERE tbl = 'メモ帳'"_s).isEmpty(),
                     "the engine's figures for planning are in the file");
        ORVAM* main = ORVAM::ifLoaded();
        QVERIFY(main);
        QVERIFY(main->isVisible());
        QCOMPARE(main->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized), Qt::WindowNoState);
        QVERIFY(fakes->messageBox.asked.isEmpty());
    }

    void secondStartChangesNothing()
    {
        QVERIFY(start());
        closeAllForms();
        const QList<QVariantList> schema = query(book->dbPath(), u"SELECT sql FROM sqlite_master ORDER BY name"_s);
        QVERIFY2(schema.contains(QVariantList{u"CREATE TABLE sqlite_stat1(tbl,idx,stat)"_s}),
                 "the main window's figures are written once it has closed");
        QVERIFY(start());
        QCOMPARE(query(book->dbPath(), u"SELECT sql FROM sqlite_master ORDER BY name"_s), schema);
        QVERIFY2(!query(backup(), u"SELECT name FROM sqlite_master WHERE name = 'パス'"_s).isEmpty(),
                 "the second start copies the file with its table");
        QVERIFY(fakes->messageBox.asked.isEmpty());
    }

    // A book made before its layout had a version is upgraded once its backup is taken, and the
    // backup keeps it as it was.
    void olderMemoBookIsUpgradedAfterItsBackup()
    {
        book->exec(u"PRAGMA user_version = 0"_s);
        QVERIFY(start());
        QCOMPARE(query(book->dbPath(), u"PRAGMA user_version"_s),
                 (QList<QVariantList>{{QString::number(Schema::Version)}}));
        QCOMPARE(query(backup(), u"PRAGMA user_version"_s), (QList<QVariantList>{{"0"}}));
        QCOMPARE(query(book->dbPath(), u"SELECT ｷｰﾜｰﾄﾞ FROM メモ帳"_s), (QList<QVariantList>{{"印刷"}}));
        QVERIFY(fakes->messageBox.asked.isEmpty());
    }

    void pathTableOfAnotherLayoutIsLeftAlone()
    {
        book->exec(u"CREATE TABLE パス (名前 TEXT)"_s);
        QVERIFY(start());
        QCOMPARE(query(book->dbPath(), u"SELECT name FROM pragma_table_info('パス')"_s),
                 (QList<QVariantList>{{"名前"}}));
        QVERIFY(fakes->messageBox.asked.isEmpty());
    }

    // Whatever keeps start-up from making a good backup of a memo book that can be written,
    // the message is shown, no window opens, the last good backup and the file stay as they were.
    void failedStartShowsTheMessageAndNoWindow_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("about"); // the memo book, the backup folder or the backup
        QTest::addColumn<QString>("why");
        const QString notMemoBook = u"このファイルはオルバレントのメモ帳ではありません。"_s;
        const QString noCopy = u"「Back Up」フォルダにメモ帳のコピーを作れません。"_s;
        const struct
        {
            const char* fault;
            const char* file;
            QString why;
        } rows[] = {{"missing database", "book", u"メモ帳（IDATA2.mdb）がありません。"_s},
                    {"Back Up is a file", "backup", noCopy},
                    {"cannot make Back Up", "folder", u"「Back Up」フォルダを作れません。"_s},
                    {"read-only backup copy", "backup", noCopy},
                    {"disk full", "backup", u"ディスクの空き容量が足りないため、メモ帳のコピーを作れません。"_s},
                    {"zero bytes", "book", notMemoBook},
                    {"file of another program", "book", notMemoBook},
                    {"database without memos", "book", notMemoBook},
                    {"read-only memo book", "book",
                     u"メモ帳か、そのフォルダに書き込めません（読み取り専用になっています）。"_s},
                    {"locked by another program", "book", u"ほかのプログラムがメモ帳を使用中です。"_s},
                    {"written by a newer program", "book",
                     u"このメモ帳は新しい版のオルバレントで書かれているため、この版では開けません。"_s}};
        for (const auto& row : rows)
            QTest::newRow(row.fault) << QString::fromLatin1(row.fault) << QString::fromLatin1(row.file) << row.why;
    }

    void failedStartShowsTheMessageAndNoWindow()
    {
        QFETCH(QString, fault);
        QFETCH(QString, about);
        QFETCH(QString, why);
        const bool noBackupFolder =
            fault == u"missing database"_s || fault == u"Back Up is a file"_s || fault == u"cannot make Back Up"_s;
        if (!noBackupFolder) {
            QVERIFY(QDir(book->dir()).mkdir(u"Back Up"_s));
            QVERIFY(QFile::copy(book->dbPath(), backup()));
            book->addMemo({u"newer"_s});
        }
        const QByteArray backupBefore = contentsOf(backup());

        QFile file(book->dbPath());
        std::unique_ptr<sqlite3, decltype(&sqlite3_close)> other(nullptr, &sqlite3_close);
        if (fault == u"missing database"_s) {
            QVERIFY(file.remove());
        } else if (fault == u"Back Up is a file"_s) {
            QVERIFY(QFile(book->dir() + u"/Back Up"_s).open(QIODevice::WriteOnly));
        } else if (fault == u"read-only backup copy"_s) {
            QVERIFY(QFile::setPermissions(backup(), QFileDevice::ReadOwner | QFileDevice::ReadGroup));
        } else if (fault == u"zero bytes"_s) {
            QVERIFY(file.resize(0));
        } else if (fault == u"file of another program"_s) {
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write("This is a text file, not a memo book.\n");
            file.close();
        } else if (fault == u"database without memos"_s) {
            book->exec(u"DROP TABLE メモ帳"_s);
            book->exec(u"CREATE TABLE notes (body TEXT)"_s);
        } else if (fault == u"read-only memo book"_s) {
            QVERIFY(file.setPermissions(QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));
        } else if (fault == u"written by a newer program"_s) {
            book->exec(u"PRAGMA user_version = %1"_s.arg(Schema::Version + 1));
        } else if (fault == u"locked by another program"_s) {
            sqlite3* raw = nullptr;
            QCOMPARE(sqlite3_open(QFile::encodeName(book->dbPath()).constData(), &raw), SQLITE_OK);
            other.reset(raw);
            QCOMPARE(sqlite3_exec(raw, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
        } else {
            fakes->fileSystem.failMakeDir = fault == u"cannot make Back Up"_s;
            fakes->backup.failCopy = fault == u"disk full"_s;
        }
        const QByteArray bookBefore = contentsOf(book->dbPath());
        const QString named = about == u"book"_s     ? book->dbPath()
                              : about == u"folder"_s ? book->dir() + u"/Back Up"_s
                                                     : backup();
        // The way back is offered where the memo book cannot be used and a copy is there.
        expectFailure(named, why, why.contains(u"ではありません"_s));
        QVERIFY2(contentsOf(backup()) == backupBefore, "the last good backup stays");
        QVERIFY2(contentsOf(book->dbPath()) == bookBefore, "the memo book stays as it was");
        if (fault == u"missing database"_s)
            QVERIFY2(QFileInfo(book->dir() + u"/Back Up"_s).isDir(), "a folder made at start-up stays");
        if (!noBackupFolder)
            QCOMPARE(
                QDir(book->dir() + u"/Back Up"_s).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                QStringList{"IDATA2.mdb"});
    }

    // A memo book found damaged once the main window shows ends the program, and its copy that
    // failed the check leaves nothing behind.
    void damagedMemoBookLeavesNothingOfItsCopy()
    {
        QVERIFY(QDir(book->dir()).mkdir(u"Back Up"_s));
        QVERIFY(QFile::copy(book->dbPath(), backup()));
        for (int i = 0; i < 300; ++i) // big enough that its middle is far from the header
            book->addMemo({u"2026/12/06"_s, {}, u"kw%1"_s.arg(i), {}, {}, {}, QString(400, u'あ')});
        QCOMPARE(Schema::makePathTable(book->dbPath()), Schema::PathTableOutcome::Made); // as after a first start
        QFile file(book->dbPath());
        QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(file.size() / 2));
        file.write(QByteArray(8192, '\x5a'));
        file.close();
        fakes->messageBox.answers.enqueue(MessageBox::Answer::Ok);
        QVERIFY(start());
        QTRY_VERIFY(!ORVAM::isLoaded());
        QCOMPARE(QDir(book->dir() + u"/Back Up"_s).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList{"IDATA2.mdb"});
    }

    // A program folder where the engine cannot write its journal takes no save: start-up
    // refuses it. Run as a user other than root, for whom permissions do not count; the same
    // start in a folder that user can write to works.
    void programFolderThatTakesNoWrites_data()
    {
        QTest::addColumn<bool>("folderWritable");
        QTest::newRow("folder writable") << true;
        QTest::newRow("folder read-only") << false;
    }

    void programFolderThatTakesNoWrites()
    {
        QFETCH(bool, folderWritable);
        QVERIFY(start());
        closeAllForms();
        const QByteArray backupBefore = contentsOf(backup());
        const QByteArray bookBefore = contentsOf(book->dbPath());
        const bool root = ::geteuid() == 0;
        const QString dir = book->dir();
        const QStringList owned = {book->dbPath(), dir + u"/Back Up"_s, backup()};
        if (root) {
            for (const QString& path : owned)
                QCOMPARE(::chown(QFile::encodeName(path).constData(), NobodyId, NobodyId), 0);
            if (folderWritable)
                QCOMPARE(::chown(QFile::encodeName(dir).constData(), NobodyId, NobodyId), 0);
            QCOMPARE(::chmod(QFile::encodeName(dir).constData(), 0755), 0);
        } else if (!folderWritable) {
            QCOMPARE(::chmod(QFile::encodeName(dir).constData(), 0555), 0);
        }

        QProcess driver;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"HOME"_s, dir + u"/Back Up"_s);
        env.insert(u"XDG_RUNTIME_DIR"_s, dir + u"/Back Up"_s);
        driver.setProcessEnvironment(env);
        if (root)
            driver.setChildProcessModifier([] {
                if (::setgid(NobodyId) != 0 || ::setuid(NobodyId) != 0)
                    ::_exit(99);
            });
        // The user nobody may not enter the folder that holds the build (a home folder of mode
        // 0700): the driver runs from a copy in a folder of its own that anyone may enter.
        QTemporaryDir driverDir;
        const QString driverPath = driverDir.filePath(u"orv_start_driver"_s);
        QVERIFY(QFile::copy(QCoreApplication::applicationDirPath() + u"/orv_start_driver"_s, driverPath));
        QCOMPARE(::chmod(QFile::encodeName(driverDir.path()).constData(), 0755), 0);
        QCOMPARE(::chmod(QFile::encodeName(driverPath).constData(), 0755), 0);
        driver.start(driverPath, {dir});
        const bool finished = driver.waitForFinished(30000);
        ::chmod(QFile::encodeName(dir).constData(), 0700);
        if (root)
            ::chown(QFile::encodeName(dir).constData(), 0, 0);
        QVERIFY(finished);
        const QString output = QString::fromUtf8(driver.readAllStandardOutput());
        QCOMPARE(driver.exitCode(), folderWritable ? 0 : 3);
        QCOMPARE(output.contains(u"MESSAGE 起動出来ません。ハードディスクの/容量などを確認して下さい。"_s),
                 !folderWritable);
        if (!folderWritable)
            QVERIFY(contentsOf(backup()) == backupBefore);
        QVERIFY(contentsOf(book->dbPath()) == bookBefore || folderWritable);
    }

    // The first start of a day keeps that day's backup: a user who deleted memos by mistake
    // and then started twice more finds them there.
    void memosDeletedByMistakeSurviveInTheGenerations()
    {
        book->addMemo({u"2026/12/07"_s, QString(), u"大事なメモ"_s});
        QVERIFY(start());
        closeAllForms();
        book->exec(u"DELETE FROM メモ帳"_s);
        for (int again = 0; again < 2; ++again) {
            QVERIFY(start());
            closeAllForms();
        }
        QCOMPARE(query(backup(), u"SELECT count(*) FROM メモ帳"_s), (QList<QVariantList>{{"0"}}));
        const QString kept = book->dir() + u"/Back Up/世代/IDATA2-2026-12-07.mdb"_s;
        QCOMPARE(query(kept, u"SELECT ｷｰﾜｰﾄﾞ FROM メモ帳 ORDER BY ID"_s),
                 (QList<QVariantList>{{"印刷"}, {"大事なメモ"}}));

        // The next day keeps the next copy; without room for it, none, and start-up goes on.
        fakes->fileSystem.fixedToday = QDate(2026, 12, 8);
        fakes->fileSystem.fixedFreeBytes = std::optional<qint64>(QFileInfo(book->dbPath()).size());
        QVERIFY(start());
        closeAllForms();
        QVERIFY(!QFileInfo::exists(book->dir() + u"/Back Up/世代/IDATA2-2026-12-08.mdb"_s));
        fakes->fileSystem.fixedFreeBytes.reset();
        QVERIFY(start());
        QCOMPARE(query(book->dir() + u"/Back Up/世代/IDATA2-2026-12-08.mdb"_s, u"SELECT count(*) FROM メモ帳"_s),
                 (QList<QVariantList>{{"0"}}));
        QVERIFY(fakes->messageBox.asked.isEmpty());
    }

    // The bar shows how far the copy is; before the size is known, and once the copy is done
    // while the memo book is still being checked, it shows only that work goes on.
    void progressBarIsBusyWithoutAFigure_data()
    {
        QTest::addColumn<qint64>("done");
        QTest::addColumn<qint64>("total");
        QTest::addColumn<int>("shown"); // per mille, -1: busy
        QTest::newRow("size not known") << qint64(0) << qint64(0) << -1;
        QTest::newRow("halfway") << qint64(50) << qint64(100) << 500;
        QTest::newRow("copied, still checking") << qint64(100) << qint64(100) << -1;
    }

    void progressBarIsBusyWithoutAFigure()
    {
        QFETCH(qint64, done);
        QFETCH(qint64, total);
        StartupProgress window;
        window.setProgress(done, total);
        const auto* bar = window.findChild<QProgressBar*>(u"progressBar"_s);
        QVERIFY(bar);
        QTEST(bar->maximum() == 0 ? -1 : bar->value() * 1000 / bar->maximum(), "shown");
    }

    // A backup that takes a while shows the progress window until it ends; it is gone before
    // the main window or the message shows. A quick one shows nothing.
    void longBackupShowsItsProgress_data()
    {
        QTest::addColumn<int>("copyMs");
        QTest::addColumn<bool>("copyFails");
        QTest::newRow("quick") << 0 << false;
        QTest::newRow("long") << 1200 << false;
        QTest::newRow("long, then refused") << 1200 << true;
    }

    void longBackupShowsItsProgress()
    {
        QFETCH(int, copyMs);
        QFETCH(bool, copyFails);
        fakes->backup.copyDelayMs = copyMs;
        fakes->backup.failCopy = copyFails;
        if (copyFails)
            fakes->messageBox.answers.enqueue(MessageBox::Answer::Ok);

        QStringList seen;
        ShowWatch watch(&seen);
        qApp->installEventFilter(&watch);
        QTimer probe;
        connect(&probe, &QTimer::timeout, this, [&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* bar = w->findChild<QProgressBar*>(u"progressBar"_s);
                if (w->objectName() == u"StartupProgress"_s && w->isVisible() && bar &&
                    bar->value() == bar->maximum() / 2 && !seen.contains(u"half"_s))
                    seen.append(u"half"_s);
            }
        });
        probe.start(20);
        NotedMessageBox messages(&seen, &fakes->messageBox);
        MessageBox::setInstance(&messages);
        const bool started = VEZOVEDO::Main(program(), session);
        BackgroundTask::waitForAll();
        MessageBox::setInstance(&fakes->messageBox);
        qApp->removeEventFilter(&watch);

        QCOMPARE(started, !copyFails);
        QStringList expected;
        if (copyMs > 0)
            expected << u"progress shown"_s << u"half"_s << u"progress hidden"_s;
        expected << (copyFails ? u"message"_s : u"ORVAM shown"_s);
        QCOMPARE(seen, expected);
    }

    // The backup is made, then another program takes the file for itself before the main
    // window loads: the load fails, and so does the start, with its message and no window.
    void databaseThatCannotBeOpenedByTheMainWindow()
    {
        struct LockedAfterTheCopy : FakeStartupBackup
        {
            DatabaseBackup::Outcome copy(const QString& from, const QString& to,
                                         const DatabaseBackup::Progress& progress,
                                         std::shared_ptr<DatabaseBackup::UncheckedCopy>& unchecked) override
            {
                DatabaseBackup::Outcome copied = FakeStartupBackup::copy(from, to, progress, unchecked);
                if (copied && (sqlite3_open(QFile::encodeName(from).constData(), &other) != SQLITE_OK ||
                               sqlite3_exec(other, "PRAGMA locking_mode = EXCLUSIVE; BEGIN EXCLUSIVE;", nullptr,
                                            nullptr, nullptr) != SQLITE_OK))
                    return {Result::failure(u"the test could not lock the file"_s), DatabaseBackup::Refusal::Busy};
                return copied;
            }
            sqlite3* other = nullptr;
        } locking;
        StartupBackup::setInstance(&locking);
        expectFailure();
        StartupBackup::setInstance(&fakes->backup);
        QVERIFY(locking.other);
        sqlite3_exec(locking.other, "ROLLBACK;", nullptr, nullptr, nullptr);
        sqlite3_close(locking.other);
        QVERIFY2(locking.calls.size() == 1, "the failure came after the copy");
        QVERIFY2(!QFileInfo::exists(backup()), "a copy that was never checked is not kept");
    }

    void backupIsAConsistentSnapshotAfterACrash()
    {
        // A crash in the middle of a large transaction leaves the file with a hot journal.
        const QString crashed = book->dir() + u"/crashed"_s;
        QVERIFY(QDir().mkpath(crashed));
        {
            sqlite3* db = nullptr;
            QCOMPARE(sqlite3_open(QFile::encodeName(book->dbPath()).constData(), &db), SQLITE_OK);
            sqlite3_exec(db, "PRAGMA cache_size = 1; BEGIN;", nullptr, nullptr, nullptr);
            for (int i = 0; i < 200; ++i) {
                const QByteArray sql = "INSERT INTO メモ帳 (メモ) VALUES ('" + QByteArray(500, 'u') + "')";
                sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr);
            }
            QVERIFY(QFile::copy(book->dbPath(), crashed + u"/IDATA2.mdb"_s));
            QVERIFY(QFile::copy(book->dbPath() + u"-journal"_s, crashed + u"/IDATA2.mdb-journal"_s));
            sqlite3_exec(db, "ROLLBACK;", nullptr, nullptr, nullptr);
            sqlite3_close(db);
        }
        QVERIFY(start(crashed + u"/orvalent"_s));
        const QString copy = crashed + u"/Back Up/IDATA2.mdb"_s;
        QCOMPARE(query(copy, u"PRAGMA quick_check"_s), (QList<QVariantList>{{"ok"}}));
        QCOMPARE(query(copy, u"SELECT count(*) FROM メモ帳"_s), (QList<QVariantList>{{"1"}}));
    }
};

ORV_TEST_MAIN(TestStartup)
#include "tst_startup.moc"
