#include "core/DurableFile.h"
#include "db/DatabaseBackup.h"
#include "db/Schema.h"
#include "support/EngineTestMain.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <sqlite3.h>

#include <sys/stat.h>

#include <atomic>
#include <thread>

using DatabaseBackup::Refusal;

namespace {

QByteArray contentsOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A connection of the test's own; the statements' failures fail the test.
class Db
{
public:
    explicit Db(const QString& path, int busyMs = 0)
    {
        if (sqlite3_open(QFile::encodeName(path).constData(), &m_db) != SQLITE_OK)
            QTest::qFail("cannot open the test's connection", __FILE__, __LINE__);
        sqlite3_busy_timeout(m_db, busyMs);
    }
    ~Db() { sqlite3_close(m_db); }
    int exec(const QByteArray& sql) { return sqlite3_exec(m_db, sql.constData(), nullptr, nullptr, nullptr); }
    QByteArray text(const QByteArray& sql)
    {
        sqlite3_stmt* stmt = nullptr;
        QByteArray value;
        if (sqlite3_prepare_v2(m_db, sql.constData(), -1, &stmt, nullptr) == SQLITE_OK &&
            sqlite3_step(stmt) == SQLITE_ROW)
            value = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
        sqlite3_finalize(stmt);
        return value;
    }

private:
    sqlite3* m_db = nullptr;
};

} // namespace

class TestDatabaseBackup : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;
    QString book() const { return dir.filePath(QStringLiteral("IDATA2.mdb")); }
    QString backupDir() const { return dir.filePath(QStringLiteral("Back Up")); }
    QString backup() const { return backupDir() + QStringLiteral("/IDATA2.mdb"); }

    void addMemos(int count, int length)
    {
        Db db(book());
        QCOMPARE(db.exec("BEGIN"), SQLITE_OK);
        for (int i = 0; i < count; ++i)
            QCOMPARE(db.exec("INSERT INTO メモ帳 (ｷｰﾜｰﾄﾞ, メモ) VALUES ('k" + QByteArray::number(i) + "', '" +
                             QByteArray(length, char('a' + i % 26)) + "')"),
                     SQLITE_OK);
        QCOMPARE(db.exec("COMMIT"), SQLITE_OK);
    }

