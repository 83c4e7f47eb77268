#pragma once

// Clocks, memory figures, options and the memo book, as every benchmark needs them.
//
// Header-only on purpose: every bench/*.cpp is a program of its own.

#include "MemoBookGenerator.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace BenchSupport {

// Ends the benchmark with what went wrong.
[[noreturn]] inline void fail(const QString& what)
{
    std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, qPrintable(what));
    std::exit(1);
}

inline double msSince(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

// CPU time of the process so far (user + system). Another busy process on the machine
// disturbs it less than the wall clock.
inline double cpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// A field of /proc/self/status in kB (VmRSS, VmHWM), or -1.
inline qint64 statusKb(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

inline double statusMb(const char* field)
{
    return double(statusKb(field)) / 1024.0;
}

inline double rssMb()
{
    return statusMb("VmRSS");
}

inline double peakMb()
{
    return statusMb("VmHWM");
}

// The peak from here on is measured afresh.
inline void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

inline double fileMb(const QString& path)
{
    return double(QFileInfo(path).size()) / (1024.0 * 1024.0);
}

// The first of some times in ms, and the least, the middle (the upper one of an even count)
// and the greatest of them.
struct Summary
{
    double first = 0;
    double min = 0;
    double median = 0;
    double max = 0;
};

inline Summary summarise(QList<double> ms)
{
    Summary s;
    if (ms.isEmpty())
        return s;
    s.first = ms.first();
    std::sort(ms.begin(), ms.end());
    s.min = ms.first();
    s.median = ms[ms.size() / 2];
    s.max = ms.last();
    return s;
}

// Japanese text is twice as wide on a terminal as its character count (half-width katakana
// aside): pad by hand.
inline QString padded(const QString& text, int columns)
{
    int width = 0;
    for (const QChar c : text)
        width += c.unicode() >= 0x1100 && !(c.unicode() >= 0xFF61 && c.unicode() <= 0xFF9F) ? 2 : 1;
    return text + QString(qMax(0, columns - width), QLatin1Char(' '));
}

// Takes "<option> <n>" out of the arguments: n, at least 1, or fallback without the option.
inline int takeCount(QStringList& args, const QString& option, int fallback)
{
    const qsizetype at = args.indexOf(option);
    if (at < 0 || at + 1 >= args.size())
        return fallback;
    const int n = qMax(1, args[at + 1].toInt());
    args.remove(at, 2);
    return n;
}

// Writes a memo book of `memos` memos at path, saying so first.
inline MemoBookGenerator::Outcome makeMemoBook(const QString& path, qint64 memos)
{
    std::printf("making %s with %lld memos...\n", qPrintable(path), static_cast<long long>(memos));
    std::fflush(stdout);
    return MemoBookGenerator::generate(path, memos);
}

} // namespace BenchSupport
