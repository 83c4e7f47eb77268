// Start-up of the program on a large memo book, up to the main window shown and painted.
//   bench_startup <memo-book> [memos if it has to be made, default 100000] [--runs <n>]
//
// The memo book is copied into a temporary program folder as IDATA2.mdb. Each run starts
// this program again in a process of its own (as the real program starts: new application,
// fonts, windows), which runs the start-up sequence with the real file system, so the
// backup into "Back Up" happens as it does for the user; the first run creates that folder.
// For reference the same file is then copied by SQLite's online backup and as a plain file.
// The file is in the page cache throughout: these are warm figures.

#include "BenchSupport.h"
#include "MemoBookGenerator.h"

#include "core/BackgroundTask.h"
#include "db/DatabaseBackup.h"
#include "forms/Session.h"
#include "platform/MessageBox.h"
#include "startup/ORVAM.h"
#include "startup/VEZOVEDO.h"
#include "widgets/Appearance.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

using namespace BenchSupport;

namespace {

double median(QList<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// A failed start-up must not wait for a click: the message is kept and answered at once.
class NoteMessageBox : public MessageBox
{
public:
    Answer ask(const Request& request) override
    {
        messages.append(request.text);
        return request.defaultAnswer;
    }
    int choose(const Request& request, const QStringList&, int defaultChoice, int) override
    {
        messages.append(request.text);
        return defaultChoice;
    }
    QStringList messages;
};

// The real backup, with the time the database copy takes.
class TimedBackup : public StartupBackup
{
public:
    DatabaseBackup::Outcome copy(const QString& from, const QString& to, const DatabaseBackup::Progress& progress,
                                 std::shared_ptr<DatabaseBackup::UncheckedCopy>& unchecked) override
    {
        startMs = msSince(*clock);
        // As start-up was before the check moved behind the main window: copy and check first.
        DatabaseBackup::Outcome r =
            checkFirst ? DatabaseBackup::copyMemoBook(from, to, progress) : real().copy(from, to, progress, unchecked);
        endMs = msSince(*clock);
        return r;
    }
    const QElapsedTimer* clock = nullptr;
    bool checkFirst = false;
    double startMs = 0;
    double endMs = 0;
};

// Notes the first paint of the main window.
class PaintWatch : public QObject
{
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && paintedMs < 0 && qobject_cast<ORVAM*>(watched))
            paintedMs = msSince(*clock);
        return false;
    }
    const QElapsedTimer* clock = nullptr;
    double paintedMs = -1;
};

// One start of the program in this process; prints one line of figures.
int oneStart(int argc, char* argv[], const QString& programDir)
{
    QElapsedTimer clock;
    clock.start();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Appearance::apply(app);
    NoteMessageBox messages;
    MessageBox::setInstance(&messages);
    TimedBackup fs;
    fs.clock = &clock;
    fs.checkFirst = qEnvironmentVariableIsSet("ORV_BENCH_CHECK_FIRST");
    StartupBackup::setInstance(&fs);
    PaintWatch paint;
    paint.clock = &clock;
    app.installEventFilter(&paint);
    const double appMs = msSince(clock);

    Session session;
    const bool started = VEZOVEDO::Main(programDir + QStringLiteral("/orvalent"), session);
    const double mainMs = msSince(clock);
    ORVAM* window = ORVAM::ifLoaded();
    double activeMs = -1;
    QElapsedTimer wait;
    wait.start();
    while (started && window && wait.elapsed() < 30000 && (activeMs < 0 || paint.paintedMs < 0)) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (activeMs < 0 && window->isActiveWindow())
            activeMs = msSince(clock);
    }
    const double shownMs = msSince(clock);
    const double shownCpuMs = cpuMs();
    // The copy's check beside the main window, until the copy has taken the backup's place.
    BackgroundTask::waitForAll();
    const double checkedMs = msSince(clock);
    const bool shown = started && window && window->isVisible() && activeMs >= 0 && paint.paintedMs >= 0;
    std::printf("RESULT ok=%d app=%.2f backupStart=%.2f backupEnd=%.2f main=%.2f active=%.2f painted=%.2f shown=%.2f "
                "checked=%.2f cpu=%.2f hwm=%lld "
                "msg=%s\n",
                int(shown), appMs, fs.startMs, fs.endMs, mainMs, activeMs, paint.paintedMs, shownMs, checkedMs,
                shownCpuMs, static_cast<long long>(statusKb("VmHWM")),
                qPrintable(messages.messages.join(QLatin1Char('|'))
                               .replace(QLatin1Char('\r'), QLatin1Char('/'))
                               .replace(QLatin1Char(' '), QLatin1Char('_'))));
    std::fflush(stdout);
    if (window)
        window->unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    MessageBox::setInstance(nullptr);
    StartupBackup::setInstance(nullptr);
    return shown ? 0 : 1;
}

