#include "db/Connection.h"
#include "db/Schema.h"
#include "forms/Session.h"
#include "platform/AppInfo.h"
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
        m_seen->append(QStringLiteral("message"));
        return m_fake->ask(request);
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
        if (name == QLatin1String("StartupProgress") && event->type() == QEvent::Show)
            m_seen->append(QStringLiteral("progress shown"));
        else if (name == QLatin1String("StartupProgress") && event->type() == QEvent::Hide)
            m_seen->append(QStringLiteral("progress hidden"));
        else if (name == QLatin1String("ORVAM") && event->type() == QEvent::Show)
            m_seen->append(QStringLiteral("ORVAM shown"));
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
    QString program() const { return book->dir() + QStringLiteral("/orvalent"); }
    QString backup() const { return book->dir() + QStringLiteral("/Back Up/IDATA2.mdb"); }

    // What the start under test fills in.
    Session session;

    void expectFailure()
    {
        fakes->messageBox.answers.enqueue(MessageBox::Answer::Ok);
        QVERIFY(!VEZOVEDO::Main(program(), session));
        QCOMPARE(fakes->messageBox.asked.size(), 1);
        const MessageBox::Request& asked = fakes->messageBox.asked.first();
        QCOMPARE(asked.text, QStringLiteral("起動出来ません。ハードディスクの\r容量などを確認して下さい。"));
        QCOMPARE(asked.title, QStringLiteral("オルバレント"));
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
        book->addMemo({QStringLiteral("2026/12/06"), QString(), QStringLiteral("印刷"), QStringLiteral("k1")});
        session = Session();
    }

    void cleanup() { tearDown(); }

    void firstStartMakesTheBackupAndThePathTable()
    {
        QVERIFY(VEZOVEDO::Main(program(), session));
        QCOMPARE(session.AppDir, book->dir());
        QCOMPARE(session.BackupDir, book->dir() + QStringLiteral("/Back Up"));
        QCOMPARE(session.DbPath, book->dir() + QStringLiteral("/IDATA2.mdb"));
        QCOMPARE(HelpViewer::applicationHelpFile(), book->dir() + QStringLiteral("/ｵﾙﾊﾞﾚﾝﾄ.HLP"));
        QVERIFY(QFileInfo(session.BackupDir).isDir());
        QCOMPARE(query(backup(), QStringLiteral("SELECT ID, ｷｰﾜｰﾄﾞ, 検索キー１ FROM メモ帳")),
                 query(book->dbPath(), QStringLiteral("SELECT ID, ｷｰﾜｰﾄﾞ, 検索キー１ FROM メモ帳")));
        QVERIFY2(query(backup(), QStringLiteral("SELECT name FROM sqlite_master WHERE name = 'パス'")).isEmpty(),
                 "the backup of the first start is taken before the table is added");
        QCOMPARE(query(book->dbPath(), QStringLiteral("SELECT name FROM pragma_table_info('パス') ORDER BY cid")),
                 (QList<QVariantList>{{"ID"}, {"アプリＩＤ"}, {"パス"}}));
        QCOMPARE(
            query(book->dbPath(),
                  QStringLiteral("SELECT \"unique\", origin FROM pragma_index_list('パス') WHERE name = 'PrimaryKey'")),
            (QList<QVariantList>{{"0", "c"}}));
        QCOMPARE(query(book->dbPath(), QStringLiteral("SELECT name FROM pragma_index_info('PrimaryKey')")),
                 (QList<QVariantList>{{"ID"}}));
        QTRY_VERIFY2(
            !query(book->dbPath(), QStringLiteral("SELECT idx FROM sqlite_stat1 WHERE tbl = 'メモ帳'")).isEmpty(),
            "the engine's figures for planning are in the file");
        ORVAM* main = ORVAM::ifLoaded();
        QVERIFY(main);
        QVERIFY(main->isVisible());
        QCOMPARE(main->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized), Qt::WindowNoState);
        QVERIFY(fakes->messageBox.asked.isEmpty());
    }

    void secondStartChangesNothing()
    {
        QVERIFY(VEZOVEDO::Main(program(), session));
        closeAllForms();
        const QList<QVariantList> schema =
            query(book->dbPath(), QStringLiteral("SELECT sql FROM sqlite_master ORDER BY name"));
        QVERIFY2(schema.contains(QVariantList{QStringLiteral("CREATE TABLE sqlite_stat1(tbl,idx,stat)")}),
                 "the main window's figures are written once it has closed");
        QVERIFY(VEZOVEDO::Main(program(), session));
        QCOMPARE(query(book->dbPath(), QStringLiteral("SELECT sql FROM sqlite_master ORDER BY name")), schema);
        QVERIFY2(!query(backup(), QStringLiteral("SELECT name FROM sqlite_master WHERE name = 'パス'")).isEmpty(),
                 "the second start copies the file with its table");
        QVERIFY(fakes->messageBox.asked.isEmpty());
    }

    void pathTableOfAnotherLayoutIsLeftAlone()
    {
        book->exec(QStringLiteral("CREATE TABLE パス (名前 TEXT)"));
        QVERIFY(VEZOVEDO::Main(program(), session));
        QCOMPARE(query(book->dbPath(), QStringLiteral("SELECT name FROM pragma_table_info('パス')")),
                 (QList<QVariantList>{{"名前"}}));
        QVERIFY(fakes->messageBox.asked.isEmpty());
    }

    // Whatever keeps start-up from making a good backup of a memo book that can be written,
    // the message is shown, no window opens, the last good backup and the file stay as they were.
    void failedStartShowsTheMessageAndNoWindow_data()
    {
        QTest::addColumn<QString>("fault");
        for (const char* fault : {"missing database", "Back Up is a file", "cannot make Back Up",
                                  "read-only backup copy", "disk full", "zero bytes", "file of another program",
                                  "database without memos", "read-only memo book", "locked by another program"})
            QTest::newRow(fault) << QString::fromLatin1(fault);
    }

    void failedStartShowsTheMessageAndNoWindow()
    {
        QFETCH(QString, fault);
        const bool noBackupFolder = fault == QLatin1String("missing database") ||
                                    fault == QLatin1String("Back Up is a file") ||
                                    fault == QLatin1String("cannot make Back Up");
        if (!noBackupFolder) {
            QVERIFY(QDir(book->dir()).mkdir(QStringLiteral("Back Up")));
            QVERIFY(QFile::copy(book->dbPath(), backup()));
            book->addMemo({QStringLiteral("newer")});
        }
        const QByteArray backupBefore = contentsOf(backup());

        QFile file(book->dbPath());
        std::unique_ptr<sqlite3, decltype(&sqlite3_close)> other(nullptr, &sqlite3_close);
        if (fault == QLatin1String("missing database")) {
            QVERIFY(file.remove());
        } else if (fault == QLatin1String("Back Up is a file")) {
            QVERIFY(QFile(book->dir() + QStringLiteral("/Back Up")).open(QIODevice::WriteOnly));
        } else if (fault == QLatin1String("read-only backup copy")) {
            QVERIFY(QFile::setPermissions(backup(), QFileDevice::ReadOwner | QFileDevice::ReadGroup));
        } else if (fault == QLatin1String("zero bytes")) {
            QVERIFY(file.resize(0));
        } else if (fault == QLatin1String("file of another program")) {
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write("This is a text file, not a memo book.\n");
            file.close();
        } else if (fault == QLatin1String("database without memos")) {
            book->exec(QStringLiteral("DROP TABLE メモ帳"));
            book->exec(QStringLiteral("CREATE TABLE notes (body TEXT)"));
        } else if (fault == QLatin1String("read-only memo book")) {
            QVERIFY(file.setPermissions(QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));
        } else if (fault == QLatin1String("locked by another program")) {
            sqlite3* raw = nullptr;
            QCOMPARE(sqlite3_open(QFile::encodeName(book->dbPath()).constData(), &raw), SQLITE_OK);
            other.reset(raw);
            QCOMPARE(sqlite3_exec(raw, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
        } else {
            fakes->fileSystem.failMakeDir = fault == QLatin1String("cannot make Back Up");
            fakes->fileSystem.failCopy = fault == QLatin1String("disk full");
        }
        const QByteArray bookBefore = contentsOf(book->dbPath());
        expectFailure();
        QVERIFY2(contentsOf(backup()) == backupBefore, "the last good backup stays");
        QVERIFY2(contentsOf(book->dbPath()) == bookBefore, "the memo book stays as it was");
        if (fault == QLatin1String("missing database"))
            QVERIFY2(QFileInfo(book->dir() + QStringLiteral("/Back Up")).isDir(), "a folder made at start-up stays");
        if (!noBackupFolder)
            QCOMPARE(QDir(book->dir() + QStringLiteral("/Back Up"))
                         .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
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
        QVERIFY(VEZOVEDO::Main(program(), session));
        closeAllForms();
        const QByteArray backupBefore = contentsOf(backup());
        const QByteArray bookBefore = contentsOf(book->dbPath());
        const bool root = ::geteuid() == 0;
        const QString dir = book->dir();
        const QStringList owned = {book->dbPath(), dir + QStringLiteral("/Back Up"), backup()};
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
        env.insert(QStringLiteral("HOME"), dir + QStringLiteral("/Back Up"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir + QStringLiteral("/Back Up"));
        driver.setProcessEnvironment(env);
        if (root)
            driver.setChildProcessModifier([] {
                if (::setgid(NobodyId) != 0 || ::setuid(NobodyId) != 0)
                    ::_exit(99);
            });
        driver.start(QCoreApplication::applicationDirPath() + QStringLiteral("/orv_start_driver"), {dir});
        const bool finished = driver.waitForFinished(30000);
        ::chmod(QFile::encodeName(dir).constData(), 0700);
        if (root)
            ::chown(QFile::encodeName(dir).constData(), 0, 0);
        QVERIFY(finished);
        const QString output = QString::fromUtf8(driver.readAllStandardOutput());
        QCOMPARE(driver.exitCode(), folderWritable ? 0 : 3);
        QCOMPARE(output.contains(QStringLiteral("MESSAGE 起動出来ません。ハードディスクの/容量などを確認して下さい。")),
                 !folderWritable);
        if (!folderWritable)
            QVERIFY(contentsOf(backup()) == backupBefore);
        QVERIFY(contentsOf(book->dbPath()) == bookBefore || folderWritable);
    }

    // The first start of a day keeps that day's backup: a user who deleted memos by mistake
    // and then started twice more finds them there.
    void memosDeletedByMistakeSurviveInTheGenerations()
    {
        book->addMemo({QStringLiteral("2026/12/07"), QString(), QStringLiteral("大事なメモ")});
        QVERIFY(VEZOVEDO::Main(program(), session));
        closeAllForms();
        book->exec(QStringLiteral("DELETE FROM メモ帳"));
        for (int start = 0; start < 2; ++start) {
            QVERIFY(VEZOVEDO::Main(program(), session));
            closeAllForms();
        }
        QCOMPARE(query(backup(), QStringLiteral("SELECT count(*) FROM メモ帳")), (QList<QVariantList>{{"0"}}));
        const QString kept = book->dir() + QStringLiteral("/Back Up/世代/IDATA2-2026-12-07.mdb");
        QCOMPARE(query(kept, QStringLiteral("SELECT ｷｰﾜｰﾄﾞ FROM メモ帳 ORDER BY ID")),
                 (QList<QVariantList>{{"印刷"}, {"大事なメモ"}}));

        // The next day keeps the next copy; without room for it, none, and start-up goes on.
        fakes->fileSystem.fixedToday = QDate(2026, 12, 8);
        fakes->fileSystem.fixedFreeBytes = std::optional<qint64>(QFileInfo(book->dbPath()).size());
        QVERIFY(VEZOVEDO::Main(program(), session));
        closeAllForms();
        QVERIFY(!QFileInfo::exists(book->dir() + QStringLiteral("/Back Up/世代/IDATA2-2026-12-08.mdb")));
        fakes->fileSystem.fixedFreeBytes.reset();
        QVERIFY(VEZOVEDO::Main(program(), session));
        QCOMPARE(query(book->dir() + QStringLiteral("/Back Up/世代/IDATA2-2026-12-08.mdb"),
                       QStringLiteral("SELECT count(*) FROM メモ帳")),
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
        const auto* bar = window.findChild<QProgressBar*>(QStringLiteral("progressBar"));
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
        fakes->fileSystem.copyDelayMs = copyMs;
        fakes->fileSystem.failCopy = copyFails;
        if (copyFails)
            fakes->messageBox.answers.enqueue(MessageBox::Answer::Ok);

        // What was seen, in order: the progress window shown and hidden, its bar halfway, the
        // main window shown, the message asked.
        QStringList seen;
        ShowWatch watch(&seen);
        qApp->installEventFilter(&watch);
        QTimer probe;
        connect(&probe, &QTimer::timeout, this, [&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* bar = w->findChild<QProgressBar*>(QStringLiteral("progressBar"));
                if (w->objectName() == QLatin1String("StartupProgress") && w->isVisible() && bar &&
                    bar->value() == bar->maximum() / 2 && !seen.contains(QLatin1String("half")))
                    seen.append(QStringLiteral("half"));
            }
        });
        probe.start(20);
        NotedMessageBox messages(&seen, &fakes->messageBox);
        MessageBox::setInstance(&messages);
        const bool started = VEZOVEDO::Main(program(), session);
        MessageBox::setInstance(&fakes->messageBox);
        qApp->removeEventFilter(&watch);

        QCOMPARE(started, !copyFails);
        QStringList expected;
        if (copyMs > 0)
            expected << QStringLiteral("progress shown") << QStringLiteral("half") << QStringLiteral("progress hidden");
        expected << (copyFails ? QStringLiteral("message") : QStringLiteral("ORVAM shown"));
        QCOMPARE(seen, expected);
    }

    // The backup is made, then another program takes the file for itself before the main
    // window loads: the load fails, and so does the start, with its message and no window.
    void databaseThatCannotBeOpenedByTheMainWindow()
    {
        struct LockedAfterTheCopy : StartupFileSystem
        {
            QString dirEntry(const QString& path, int attributes) override { return real().dirEntry(path, attributes); }
            bool makeDir(const QString& path) override { return real().makeDir(path); }
            QDate today() override { return real().today(); }
            std::optional<qint64> freeBytes(const QString& path) override { return real().freeBytes(path); }
            Result copyDatabase(const QString& from, const QString& to,
                                const DatabaseBackup::Progress& progress) override
            {
                Result copied = real().copyDatabase(from, to, progress);
                if (copied && (sqlite3_open(QFile::encodeName(from).constData(), &other) != SQLITE_OK ||
                               sqlite3_exec(other, "PRAGMA locking_mode = EXCLUSIVE; BEGIN EXCLUSIVE;", nullptr,
                                            nullptr, nullptr) != SQLITE_OK))
                    return Result::failure(QStringLiteral("the test could not lock the file"));
                return copied;
            }
            sqlite3* other = nullptr;
        } fileSystem;
        StartupFileSystem::setInstance(&fileSystem);
        expectFailure();
        StartupFileSystem::setInstance(&fakes->fileSystem);
        QVERIFY(fileSystem.other);
        sqlite3_exec(fileSystem.other, "ROLLBACK;", nullptr, nullptr, nullptr);
        sqlite3_close(fileSystem.other);
        QVERIFY2(QFileInfo::exists(backup()), "the failure came after the copy");
    }

    void damagedDatabaseNeverReplacesTheBackup()
    {
        for (int i = 0; i < 300; ++i)
            book->addMemo({QStringLiteral("2026/12/06"), QString(), QStringLiteral("kw%1").arg(i), QString(), QString(),
                           QString(), QString(400, QChar(u'あ'))});
        QVERIFY(VEZOVEDO::Main(program(), session));
        closeAllForms();
        const QByteArray goodBackup = contentsOf(backup());
        QVERIFY(!goodBackup.isEmpty());

        // Scribble over the middle of the file, leaving its header intact.
        QFile file(book->dbPath());
        QVERIFY(file.open(QIODevice::ReadWrite));
        file.seek(file.size() / 2);
        file.write(QByteArray(8192, '\x5a'));
        file.close();
        expectFailure();
        QCOMPARE(contentsOf(backup()), goodBackup);
    }

    void backupIsAConsistentSnapshotAfterACrash()
    {
        // A crash in the middle of a large transaction leaves the file with a hot journal.
        const QString crashed = book->dir() + QStringLiteral("/crashed");
        QVERIFY(QDir().mkpath(crashed));
        {
            sqlite3* db = nullptr;
            QCOMPARE(sqlite3_open(QFile::encodeName(book->dbPath()).constData(), &db), SQLITE_OK);
            sqlite3_exec(db, "PRAGMA cache_size = 1; BEGIN;", nullptr, nullptr, nullptr);
            for (int i = 0; i < 200; ++i) {
                const QByteArray sql = "INSERT INTO メモ帳 (メモ) VALUES ('" + QByteArray(500, 'u') + "')";
                sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr);
            }
            QVERIFY(QFile::copy(book->dbPath(), crashed + QStringLiteral("/IDATA2.mdb")));
            QVERIFY(QFile::copy(book->dbPath() + QStringLiteral("-journal"),
                                crashed + QStringLiteral("/IDATA2.mdb-journal")));
            sqlite3_exec(db, "ROLLBACK;", nullptr, nullptr, nullptr);
            sqlite3_close(db);
        }
        QVERIFY(VEZOVEDO::Main(crashed + QStringLiteral("/orvalent"), session));
        const QString copy = crashed + QStringLiteral("/Back Up/IDATA2.mdb");
        QCOMPARE(query(copy, QStringLiteral("PRAGMA quick_check")), (QList<QVariantList>{{"ok"}}));
        QCOMPARE(query(copy, QStringLiteral("SELECT count(*) FROM メモ帳")), (QList<QVariantList>{{"1"}}));
    }
};

ORV_TEST_MAIN(TestStartup)
#include "tst_startup.moc"
