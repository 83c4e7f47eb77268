// Writes a memo book of N memos for the benchmarks:
//   generate_memo_book <path> <memos> [--force] [--seed <n>]
// An existing file is left alone unless --force is given.

#include "MemoBookGenerator.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    const bool force = args.removeAll(QStringLiteral("--force")) > 0;
    quint64 seed = MemoBookGenerator::DefaultSeed;
    if (const qsizetype at = args.indexOf(QStringLiteral("--seed")); at >= 0 && at + 1 < args.size()) {
        seed = args[at + 1].toULongLong();
        args.remove(at, 2);
    }
    bool ok = false;
    const qint64 memos = args.size() == 2 ? args[1].toLongLong(&ok) : 0;
    if (!ok || memos < 0 || memos > 10'000'000) {
        std::fprintf(stderr, "usage: generate_memo_book <path> <memos (0..10000000)> [--force] [--seed <n>]\n");
        return 2;
    }

    const MemoBookGenerator::Outcome outcome =
        MemoBookGenerator::generate(args[0], memos, force, seed, [memos](qint64 written) {
            std::fprintf(stderr, "\r%lld / %lld", static_cast<long long>(written), static_cast<long long>(memos));
        });
    std::fprintf(stderr, "\r");
    if (!outcome.result) {
        std::fprintf(stderr, "generate_memo_book: %s\n", qPrintable(outcome.result.message));
        return 1;
    }
    std::printf("%s: %lld memos, %d registered applications, %d keywords, %.1f s, %.1f MB\n", qPrintable(args[0]),
                static_cast<long long>(outcome.memos), outcome.applications, int(MemoBookGenerator::keywords().size()),
                outcome.seconds, double(outcome.bytes) / (1024.0 * 1024.0));
    return 0;
}
