// The memo book under crashes and a second running copy of the program: a driver program writes
// memos through the record-set engine and reports each write; it is killed at random moments,
// or run twice at once.
#include "core/BackgroundTask.h"
#include "db/Connection.h"
#include "db/Statement.h"
#include "forms/Session.h"
#include "startup/VEZOVEDO.h"
#include "support/TestMain.h"
#include "support/WindowTestFixture.h"

#include <QDeadlineTimer>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QThread>

namespace {

// Memo ID -> the token its text starts with ("-" for none).
using Memos = QMap<qint64, QString>;

QString tokenOf(const QVariant& memo)
{
    const QString text = memo.toString();
    return text.startsWith(QLatin1Char('#')) ? text.section(QLatin1Char('#'), 1, 1) : QStringLiteral("-");
}

// What the file holds, read as the next start of the program would; the check's verdict first.
struct Stored
{
    QString integrity;
    Memos memos;
};

Stored readBook(const QString& path)
{
    Stored stored;
    std::shared_ptr<Connection> connection = Connection::open(path);
    if (!connection)
        return {QStringLiteral("cannot open"), {}};
    Statement check(connection->handle(), QStringLiteral("PRAGMA integrity_check"));
    while (check.step() == Statement::Step::Row)
        stored.integrity += check.value(0).toString();
    Statement memos(connection->handle(), QStringLiteral("SELECT ID, メモ FROM メモ帳"));
    while (memos.step() == Statement::Step::Row)
        stored.memos.insert(memos.int64(0), tokenOf(memos.value(1)));
    return stored;
}

QString describe(const Memos& memos)
{
    QStringList parts;
    for (auto it = memos.begin(); it != memos.end(); ++it)
        parts.append(QStringLiteral("%1=%2").arg(it.key()).arg(it.value()));
    return parts.join(QLatin1Char(' '));
}

// The driver's report of one run: the writes it finished, and the one it had begun when it died.
struct Run
{
    int done = 0;
    QStringList failures;
    QStringList inFlight; // "save <id> <token>", "add <token>" or "delete <id>" split in words
};

Run replay(const QByteArray& output, Memos& memos)
{
    Run run;
    for (const QByteArray& raw : output.split('\n')) {
        const QStringList words = QString::fromUtf8(raw).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (words.isEmpty() || words[0] == QLatin1String("ready"))
            continue;
        if (words[0] == QLatin1String("begin")) {
            run.inFlight = words.mid(1);
        } else if (words[0] == QLatin1String("done")) {
            const QStringList& w = run.inFlight;
            if (w.value(0) == QLatin1String("save"))
                memos[w[1].toLongLong()] = w[2];
            else if (w.value(0) == QLatin1String("add"))
                memos[words.value(1).toLongLong()] = w[1];
            else if (w.value(0) == QLatin1String("delete"))
                memos.remove(w[1].toLongLong());
            run.inFlight.clear();
            ++run.done;
        } else {
            run.failures.append(QString::fromUtf8(raw));
            run.inFlight.clear();
        }
    }
    return run;
}

// The file holds every finished write; the one the driver was in may be there whole or not at all
// (an added memo may also be there without its text, which is a write of its own).
bool consistent(const Memos& stored, const Memos& expected, const QStringList& inFlight)
{
    if (stored == expected)
        return true;
    Memos after = expected;
    const QString what = inFlight.value(0);
    if (what == QLatin1String("save")) {
        after[inFlight[1].toLongLong()] = inFlight[2];
        return stored == after;
    }
    if (what == QLatin1String("delete")) {
        after.remove(inFlight[1].toLongLong());
        return stored == after;
    }
    if (what == QLatin1String("add") && stored.size() == expected.size() + 1) {
        const qint64 added = stored.lastKey();
        if (expected.contains(added) || (stored[added] != inFlight[1] && stored[added] != QLatin1String("-")))
            return false;
        after[added] = stored[added];
        return stored == after;
    }
    return false;
}

bool waitForLine(QProcess& process, QByteArray& output, const QByteArray& line, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!output.contains(line + '\n')) {
        if (deadline.hasExpired() || !process.waitForReadyRead(int(deadline.remainingTime())))
            return false;
        output += process.readAllStandardOutput();
    }
    return true;
}

int setting(const char* name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok && value > 0 ? value : fallback;
}

} // namespace