struct StartFigures
{
    bool ok = false;
    double processMs = 0; // from starting the process to its end
    QHash<QString, QString> values;
    double value(const QString& key) const { return values.value(key).toDouble(); }
};

StartFigures startOnce(const QString& programDir, bool checkFirst)
{
    StartFigures figures;
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (checkFirst)
        env.insert(QStringLiteral("ORV_BENCH_CHECK_FIRST"), QStringLiteral("1"));
    child.setProcessEnvironment(env);
    // The child's warnings (offscreen platform) are shown only when it fails.
    child.setProcessChannelMode(QProcess::SeparateChannels);
    QElapsedTimer timer;
    timer.start();
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--one-start"), programDir});
    if (!child.waitForFinished(120000)) {
        child.kill();
        child.waitForFinished();
        return figures;
    }
    figures.processMs = msSince(timer);
    const QString out = QString::fromUtf8(child.readAllStandardOutput());
    const qsizetype at = out.indexOf(QStringLiteral("RESULT "));
    if (at < 0) {
        std::fprintf(stderr, "%s", child.readAllStandardError().constData());
        return figures;
    }
    const QString line = out.mid(at + 7).section(QLatin1Char('\n'), 0, 0);
    for (const QString& pair : line.split(QLatin1Char(' '))) {
        figures.values.insert(pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1));
    }
    figures.ok = figures.values.value(QStringLiteral("ok")) == QLatin1String("1");
    if (!figures.ok)
        std::fprintf(stderr, "%s", child.readAllStandardError().constData());
    return figures;
}

bool quickCheckPasses(sqlite3* db)
{
    Statement check(db, QStringLiteral("PRAGMA quick_check"));
    return check.step() == Statement::Step::Row && check.value(0).toString() == QLatin1String("ok");
}

