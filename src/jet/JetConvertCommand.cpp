#include "jet/JetConvertCommand.h"

#include "jet/JetConversion.h"
#include "jet/JetConverter.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>
#include <unistd.h>

#if defined(__has_feature)
#define ORV_HAS_ADDRESS_SANITIZER __has_feature(address_sanitizer)
#else
#define ORV_HAS_ADDRESS_SANITIZER 0
#endif

using JetConversion::Outcome;

namespace {

// The reader works on untrusted bytes: a damaged file can make it loop, exhaust memory or
// crash. Limits end the first two; the handlers below turn all three into a reason.
constexpr rlim_t MemoryLimit = rlim_t(1) << 30;
constexpr rlim_t CpuSeconds = 600;

char g_newPath[4096];
char g_journalPath[4096 + 16];

void writeAll(const char* text)
{
    size_t left = std::strlen(text);
    while (left > 0) {
        const ssize_t n = ::write(STDERR_FILENO, text, left);
        if (n <= 0)
            return;
        text += n;
        left -= size_t(n);
    }
}

// Only async-signal-safe calls: the process may be in any state.
[[noreturn]] void endWith(Outcome outcome, const char* line)
{
    if (g_newPath[0]) {
        ::unlink(g_newPath);
        ::unlink(g_journalPath);
    }
    writeAll(line);
    ::_exit(int(outcome));
}

void onCrash(int)
{
    endWith(Outcome::Damaged, "error: damaged: the reader failed on the file's contents\n");
}

void onCpuLimit(int)
{
    endWith(Outcome::TimedOut, "error: timed out: the processor time limit was reached\n");
}

void installGuards()
{
    // AddressSanitizer reserves terabytes of address space at start: in a checked build a
    // limit on it would fail every allocation, so there its own limits stand in.
#if !defined(__SANITIZE_ADDRESS__) && !ORV_HAS_ADDRESS_SANITIZER
    rlimit memory{MemoryLimit, MemoryLimit};
    setrlimit(RLIMIT_AS, &memory);
#endif
    rlimit cpu{CpuSeconds, CpuSeconds + 10};
    setrlimit(RLIMIT_CPU, &cpu);
    // A crash report would make a core dump of up to the memory limit.
    rlimit core{0, 0};
    setrlimit(RLIMIT_CORE, &core);

    static char altStack[64 * 1024];
    stack_t stack{};
    stack.ss_sp = altStack;
    stack.ss_size = sizeof altStack;
    sigaltstack(&stack, nullptr);
    struct sigaction crash
    {
    };
    crash.sa_handler = onCrash;
    crash.sa_flags = SA_ONSTACK | SA_RESETHAND;
    sigemptyset(&crash.sa_mask);
    for (int signal : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT})
        sigaction(signal, &crash, nullptr);
    struct sigaction cpuLimit = crash;
    cpuLimit.sa_handler = onCpuLimit;
    sigaction(SIGXCPU, &cpuLimit, nullptr);
}

int finish(Outcome outcome, const QString& why)
{
    std::fprintf(stderr, "error: %s: %s\n", qPrintable(JetConversion::key(outcome)), why.toLocal8Bit().constData());
    return int(outcome);
}

} // namespace

int JetConvertCommand::run(int argc, char* argv[])
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s --convert-jet <old.mdb> <new.mdb>\n", argc > 0 ? argv[0] : "orvalent");
        return int(Outcome::Usage);
    }
    installGuards();
    // The schema code reaches SQLite through Qt's driver, which needs an application object.
    QCoreApplication app(argc, argv);
    const QString oldPath = QFile::decodeName(argv[2]);
    const QString newPath = QFile::decodeName(argv[3]);
    if (QFileInfo::exists(newPath) || QFileInfo(newPath).isSymLink())
        return finish(Outcome::TargetExists, QStringLiteral("will not overwrite ") + newPath);
    const QByteArray encoded = QFile::encodeName(QFileInfo(newPath).absoluteFilePath());
    if (size_t(encoded.size()) < sizeof g_newPath) {
        std::memcpy(g_newPath, encoded.constData(), size_t(encoded.size()) + 1);
        std::snprintf(g_journalPath, sizeof g_journalPath, "%s-journal", g_newPath);
    }

    const JetConverter::Report report = JetConverter::convert(oldPath, newPath, [](qint64 done, qint64 total) {
        std::printf("%s\n", JetConversion::progressLine(done, total).constData());
        std::fflush(stdout);
    });
    g_newPath[0] = 0;
    if (report.outcome != Outcome::Converted)
        return finish(report.outcome, report.why);
    std::printf("%s\n", JetConversion::doneLine(report.memos, report.applications).constData());
    std::fflush(stdout);
    return 0;
}