private Q_SLOTS:
    void init()
    {
        QVERIFY(dir.isValid());
        QFile::remove(book());
        QDir(book()).removeRecursively();
        QDir(backupDir()).removeRecursively();
        QVERIFY(Schema::createMemoBook(book()));
        QVERIFY(QDir().mkdir(backupDir()));
    }

    // The copy is the file byte for byte, also when it takes several pieces and when the
    // kernel cannot copy between the two file systems; the memo book itself is not touched,
    // the copy is readable by no one the memo book is not, and nothing else is left behind.
    void copiesTheFileExactly_data()
    {
        QTest::addColumn<bool>("otherFileSystem");
        QTest::newRow("same file system") << false;
        QTest::newRow("memory file system") << true;
    }

    void copiesTheFileExactly()
    {
        QFETCH(bool, otherFileSystem);
        std::unique_ptr<QTemporaryDir> shm;
        QString target = backup();
        if (otherFileSystem) {
            if (!QFileInfo(QStringLiteral("/dev/shm")).isWritable())
                QSKIP("no /dev/shm");
            shm = std::make_unique<QTemporaryDir>(QStringLiteral("/dev/shm/orv-backup-XXXXXX"));
            target = shm->filePath(QStringLiteral("IDATA2.mdb"));
        }
        addMemos(20, 1 << 20); // 20 MB: three pieces of the copy
        QVERIFY(QFile::setPermissions(book(), QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        const QByteArray before = contentsOf(book());
        const QDateTime modified = QFileInfo(book()).lastModified();
        // What a start-up killed in its last step left behind, and the copy of the start before.
        QVERIFY(QFile(QFileInfo(target).path() + QStringLiteral("/.IDATA2.mdb.k1ll3d")).open(QIODevice::WriteOnly));
        QFile old(target);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("the copy of the start before");
        old.close();

        QList<qint64> reported;
        qint64 total = 0;
        const DatabaseBackup::Outcome outcome =
            DatabaseBackup::copyMemoBook(book(), target, [&](qint64 done, qint64 all) {
                reported.append(done);
                total = all;
            });
        QVERIFY2(outcome, qPrintable(outcome.result.message));
        QVERIFY(contentsOf(target) == before);
        QVERIFY2(contentsOf(book()) == before, "the memo book is left as it was");
        QCOMPARE(QFileInfo(book()).lastModified(), modified);
        struct stat info = {};
        QCOMPARE(::stat(QFile::encodeName(target).constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, 0600u);
        QCOMPARE(total, before.size());
        QVERIFY(reported.size() >= 3);
        QVERIFY(std::is_sorted(reported.cbegin(), reported.cend()));
        QCOMPARE(reported.last(), total);
        QCOMPARE(QDir(QFileInfo(target).path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{"IDATA2.mdb"});
    }

    // A power cut at any point of the replacement leaves a whole backup: the new copy's data is
    // on the disk before its name takes the old one's place, and the old copy goes only once
    // the folder that holds the new name is on the disk. Until then the old one keeps a name.
    void aPowerCutLeavesAWholeBackup()
    {
        addMemos(50, 1000);
        QVERIFY(DatabaseBackup::copyMemoBook(book(), backup()));
        const QByteArray good = contentsOf(backup());
        addMemos(5, 100);
        QStringList steps;
        DurableFile::setObserver([&steps](const QString& step) { steps.append(step); });
        std::function<void()> finish;
        const DatabaseBackup::Outcome outcome = DatabaseBackup::copyMemoBook(book(), backup(), {}, &finish);
        QVERIFY2(outcome, qPrintable(outcome.result.message));
        QVERIFY(finish);
        const QStringList old =
            QDir(backupDir()).entryList({QStringLiteral(".IDATA2.mdb.old-*")}, QDir::Files | QDir::Hidden);
        QCOMPARE(old.size(), 1);
        const QString oldPath = backupDir() + QLatin1Char('/') + old[0];
        QVERIFY(contentsOf(oldPath) == good);
        QVERIFY(contentsOf(backup()) == contentsOf(book()));
        finish();
        DurableFile::setObserver({});
        const qsizetype dataSynced = steps.indexOf(QStringLiteral("sync the new copy"));
        const qsizetype renamed = steps.indexOf(QStringLiteral("rename the new copy ") + backup());
        const qsizetype folderSynced = steps.indexOf(QStringLiteral("sync ") + backupDir());
        const qsizetype oldRemoved = steps.indexOf(QStringLiteral("remove ") + oldPath);
        QVERIFY2(dataSynced >= 0 && dataSynced < renamed, qPrintable(steps.join(QStringLiteral(" | "))));
        QVERIFY2(renamed < folderSynced && folderSynced < oldRemoved, qPrintable(steps.join(QStringLiteral(" | "))));
        QCOMPARE(QDir(backupDir()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{"IDATA2.mdb"});
    }

    // While the copy is made no other connection can commit, so the copy is the state at
    // one moment; the writer gets its turn afterwards.
    void writersWaitForTheCopy()
    {
        addMemos(40, 1 << 20);
        Db writer(book());
        std::atomic<int> commitDuringCopy{-1};
        const DatabaseBackup::Outcome outcome =
            DatabaseBackup::copyMemoBook(book(), backup(), [&](qint64 done, qint64 total) {
                if (commitDuringCopy >= 0 || done == total)
                    return;
                writer.exec("BEGIN IMMEDIATE");
                writer.exec("INSERT INTO メモ帳 (ｷｰﾜｰﾄﾞ) VALUES ('during')");
                commitDuringCopy = writer.exec("COMMIT");
                writer.exec("ROLLBACK");
            });
        QVERIFY2(outcome, qPrintable(outcome.result.message));
        QCOMPARE(int(commitDuringCopy), SQLITE_BUSY);
        Db copy(backup());
        QCOMPARE(copy.text("SELECT count(*) FROM メモ帳"), QByteArray("40"));
        QCOMPARE(copy.text("PRAGMA quick_check"), QByteArray("ok"));
        QCOMPARE(writer.exec("INSERT INTO メモ帳 (ｷｰﾜｰﾄﾞ) VALUES ('after')"), SQLITE_OK);
    }

    // A memo book in write-ahead-log mode keeps committed memos in its log until a
    // checkpoint; the copy must hold them, whoever else keeps the log open.
    void copiesWhatTheLogHolds()
    {
        Db other(book());
        QCOMPARE(other.text("PRAGMA journal_mode = WAL"), QByteArray("wal"));
        QCOMPARE(other.exec("PRAGMA wal_autocheckpoint = 0"), SQLITE_OK);
        QCOMPARE(other.exec("INSERT INTO メモ帳 (ｷｰﾜｰﾄﾞ) VALUES ('in the log')"), SQLITE_OK);
        // A read transaction elsewhere keeps a full checkpoint from finishing.
        Db reader(book());
        QCOMPARE(reader.exec("BEGIN"), SQLITE_OK);
        QCOMPARE(reader.text("SELECT count(*) FROM メモ帳"), QByteArray("1"));
        QCOMPARE(other.exec("INSERT INTO メモ帳 (ｷｰﾜｰﾄﾞ) VALUES ('after the reader')"), SQLITE_OK);

        const DatabaseBackup::Outcome outcome = DatabaseBackup::copyMemoBook(book(), backup());
        QVERIFY2(outcome, qPrintable(outcome.result.message));
        reader.exec("COMMIT");
        QCOMPARE(QDir(backupDir()).entryList(QDir::Files | QDir::Hidden), QStringList{"IDATA2.mdb"});
        Db copy(backup());
        QCOMPARE(copy.text("PRAGMA journal_mode"), QByteArray("delete"));
        QCOMPARE(copy.text("PRAGMA quick_check"), QByteArray("ok"));
        QCOMPARE(copy.text("SELECT group_concat(ｷｰﾜｰﾄﾞ, '|') FROM (SELECT ｷｰﾜｰﾄﾞ FROM メモ帳 ORDER BY ID)"),
                 QByteArray("in the log|after the reader"));
    }

    // A damaged memo book, or a folder in its place, is refused for its own reason; the old copy
    // and the file itself stay as they were.
    void refuses_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<int>("refusal");
        QTest::newRow("pages overwritten") << "pages" << int(Refusal::Damaged);
        // The engine reads on and the check gives its verdict as a row, not as a failure.
        QTest::newRow("free page count wrong") << "free pages" << int(Refusal::Damaged);
        QTest::newRow("folder, no memo book") << "folder" << int(Refusal::Missing);
    }

    void refuses()
    {
        QFETCH(QString, damage);
        QFETCH(int, refusal);
        addMemos(300, 400);
        QVERIFY(DatabaseBackup::copyMemoBook(book(), backup()));
        const QByteArray good = contentsOf(backup());

        QFile file(book());
        if (damage == u"folder") {
            QVERIFY(file.remove());
            QVERIFY(QDir().mkdir(book()));
        } else {
            QVERIFY(file.open(QIODevice::ReadWrite));
            // The header's count of free pages is at offset 36, big-endian.
            file.seek(damage == u"pages" ? file.size() / 2 : 36);
            file.write(damage == u"pages" ? QByteArray(8192, '\x5a') : QByteArray("\0\0\0\3", 4));
            file.close();
        }
        const QByteArray source = contentsOf(book());

        const DatabaseBackup::Outcome outcome = DatabaseBackup::copyMemoBook(book(), backup());
        QVERIFY(!outcome);
        QCOMPARE(int(outcome.refusal), refusal);
        QVERIFY2(contentsOf(backup()) == good, "the last good copy stays");
        QVERIFY2(contentsOf(book()) == source, "the file is left as it was");
        QCOMPARE(QDir(backupDir()).entryList(QDir::Files | QDir::Hidden), QStringList{"IDATA2.mdb"});
    }

    // A lock held by another program for a moment is waited out.
    void waitsOutABriefLock()
    {
        Db other(book());
        QCOMPARE(other.exec("BEGIN EXCLUSIVE"), SQLITE_OK);
        QCOMPARE(other.exec("INSERT INTO メモ帳 (ｷｰﾜｰﾄﾞ) VALUES ('uncommitted')"), SQLITE_OK);
        std::atomic<bool> released{false};
        std::thread holder([&] {
            QThread::msleep(300);
            other.exec("ROLLBACK");
            released = true;
        });
        const DatabaseBackup::Outcome outcome = DatabaseBackup::copyMemoBook(book(), backup());
        const bool wasReleased = released;
        holder.join();
        QVERIFY2(outcome, qPrintable(outcome.result.message));
        QVERIFY(wasReleased);
        QCOMPARE(Db(backup()).text("SELECT count(*) FROM メモ帳"), QByteArray("0"));
    }
};

ORV_ENGINE_TEST_MAIN(TestDatabaseBackup)
#include "tst_database_backup.moc"