Result sqliteBackup(const QString& from, const QString& to, bool check)
{
    sqlite3* source = nullptr;
    sqlite3* dest = nullptr;
    Result result = Result::success();
    if (sqlite3_open_v2(QFile::encodeName(from).constData(), &source, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        result = Result::failure(QString::fromUtf8(sqlite3_errmsg(source)));
    } else if (check && !quickCheckPasses(source)) {
        result = Result::failure(QStringLiteral("quick_check failed"));
    } else if (!to.isEmpty()) {
        if (sqlite3_open_v2(QFile::encodeName(to).constData(), &dest, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                            nullptr) != SQLITE_OK) {
            result = Result::failure(QString::fromUtf8(sqlite3_errmsg(dest)));
        } else if (sqlite3_backup* backup = sqlite3_backup_init(dest, "main", source, "main")) {
            const int rc = sqlite3_backup_step(backup, -1);
            sqlite3_backup_finish(backup);
            if (rc != SQLITE_DONE)
                result = Result::failure(QString::fromUtf8(sqlite3_errstr(rc)));
        } else {
            result = Result::failure(QString::fromUtf8(sqlite3_errmsg(dest)));
        }
    }
    sqlite3_close(dest);
    sqlite3_close(source);
    return result;
}

bool syncFile(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

// The file copied by the system's cp, as a user would copy it. cp leaves the data in the
// page cache for the kernel to write back later; the backup may not, so cp followed by a
// sync of the copy is shown beside it.
bool coreutilsCopy(const QString& from, const QString& to, bool sync)
{
    return QProcess::execute(QStringLiteral("cp"), {from, to}) == 0 && (!sync || syncFile(to));
}

bool plainCopy(const QString& from, const QString& to, bool sync)
{
    return QFile::copy(from, to) && (!sync || syncFile(to));
}

// Runs one copy method a few times into a fresh target; the median time in ms.
template <class Copy> double timeCopy(const QString& target, int times, Copy copy)
{
    QList<double> ms;
    for (int i = 0; i < times; ++i) {
        QFile::remove(target);
        QElapsedTimer timer;
        timer.start();
        if (!copy())
            return -1;
        ms.append(msSince(timer));
    }
    QFile::remove(target);
    return median(ms);
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc == 3 && qstrcmp(argv[1], "--one-start") == 0)
        return oneStart(argc, argv, QString::fromLocal8Bit(argv[2]));

    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    const int runs = takeCount(args, QStringLiteral("--runs"), 5);
    if (args.isEmpty()) {
        std::fprintf(stderr, "usage: bench_startup <memo-book> [memos if it has to be made] [--runs <n>]\n");
        return 2;
    }
    const QString book = args[0];
    if (!QFileInfo::exists(book)) {
        const auto made = makeMemoBook(book, args.value(1, QStringLiteral("100000")).toLongLong());
        if (!made.result) {
            std::fprintf(stderr, "%s\n", qPrintable(made.result.message));
            return 1;
        }
    }
    const qint64 memos = MemoBookGenerator::memoCount(book);
    std::printf("memo book: %s, %lld memos, %.1f MB\n", qPrintable(book), static_cast<long long>(memos), fileMb(book));

    QTemporaryDir programDir(QDir::tempPath() + QStringLiteral("/orv-bench-startup-XXXXXX"));
    const QString database = programDir.filePath(QStringLiteral("IDATA2.mdb"));
    if (!programDir.isValid() || !QFile::copy(book, database)) {
        std::fprintf(stderr, "cannot make the program folder\n");
        return 1;
    }

    const QString target = programDir.filePath(QStringLiteral("reference.mdb"));
    // A plain copy of the same file after each start, so that both meet the same load.
    auto timeCp = [&](bool sync) {
        QFile::remove(target);
        QElapsedTimer timer;
        timer.start();
        const bool copied = coreutilsCopy(database, target, sync);
        const double ms = msSince(timer);
        QFile::remove(target);
        return copied ? ms : -1;
    };
    std::printf("\n%-4s %7s %15s %9s %9s %9s %9s %9s %9s %8s %8s %6s\n", "run", "app", "backup from-to", "after",
                "painted", "checked", "CPU", "process", "RSS [MB]", "cp", "+fsync", "ratio");
    QList<double> shown, backups, before, after, processes, cpus, cps, syncedCps, ratios, firstRatios;
    for (int run = 1; run <= runs; ++run) {
        // Side by side: a start as before (the copy checked before the main window), then one as now.
        const StartFigures first = startOnce(programDir.path(), true);
        if (first.ok) {
            const double firstPainted =
                qMax(first.value(QStringLiteral("painted")), first.value(QStringLiteral("active")));
            const double firstCp = timeCp(false);
            std::printf("%-4s %7.1f %7.1f-%7.1f %9.1f %9.1f %9.1f %9.1f %9.1f %9.1f %8.1f %8s %6.2f  (check first)\n",
                        "", first.value(QStringLiteral("app")), first.value(QStringLiteral("backupStart")),
                        first.value(QStringLiteral("backupEnd")),
                        firstPainted - first.value(QStringLiteral("backupEnd")), firstPainted,
                        first.value(QStringLiteral("checked")), first.value(QStringLiteral("cpu")), first.processMs,
                        first.value(QStringLiteral("hwm")) / 1024.0, firstCp, "", firstPainted / firstCp);
            firstRatios.append(firstPainted / firstCp);
        }
        const StartFigures f = startOnce(programDir.path(), false);
        if (!f.ok) {
            std::printf("%-5d start-up failed: %s\n", run, qPrintable(f.values.value(QStringLiteral("msg"))));
            return 1;
        }
        const double cp = timeCp(false);
        const double syncedCp = timeCp(true);
        const double painted = qMax(f.value(QStringLiteral("painted")), f.value(QStringLiteral("active")));
        const double from = f.value(QStringLiteral("backupStart"));
        const double to = f.value(QStringLiteral("backupEnd"));
        std::printf("%-4d %7.1f %7.1f-%7.1f %9.1f %9.1f %9.1f %9.1f %9.1f %9.1f %8.1f %8.1f %6.2f\n", run,
                    f.value(QStringLiteral("app")), from, to, painted - to, painted, f.value(QStringLiteral("checked")),
                    f.value(QStringLiteral("cpu")), f.processMs, f.value(QStringLiteral("hwm")) / 1024.0, cp, syncedCp,
                    painted / cp);
        shown.append(painted);
        backups.append(to - from);
        before.append(from);
        after.append(painted - to);
        processes.append(f.processMs);
        cpus.append(f.value(QStringLiteral("cpu")));
        cps.append(cp);
        syncedCps.append(syncedCp);
        ratios.append(painted / cp);
    }
    const QString backupCopy = programDir.filePath(QStringLiteral("Back Up/IDATA2.mdb"));
    std::printf("(ms from the start of the process's main(); \"backup\": the copy into \"Back Up\" with its check, "
                "on a thread of its own while the main window is made; \"after\": from its end until the main window "
                "was shown, active and painted; CPU: the process's CPU time by then; cp, +fsync: cp of the same file, "
                "and cp followed by an fsync of the copy, right after each start; ratio: painted / cp)\n"
                "backup copy made: %s, %.1f MB, integrity %s\n",
                QFileInfo::exists(backupCopy) ? "yes" : "NO", fileMb(backupCopy),
                sqliteBackup(backupCopy, {}, true) ? "ok" : "FAILED");

    const int times = 3;
    const double quickCheck = timeCopy(target, times, [&] { return bool(sqliteBackup(database, {}, true)); });
    const double backup = timeCopy(target, times, [&] { return bool(sqliteBackup(database, target, false)); });
    const double checkedBackup = timeCopy(target, times, [&] { return bool(sqliteBackup(database, target, true)); });
    const double copy = timeCopy(target, times, [&] { return plainCopy(database, target, false); });
    const double syncedCopy = timeCopy(target, times, [&] { return plainCopy(database, target, true); });

    const double startMedian = median(shown);
    const double backupMedian = median(backups);
    const double cp = median(cps);
    const double syncedCp = median(syncedCps);
    std::printf("\nmedian of %d runs: start-up to the main window painted %.1f ms (before the backup %.1f ms, backup "
                "%.1f ms, after it %.1f ms), CPU time to then %.1f ms, whole process %.1f ms; cp %.1f ms, cp + fsync "
                "%.1f ms\n",
                runs, startMedian, median(before), backupMedian, median(after), median(cpus), median(processes), cp,
                syncedCp);
    std::printf("\nreference, same file, median of %d:\n", times);
    auto reference = [](const char* what, double ms) { std::printf("  %-52s %10.1f ms\n", what, ms); };
    reference("PRAGMA quick_check alone", quickCheck);
    reference("sqlite3_backup_step(-1) to a new file", backup);
    reference("quick_check + backup", checkedBackup);
    reference("plain file copy (QFile::copy)", copy);
    reference("plain file copy + fsync", syncedCopy);
    std::printf("\nratios: start-up / cp %.2f (median of the runs' ratios %.2f; target 2), backup / cp %.2f, "
                "start-up / (cp + fsync) %.2f, start-up / plain copy %.2f, start-up / (quick_check + backup) %.2f\n",
                startMedian / cp, median(ratios), backupMedian / cp, startMedian / syncedCp, startMedian / copy,
                startMedian / checkedBackup);
    std::printf("side by side, the copy checked before the main window as start-up did before: start-up / cp, "
                "median of the runs' ratios %.2f\n",
                firstRatios.isEmpty() ? -1.0 : median(firstRatios));
    return 0;
}
