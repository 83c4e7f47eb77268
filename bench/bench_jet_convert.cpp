// Converting an old memo book (a Jet file) at start-up, against mdb-export of the same tables.
//   bench_jet_convert [jet-file] [--runs <n>]
//
// The default file is the shared 100,000-memo test file (31 MB, kept out of the repository):
// /work/shared/testdata/jet/IDATA2_bench_v2003_100k.mdb, with its manifest beside it (".json").
// Each run measures, in this order and warm (the file is in the page cache after the first):
//   export   `mdb-export <file> メモ帳` and `mdb-export <file> パス`, output thrown away;
//   convert  `orvalent --convert-jet <file> <new>` alone, with its peak memory;
//   start    the whole start-up on a program folder holding the file as IDATA2.mdb, from the
//            call of the start-up sequence until the main window is active (in this process,
//            offscreen), which runs the conversion, keeps the original and makes the backup.
// Afterwards every row of the converted file is digested as the manifest's rule says and
// compared with the manifest. A child's peak memory is its own VmHWM, read while it runs.

#include "BenchSupport.h"

#include "forms/Session.h"
#include "jet/JetImport.h"
#include "platform/MessageBox.h"
#include "startup/ORVAM.h"
#include "startup/VEZOVEDO.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

extern char** environ;

using namespace BenchSupport;

