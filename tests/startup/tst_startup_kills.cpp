#include "db/BackupGenerations.h"
#include "db/Schema.h"
#include "support/TestMain.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <sqlite3.h>

#include <algorithm>
#include <csignal>
#include <limits>

using namespace Qt::StringLiterals;

namespace {

// The quick check's verdict and what the memo table holds, read as the next start would
// (read/write, so that a hot journal is rolled back first).
QStringList stateOf(const QString& path)
{
    QStringList state;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        for (const char* sql : {"PRAGMA quick_check", "SELECT count(*), sum(length(メモ)), total(ID) FROM メモ帳"}) {
            sqlite3_stmt* stmt = nullptr;
            if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW) {
                for (int c = 0; c < sqlite3_column_count(stmt); ++c)
                    state.append(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, c))));
            } else {
                state.append(QString::fromUtf8(sqlite3_errmsg(db)));
            }
            sqlite3_finalize(stmt);
        }
    }
    sqlite3_close(db);
    return state;
}

// A start of the program in a process of its own.
class Start
{
public:
    explicit Start(const QString& dir)
    {
        m_process.start(QCoreApplication::applicationDirPath() + u"/orv_start_driver"_s, {dir});
    }

    // Waits for the line; false when the process ended or time ran out first.
    bool waitFor(const QByteArray& line, int timeoutMs = 30000)
    {
        QElapsedTimer timer;
        timer.start();
        while (!m_output.contains(line + '\n')) {
            if (timer.elapsed() > timeoutMs || m_process.state() == QProcess::NotRunning)
                return false;
            m_process.waitForReadyRead(10);
            m_output += m_process.readAllStandardOutput();
        }
        return true;
    }

    void kill()
    {
        ::kill(pid_t(m_process.processId()), SIGKILL);
        m_process.waitForFinished(30000);
        m_output += m_process.readAllStandardOutput();
    }

    bool said(const QByteArray& line) const { return m_output.contains(line + '\n'); }
    QProcess& process() { return m_process; }

private:
    QProcess m_process;
    QByteArray m_output;
};

} // namespace

// Start-ups killed at random moments while they copy the memo book: the memo book and the
// last backup stay good, nothing is left behind, and the next start works.
class TestStartupKills : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;
    QString book() const { return dir.filePath(u"IDATA2.mdb"_s); }
    QString backupDir() const { return dir.filePath(u"Back Up"_s); }

private Q_SLOTS:
    void initTestCase()
    {
        // About 12 MB: a copy long enough to be hit.
        QVERIFY(Schema::createMemoBook(book()));
        sqlite3* db = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(book()).constData(), &db), SQLITE_OK);
        QCOMPARE(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), SQLITE_OK);
        for (int i = 0; i < 1000; ++i) {
            const QByteArray sql = "INSERT INTO メモ帳 (ｷｰﾜｰﾄﾞ, メモ) VALUES ('k" + QByteArray::number(i) + "', '" +
                                   QString(4000, QChar(u'あ' + i % 80)).toUtf8() + "')";
            QCOMPARE(sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
        }
        QCOMPARE(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }

    void killsDuringTheBackupLeaveEverythingGood()
    {
        const int kills =
            qEnvironmentVariableIsSet("ORV_STARTUP_KILLS") ? qEnvironmentVariableIntValue("ORV_STARTUP_KILLS") : 30;
        const QStringList memos = stateOf(book());
        QCOMPARE(memos.value(0), u"ok"_s);

        // Undisturbed starts make the first backup and show how long the backup takes at the
        // least, from the copy to the check of the copy and its replacing the old one (a busy
        // machine only lengthens the later ones); the second replaces a backup, as the killed
        // ones do.
        qint64 backupUs = std::numeric_limits<qint64>::max();
        for (int undisturbed = 0; undisturbed < 2; ++undisturbed) {
            Start start(dir.path());
            QVERIFY(start.waitFor("COPYING"));
            QElapsedTimer backup;
            backup.start();
            QVERIFY(start.waitFor("STARTED"));
            backupUs = std::min(backupUs, backup.nsecsElapsed() / 1000);
            QVERIFY(start.process().waitForFinished(30000));
        }

        const quint32 seed = qEnvironmentVariableIsSet("ORV_STARTUP_KILL_SEED")
                                 ? quint32(qEnvironmentVariableIntValue("ORV_STARTUP_KILL_SEED"))
                                 : QRandomGenerator::global()->generate();
        QRandomGenerator random(seed);
        int duringBackup = 0;
        // On a loaded machine the word that the copy began may be read late, when the backup is
        // nearly done: more kills are sent until a quarter of them have landed in a backup.
        int k = 0;
        for (; k < kills || (duringBackup * 4 < k && k < kills * 4); ++k) {
            const QString where = u"kill %1 of %2 (ORV_STARTUP_KILL_SEED=%3)"_s.arg(k + 1).arg(kills).arg(seed);
            Start start(dir.path());
            QVERIFY2(start.waitFor("COPYING"), qPrintable(where));
            QThread::usleep(random.bounded(quint32(backupUs * 3 / 2 + 1)));
            start.kill();
            if (!start.said("STARTED"))
                ++duringBackup;

            QCOMPARE(stateOf(book()), memos);
            QCOMPARE(stateOf(backupDir() + u"/IDATA2.mdb"_s), memos);
            // A copy that was killed before it got its place keeps a hidden name until the next start.
            QStringList left =
                QDir(backupDir()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
            left.removeIf([](const QString& name) { return name.startsWith(u".IDATA2.mdb."_s); });
            QVERIFY2(left == (QStringList{"IDATA2.mdb", BackupGenerations::FolderName}),
                     qPrintable(where + u": "_s + left.join(QLatin1Char('|'))));
            const QStringList kept = QDir(backupDir() + QLatin1Char('/') + BackupGenerations::FolderName)
                                         .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
            QVERIFY(!kept.isEmpty());
            for (const QString& name : kept)
                QVERIFY2(BackupGenerations::dayOf(name), qPrintable(name));
        }
        qInfo("%d kills, %d of them during the backup", k, duringBackup);
        QVERIFY2(
            duringBackup * 4 >= k,
            qPrintable(u"only %1 of %2 kills landed in the backup (%3 us)"_s.arg(duringBackup).arg(k).arg(backupUs)));

        Start next(dir.path());
        QVERIFY(next.waitFor("STARTED"));
        QVERIFY(next.process().waitForFinished(30000));
        QCOMPARE(next.process().exitCode(), 0);
        QCOMPARE(stateOf(backupDir() + u"/IDATA2.mdb"_s), memos);
        QCOMPARE(QDir(backupDir()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name),
                 (QStringList{"IDATA2.mdb", BackupGenerations::FolderName}));
    }
};

ORV_TEST_MAIN(TestStartupKills)
#include "tst_startup_kills.moc"