class TestCrash : public WindowTestFixture
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QVERIFY(setUp()); }
    void cleanup() { tearDown(); }

    // Killed at random moments while saving, adding and deleting: after every kill the file passes
    // the integrity check and holds every write reported done; the next start-up backs it up, and
    // the backup is a good memo book with the same memos.
    void killedWhileWriting()
    {
        const int kills = setting("ORV_CRASH_KILLS", 50);
        const quint32 seed = quint32(setting("ORV_CRASH_SEED", int(QRandomGenerator::global()->bounded(1 << 30))));
        QRandomGenerator random(seed);
        qInfo("%d kills, seed %u (ORV_CRASH_SEED repeats the run)", kills, seed);
        Memos expected;
        int writes = 0;
        for (int kill = 0; kill < kills; ++kill) {
            QProcess driver;
            driver.start(QStringLiteral(ORV_CRASH_DRIVER),
                         {book->dbPath(), QStringLiteral("crash"), QString::number(seed + kill)});
            QByteArray output;
            QVERIFY2(waitForLine(driver, output, "ready", 10000), output.constData());
            QThread::msleep(random.bounded(1, 100)); // a write takes some 10 to 50 ms
            driver.kill();
            QVERIFY(driver.waitForFinished(10000));
            output += driver.readAllStandardOutput();
            const Memos before = expected;
            const Run run = replay(output, expected);
            QVERIFY2(run.failures.isEmpty(), qPrintable(run.failures.join(QLatin1Char('\n'))));
            writes += run.done;
            const Stored stored = readBook(book->dbPath());
            QCOMPARE(stored.integrity, QStringLiteral("ok"));
            QVERIFY2(consistent(stored.memos, expected, run.inFlight),
                     qPrintable(QStringLiteral("kill %1, in %2\nstored   %3\nexpected %4\nbefore   %5")
                                    .arg(kill)
                                    .arg(run.inFlight.join(QLatin1Char(' ')), describe(stored.memos),
                                         describe(expected), describe(before))));
            expected = stored.memos;
        }
        qInfo("%d writes reported done", writes);
        QVERIFY2(writes >= kills / 2, qPrintable(QStringLiteral("only %1 writes reported").arg(writes)));

        Session session;
        QVERIFY(VEZOVEDO::Main(book->dir() + QStringLiteral("/orvalent"), session));
        BackgroundTask::waitForAll(); // the backup is checked beside the main window
        const Stored backup = readBook(book->dir() + QStringLiteral("/Back Up/IDATA2.mdb"));
        QCOMPARE(backup.integrity, QStringLiteral("ok"));
        QCOMPARE(describe(backup.memos), describe(expected));
    }

    // Two copies of the program saving the same memos and memos of their own at once: every save
    // either stores over the version it read, or fails as a conflict; none is lost, none fails
    // because the file is locked.
    void twoCopiesSaving()
    {
        const int rounds = setting("ORV_COPIES_SAVES", 32);
        for (int i = 0; i < 6; ++i)
            book->addMemo(
                {QString(), QString(), QString(), QString(), QString(), QString(), QStringLiteral("#initial#")});
        const QStringList shared{QStringLiteral("1"), QStringLiteral("2")};
        const QList<QStringList> own{{QStringLiteral("3"), QStringLiteral("4")},
                                     {QStringLiteral("5"), QStringLiteral("6")}};
        QProcess copies[2];
        for (int c = 0; c < 2; ++c) {
            copies[c].start(QStringLiteral(ORV_CRASH_DRIVER),
                            QStringList{book->dbPath(), QStringLiteral("copy"),
                                        c == 0 ? QStringLiteral("first") : QStringLiteral("second"),
                                        QString::number(rounds)} +
                                shared + own[c]);
        }
        QMap<qint64, QList<std::pair<QString, QString>>> saves; // memo -> (token read, token written)
        QMap<qint64, int> conflicts;
        QStringList failures;
        for (QProcess& copy : copies) {
            QVERIFY(copy.waitForFinished(rounds * 1000 + 30000));
            QCOMPARE(copy.exitCode(), 0);
            for (const QByteArray& raw : copy.readAllStandardOutput().split('\n')) {
                const QStringList words = QString::fromUtf8(raw).split(QLatin1Char(' '));
                if (words[0] == QLatin1String("saved"))
                    saves[words[1].toLongLong()].append({words[2], words[3]});
                else if (words[0] == QLatin1String("conflict"))
                    ++conflicts[words[1].toLongLong()];
                else if (words[0] == QLatin1String("failed"))
                    failures.append(QString::fromUtf8(raw));
            }
        }
        int saved = 0;
        for (const auto& memo : std::as_const(saves))
            saved += int(memo.size());
        qInfo("%d saves, %d conflicts", saved, conflicts.value(1) + conflicts.value(2));
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join(QLatin1Char('\n'))));
        QVERIFY2(conflicts.value(1) > 0, "the first copy saved over the second copy's save unwarned");
        for (qint64 id : {3, 4, 5, 6})
            QCOMPARE(conflicts.value(id), 0);
        // Each save read what the save before it wrote: the saves of a memo form one chain from its
        // first text to what it holds now. A lost save would leave two saves on one version.
        const Stored stored = readBook(book->dbPath());
        QCOMPARE(stored.integrity, QStringLiteral("ok"));
        for (qint64 id = 1; id <= 6; ++id) {
            QMap<QString, QString> next;
            for (const auto& [read, written] : saves.value(id)) {
                QVERIFY2(!next.contains(read),
                         qPrintable(QStringLiteral("memo %1: two saves over %2").arg(id).arg(read)));
                next.insert(read, written);
            }
            QString version = QStringLiteral("initial");
            for (qsizetype n = 0; n < next.size(); ++n) {
                QVERIFY2(next.contains(version),
                         qPrintable(QStringLiteral("memo %1: no save over %2").arg(id).arg(version)));
                version = next[version];
            }
            QCOMPARE(stored.memos.value(id), version);
            QVERIFY(!saves.value(id).isEmpty());
        }
    }
};

ORV_TEST_MAIN(TestCrash)
#include "tst_crash.moc"