namespace {

struct Measured
{
    double ms = -1;
    double peakMb = -1;
    double cpuMs = -1;
    int status = -1;
};

// Runs a program to its end with its output thrown away.
Measured run(const QStringList& command)
{
    QList<QByteArray> args;
    for (const QString& a : command)
        args.append(QFile::encodeName(a));
    std::vector<char*> argv;
    for (QByteArray& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    Measured m;
    QElapsedTimer clock;
    clock.start();
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        // The child's own high-water mark, read while it runs: the one wait4() reports also
        // counts this process's memory, which the child shared until it started its program.
        const QString statusPath = QStringLiteral("/proc/%1/status").arg(pid);
        qint64 hwmKb = -1;
        int status = 0;
        rusage usage{};
        while (wait4(pid, &status, WNOHANG, &usage) == 0) {
            QFile file(statusPath);
            if (file.open(QIODevice::ReadOnly)) {
                for (const QByteArray& line : file.readAll().split('\n')) {
                    if (line.startsWith("VmHWM:"))
                        hwmKb = line.mid(6).trimmed().split(' ').value(0).toLongLong();
                }
            }
            usleep(5000);
        }
        m.ms = msSince(clock);
        m.peakMb = double(hwmKb) / 1024.0;
        m.cpuMs = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                  double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
        m.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    return m;
}

class AnswerAtOnce : public MessageBox
{
public:
    Answer ask(const Request& request) override
    {
        texts.append(request.text);
        return request.defaultAnswer;
    }
    int choose(const Request& request, const QStringList&, int defaultChoice, int) override
    {
        texts.append(request.text);
        return defaultChoice;
    }
    QStringList texts;
};

// Rows of the converted file whose digest differs from the manifest's, or -1 when unreadable.
qint64 differingRows(const QString& converted, const QString& manifestPath, qint64* compared)
{
    QFile file(manifestPath);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QJsonObject tables =
        QJsonDocument::fromJson(file.readAll()).object().value(QStringLiteral("tables")).toObject();
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(converted).constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        return -1;
    qint64 differing = 0;
    *compared = 0;
    for (const QString& table : tables.keys()) {
        const QJsonObject t = tables.value(table).toObject();
        QStringList columns;
        for (const QJsonValue& c : t.value(QStringLiteral("columns")).toArray())
            columns.append(QLatin1Char('"') + c.toObject().value(QStringLiteral("name")).toString() + QLatin1Char('"'));
        QHash<qint64, QByteArray> digests;
        const QByteArray sql = QStringLiteral("SELECT %1 FROM %2").arg(columns.join(QLatin1Char(',')), table).toUtf8();
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db, sql.constData(), -1, &stmt, nullptr);
        while (stmt && sqlite3_step(stmt) == SQLITE_ROW) {
            QByteArrayList fields;
            for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
                if (sqlite3_column_type(stmt, c) == SQLITE_NULL) {
                    fields.append("-");
                    continue;
                }
                const QByteArray value(reinterpret_cast<const char*>(sqlite3_column_text(stmt, c)),
                                       sqlite3_column_bytes(stmt, c));
                fields.append(QCryptographicHash::hash(value, QCryptographicHash::Sha256).toHex());
            }
            digests.insert(sqlite3_column_int64(stmt, 0),
                           QCryptographicHash::hash(fields.join('|'), QCryptographicHash::Sha256).toHex().left(16));
        }
        sqlite3_finalize(stmt);
        const QJsonArray rows = t.value(QStringLiteral("rows")).toArray();
        if (digests.size() != rows.size())
            differing += qAbs(digests.size() - rows.size());
        for (const QJsonValue& row : rows) {
            const QJsonArray pair = row.toArray();
            ++*compared;
            if (digests.value(pair.at(0).toInteger()) != pair.at(1).toString().toLatin1())
                ++differing;
        }
    }
    sqlite3_close(db);
    return differing;
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QString jet = QStringLiteral("/work/shared/testdata/jet/IDATA2_bench_v2003_100k.mdb");
    int runs = 3;
    const QStringList args = QCoreApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--runs") && i + 1 < args.size())
            runs = args[++i].toInt();
        else
            jet = args[i];
    }
    if (!QFileInfo(jet).isFile()) {
        std::fprintf(stderr, "no Jet file at %s\n", qPrintable(jet));
        return 2;
    }
    const QString program = QStringLiteral(ORV_PROGRAM);
    JetImport::settings().program = program;
    std::printf("file %s (%.1f MB), %d runs\n", qPrintable(jet), double(QFileInfo(jet).size()) / 1048576.0, runs);

    QList<double> exportMs, convertMs, startMs, exportCpu, convertCpu;
    double convertPeak = 0, exportPeak = 0;
    QString lastConverted;
    QTemporaryDir work;
    for (int r = 0; r < runs; ++r) {
        const Measured memos = run({QStringLiteral("mdb-export"), jet, QStringLiteral("メモ帳")});
        const Measured paths = run({QStringLiteral("mdb-export"), jet, QStringLiteral("パス")});
        if (memos.status != 0 || paths.status != 0) {
            std::fprintf(stderr, "mdb-export failed (is mdbtools installed?)\n");
            return 1;
        }
        exportMs.append(memos.ms + paths.ms);
        exportCpu.append(memos.cpuMs + paths.cpuMs);
        exportPeak = qMax(exportPeak, qMax(memos.peakMb, paths.peakMb));

        const QString converted = work.filePath(QStringLiteral("converted-%1.mdb").arg(r));
        const Measured conversion = run({program, QStringLiteral("--convert-jet"), jet, converted});
        if (conversion.status != 0) {
            std::fprintf(stderr, "conversion failed with %d\n", conversion.status);
            return 1;
        }
        convertMs.append(conversion.ms);
        convertCpu.append(conversion.cpuMs);
        convertPeak = qMax(convertPeak, conversion.peakMb);

        const QString folder = work.filePath(QStringLiteral("app-%1").arg(r));
        QDir().mkpath(folder);
        QFile::copy(jet, folder + QStringLiteral("/IDATA2.mdb"));
        AnswerAtOnce messages;
        MessageBox::setInstance(&messages);
        Session session;
        QElapsedTimer clock;
        clock.start();
        const bool started = VEZOVEDO::Main(folder + QStringLiteral("/orvalent"), session);
        ORVAM* window = ORVAM::ifLoaded();
        while (started && window && !window->isActiveWindow() && clock.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        startMs.append(msSince(clock));
        MessageBox::setInstance(nullptr);
        if (!started || !window) {
            std::fprintf(stderr, "start-up failed: %s\n", qPrintable(messages.texts.join(QLatin1Char('|'))));
            return 1;
        }
        window->unload();
        QCoreApplication::processEvents();
        lastConverted = folder + QStringLiteral("/IDATA2.mdb");
    }
    qint64 compared = 0;
    const qint64 differing = differingRows(lastConverted, jet + QStringLiteral(".json"), &compared);
    std::printf("mdb-export of both tables: median %.0f ms (peak %.1f MB)\n", summarise(exportMs).median, exportPeak);
    std::printf("conversion alone:          median %.0f ms (peak %.1f MB), %.2fx mdb-export\n",
                summarise(convertMs).median, convertPeak, summarise(convertMs).median / summarise(exportMs).median);
    std::printf("processor time:            mdb-export %.0f ms, conversion %.0f ms, %.2fx\n",
                summarise(exportCpu).median, summarise(convertCpu).median,
                summarise(convertCpu).median / summarise(exportCpu).median);
    std::printf("start to main window:      median %.0f ms (this process's peak %.1f MB)\n", summarise(startMs).median,
                statusMb("VmHWM"));
    std::printf("row digests: %lld of %lld differ from the manifest\n", static_cast<long long>(differing),
                static_cast<long long>(compared));
    return differing == 0 ? 0 : 1;
}
