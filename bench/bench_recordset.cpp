// The record-set engine on a large memo book: re-runs of the catalogue's statements, moves,
// a grid over every memo (shown, scrolled) and the drop-down lists.
//   bench_recordset <memo-book> [memos if it has to be made, default 1000000] [--repeat <n>] [--analyze]
// --analyze writes sampled index statistics into the memo book first (use a copy).
// --only <statement> <times> [--grid] re-runs one statement and nothing else, with a grid
// over it when asked (for a profiler).
//
// Rows read from the database are counted with SQLite's statement trace on the shared
// connection (only around the grid, so the trace costs the other figures nothing). Peak
// memory is the process's VmHWM, reset before each part through /proc/self/clear_refs.

#include "BenchSupport.h"
#include "MemoBookGenerator.h"

#include "db/Catalogue.h"
#include "db/Connection.h"
#include "db/RecordSet.h"
#include "forms/Binding.h"
#include "forms/DataGrid.h"
#include "widgets/Appearance.h"
#include "widgets/ComboBox.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QScrollBar>
#include <QTest>

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

using namespace BenchSupport;

namespace {

int g_repeat = 5;

struct Timing
{
    double first = 0;
    double min = 0;
    double median = 0;
    double cpuMedian = 0;
};

// Runs f once, then g_repeat more times; the first run apart, min and median of the rest.
// setup runs before each run, outside the time.
template <class F, class Setup> Timing timeRuns(F f, Setup setup)
{
    Timing t;
    QList<double> ms;
    QList<double> cpu;
    for (int i = 0; i <= g_repeat; ++i) {
        setup();
        QElapsedTimer timer;
        const double cpuStart = cpuMs();
        timer.start();
        f();
        const double elapsed = msSince(timer);
        if (i == 0) {
            t.first = elapsed;
        } else {
            ms.append(elapsed);
            cpu.append(cpuMs() - cpuStart);
        }
    }
    const Summary runs = summarise(ms);
    t.min = runs.min;
    t.median = runs.median;
    t.cpuMedian = summarise(cpu).median;
    return t;
}

template <class F> Timing timeRuns(F f)
{
    return timeRuns(f, [] {});
}

// Rows that statements reading rows by key ("... WHERE ID IN (...)") return.
struct FetchCount
{
    qint64 statements = 0;
    qint64 rows = 0;
};
FetchCount g_fetched;

// The statement that reads rows by key, when one is running. The statement is classified
// once when it starts, so the million rows of a key list cost one comparison each.
sqlite3_stmt* g_fetching = nullptr;

int traced(unsigned type, void*, void* p, void*)
{
    auto* stmt = static_cast<sqlite3_stmt*>(p);
    if (type == SQLITE_TRACE_STMT) {
        const char* sql = sqlite3_sql(stmt);
        g_fetching = sql && std::strstr(sql, " IN (") ? stmt : nullptr;
        if (g_fetching)
            ++g_fetched.statements;
    } else if (type == SQLITE_TRACE_ROW && stmt == g_fetching) {
        ++g_fetched.rows;
    }
    return 0;
}

void trace(sqlite3* db, bool on)
{
    sqlite3_trace_v2(db, on ? SQLITE_TRACE_STMT | SQLITE_TRACE_ROW : 0, on ? traced : nullptr, nullptr);
}

void fail(const char* what, const Result& r)
{
    std::fprintf(stderr, "%s: %s\n", what, qPrintable(r.message));
    std::exit(1);
}

void refreshOrFail(RecordSet& rs)
{
    if (Result r = rs.refresh(); !r)
        fail(qPrintable(rs.recordSource()), r);
}

// A move that is timed must have happened, or the figure means nothing.
void moveOrFail(const Result& moved)
{
    if (!moved)
        fail("move", moved);
}

void header(const char* title)
{
    std::printf("\n%s\n", title);
}

void row(const QString& what, const Timing& t, const QString& extra = {})
{
    std::printf("  %s %9.1f %9.1f %9.1f %9.1f  %s\n", qPrintable(padded(what, 58)), t.first, t.min, t.median,
                t.cpuMedian, qPrintable(extra));
}

// Lets the grid lay out and paint what it shows now.
void settle(DataGrid& grid)
{
    QCoreApplication::processEvents();
    grid.viewport()->repaint();
    QCoreApplication::processEvents();
}

QString mostCommonKeyword(sqlite3* db, QString* medianKeyword, qint64* common, qint64* median)
{
    Statement counts(db, QStringLiteral("SELECT ｷｰﾜｰﾄﾞ, count(*) AS n FROM メモ帳 GROUP BY ｷｰﾜｰﾄﾞ ORDER BY n DESC"));
    QList<std::pair<QString, qint64>> all;
    while (counts.step() == Statement::Step::Row)
        all.append({counts.value(0).toString(), counts.int64(1)});
    if (all.isEmpty())
        return {};
    *medianKeyword = all[all.size() / 2].first;
    *median = all[all.size() / 2].second;
    *common = all.first().second;
    return all.first().first;
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Appearance::apply(app);
    QStringList args = QCoreApplication::arguments().mid(1);
    g_repeat = takeCount(args, QStringLiteral("--repeat"), g_repeat);
    const bool analyze = args.removeAll(QStringLiteral("--analyze")) > 0;
    // Only re-runs of one statement, for a profiler: --only <statement> <times> [--grid].
    const bool withGrid = args.removeAll(QStringLiteral("--grid")) > 0;
    QString onlyStatement;
    int onlyTimes = 0;
    if (const qsizetype at = args.indexOf(QStringLiteral("--only")); at >= 0 && at + 2 < args.size()) {
        onlyStatement = args[at + 1];
        onlyTimes = args[at + 2].toInt();
        args.remove(at, 3);
    }
    if (args.isEmpty()) {
        std::fprintf(stderr, "usage: bench_recordset <memo-book> [memos if it has to be made] [--repeat <n>] "
                             "[--analyze] [--only <statement> <times> [--grid]]\n");
        return 2;
    }
    const QString book = args[0];
    if (!QFileInfo::exists(book)) {
        if (const auto made = makeMemoBook(book, args.value(1, QStringLiteral("1000000")).toLongLong()); !made.result)
            fail("generate", made.result);
    }
    const qint64 memos = MemoBookGenerator::memoCount(book);
    std::printf("memo book: %s, %lld memos, %.1f MB; RSS at start %.1f MB\n", qPrintable(book),
                static_cast<long long>(memos), fileMb(book), rssMb());

    Result opened;
    const std::shared_ptr<Connection> connection = Connection::shared(book, &opened);
    if (!connection)
        fail("open", opened);
    sqlite3* db = connection->handle();
    if (analyze) {
        // Sampled statistics (about 400 rows per index) let SQLite skip from one distinct value
        // of an index to the next in the lists instead of stepping through every row.
        QElapsedTimer timer;
        timer.start();
        if (Result r = connection->exec(QStringLiteral("PRAGMA analysis_limit = 400")); !r)
            fail("analysis_limit", r);
        if (Result r = connection->exec(QStringLiteral("ANALYZE")); !r)
            fail("ANALYZE", r);
        std::printf("ANALYZE with analysis_limit = 400 written into the memo book: %.1f ms\n", msSince(timer));
    }
    if (!onlyStatement.isEmpty()) {
        RecordSet only(QStringLiteral("Data1"));
        only.setDatabaseName(book);
        only.setRecordSource(onlyStatement);
        refreshOrFail(only);
        DataGrid grid;
        if (withGrid) {
            grid.resize(600, 400);
            grid.setRecordSet(&only, only.fieldNames(), false);
            grid.show();
            if (!QTest::qWaitForWindowExposed(&grid))
                fail("grid", Result::failure(QStringLiteral("never shown")));
        }
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < onlyTimes; ++i) {
            refreshOrFail(only);
            if (withGrid)
                settle(grid);
        }
        std::printf("%d re-runs of %s: %.1f ms, %d rows\n", onlyTimes, qPrintable(onlyStatement), msSince(timer),
                    only.recordCount());
        return 0;
    }
    QString medianKeyword;
    qint64 commonCount = 0, medianCount = 0;
    const QString commonKeyword = mostCommonKeyword(db, &medianKeyword, &commonCount, &medianCount);

    // ---- Re-runs -------------------------------------------------------------------------
    header("RecordSet::refresh                                           first [ms]  min [ms] med. [ms]  med. CPU  "
           "rows, current record, memory");
    struct Source
    {
        QString label;
        QString text;
    };
    const QString commonSearch = Catalogue::searchStatement(Catalogue::searchCondition(commonKeyword, {}, {}));
    const QString medianSearch = Catalogue::searchStatement(Catalogue::searchCondition(medianKeyword, {}, {}));
    const QList<Source> sources = {
        {QStringLiteral("all memos, entry window (WHERE ID >= 0)"), Catalogue::AllMemosForEntry},
        {QStringLiteral("bare table name メモ帳"), Catalogue::MemoTableName},
        {QStringLiteral("all memos, show all (WHERE ID > 0)"), Catalogue::AllMemos},
        {QStringLiteral("sort by ｷｰﾜｰﾄﾞ"), Catalogue::sortStatement({}, QStringLiteral("ｷｰﾜｰﾄﾞ"))},
        {QStringLiteral("sort by 日付"), Catalogue::sortStatement({}, QStringLiteral("日付"))},
        {QStringLiteral("sort by ID"), Catalogue::sortStatement({}, QStringLiteral("ID"))},
        {QStringLiteral("sort by ヘルプファイル"), Catalogue::sortStatement({}, QStringLiteral("ヘルプファイル"))},
        {QStringLiteral("search: the most common keyword, Order By ID"), Catalogue::orderedSearch(commonSearch)},
        {QStringLiteral("search: a median keyword, Order By ID"), Catalogue::orderedSearch(medianSearch)},
        {QStringLiteral("search: most common keyword sorted by 日付"),
         Catalogue::sortStatement(commonSearch, QStringLiteral("日付"))},
        {QStringLiteral("one memo by ID (correction)"), Catalogue::memoById(memos / 2)},
    };
    {
        RecordSet first(QStringLiteral("Data1"));
        first.setDatabaseName(book);
        for (const Source& source : sources) {
            first.setRecordSource(source.text);
            resetPeak();
            const double before = rssMb();
            const Timing t = timeRuns([&] { refreshOrFail(first); });
            row(source.label, t,
                QStringLiteral("%1 rows, first ID %4, RSS +%2 MB, peak %3 MB")
                    .arg(first.recordCount())
                    .arg(rssMb() - before, 0, 'f', 1)
                    .arg(peakMb(), 0, 'f', 1)
                    .arg(first.field(0).toString()));
        }
        std::printf("  (searched keywords: \"%s\" in %lld memos, \"%s\" in %lld)\n", qPrintable(commonKeyword),
                    static_cast<long long>(commonCount), qPrintable(medianKeyword),
                    static_cast<long long>(medianCount));
    }

    // ---- Moves ---------------------------------------------------------------------------
    RecordSet result(QStringLiteral("Data1"));
    result.setDatabaseName(book);
    result.setRecordSource(Catalogue::AllMemos);
    refreshOrFail(result);
    header("moves on all memos (WHERE ID > 0)                           first [ms]  min [ms] med. [ms]  med. CPU");
    row(QStringLiteral("moveLast (from the first record)"),
        timeRuns([&] { moveOrFail(result.moveLast()); }, [&] { moveOrFail(result.moveFirst()); }));
    row(QStringLiteral("moveFirst (from the last record)"),
        timeRuns([&] { moveOrFail(result.moveFirst()); }, [&] { moveOrFail(result.moveLast()); }));
    row(QStringLiteral("moveNext x 1000 (from the first record)"), timeRuns(
                                                                       [&] {
                                                                           for (int i = 0; i < 1000; ++i)
                                                                               moveOrFail(result.moveNext());
                                                                       },
                                                                       [&] { moveOrFail(result.moveFirst()); }));
    row(QStringLiteral("movePrevious x 1000 (from the last record)"), timeRuns(
                                                                          [&] {
                                                                              for (int i = 0; i < 1000; ++i)
                                                                                  moveOrFail(result.movePrevious());
                                                                          },
                                                                          [&] { moveOrFail(result.moveLast()); }));
    row(QStringLiteral("re-run + moveLast"), timeRuns([&] {
            refreshOrFail(result);
            moveOrFail(result.moveLast());
        }));
    std::printf("  last record: ID %s, %s\n", qPrintable(result.field(0).toString()),
                qPrintable(result.field(QStringLiteral("ｷｰﾜｰﾄﾞ")).toString()));

    // ---- The grid ------------------------------------------------------------------------
    header("DataGrid 600 x 400 over all memos                          time [ms]  CPU [ms]  rows read  statements  "
           "RSS [MB]  peak [MB]");
    double gridCpu = cpuMs();
    // runs: how many times the step ran since the last row (the CPU time is shared out).
    auto gridRow = [&gridCpu](const QString& what, double ms, int runs = 1) {
        const double now = cpuMs();
        std::printf("  %s %9.1f %9.1f %10lld %11lld %9.1f %10.1f\n", qPrintable(padded(what, 56)), ms,
                    (now - gridCpu) / runs, static_cast<long long>(g_fetched.rows),
                    static_cast<long long>(g_fetched.statements), rssMb(), peakMb());
        g_fetched = {};
        gridCpu = cpuMs();
    };
    // A fresh run leaves only the rows around the first record in the cache.
    refreshOrFail(result);
    double activationResult = 0;
    double activationResultCpu = 0;
    resetPeak();
    trace(db, true);
    g_fetched = {};
    {
        DataGrid grid;
        grid.resize(600, 400);
        QElapsedTimer timer;
        gridCpu = cpuMs();
        timer.start();
        // The columns of the search window's grid.
        grid.setRecordSet(&result,
                          {QStringLiteral("ID"), QStringLiteral("日付"), QStringLiteral("ｷｰﾜｰﾄﾞ"),
                           QStringLiteral("検索キー１"), QStringLiteral("検索キー２"),
                           QStringLiteral("ヘルプファイル")},
                          false);
        grid.show();
        if (!QTest::qWaitForWindowExposed(&grid))
            fail("grid", Result::failure(QStringLiteral("never shown")));
        settle(grid);
        gridRow(QStringLiteral("set the record set, show, first paint"), msSince(timer));

        QScrollBar* bar = grid.verticalScrollBar();
        timer.restart();
        bar->setValue(bar->maximum());
        settle(grid);
        gridRow(QStringLiteral("scroll to the end"), msSince(timer));
        timer.restart();
        bar->setValue(bar->maximum() / 2);
        settle(grid);
        gridRow(QStringLiteral("scroll to the middle"), msSince(timer));
        timer.restart();
        for (int i = 0; i < 100; ++i) {
            bar->setValue(bar->value() + bar->pageStep());
            settle(grid);
        }
        gridRow(QStringLiteral("100 pages down from the middle (total)"), msSince(timer));
        timer.restart();
        grid.selectRow(bar->value() + 3);
        settle(grid);
        gridRow(QStringLiteral("click a row (it becomes the current record)"), msSince(timer));
        const Timing rerun = timeRuns([&] {
            refreshOrFail(result);
            settle(grid);
        });
        activationResult = rerun.median;
        activationResultCpu = rerun.cpuMedian;
        gridRow(QStringLiteral("re-run with the grid attached, median of %1").arg(g_repeat), rerun.median,
                g_repeat + 1);
        timer.restart();
        moveOrFail(result.moveLast());
        settle(grid);
        gridRow(QStringLiteral("moveLast with the grid attached (it follows)"), msSince(timer));
        result.setRecordSource(Catalogue::sortStatement({}, QStringLiteral("ｷｰﾜｰﾄﾞ")));
        timer.restart();
        refreshOrFail(result);
        settle(grid);
        gridRow(QStringLiteral("sort by ｷｰﾜｰﾄﾞ with the grid attached"), msSince(timer));
        result.setRecordSource(Catalogue::orderedSearch(commonSearch));
        timer.restart();
        refreshOrFail(result);
        settle(grid);
        gridRow(QStringLiteral("search, most common keyword, grid attached"), msSince(timer));
        std::printf("  (a screen of the grid shows %d rows; all memos: %lld)\n",
                    grid.rowAt(grid.viewport()->height() - 1) - grid.rowAt(0) + 1, static_cast<long long>(memos));
    }
    trace(db, false);

    // ---- The lists -----------------------------------------------------------------------
    header(
        "lists                                                       first [ms]  min [ms] med. [ms]  med. CPU  values");
    struct List
    {
        QString name;
        QString text;
        QString field;
    };
    const QList<List> lists = {
        {QStringLiteral("keywords"), Catalogue::KeywordList, QStringLiteral("ｷｰﾜｰﾄﾞ")},
        {QStringLiteral("search keys 1"), Catalogue::SearchKey1List, QStringLiteral("検索キー１")},
        {QStringLiteral("search keys 2"), Catalogue::SearchKey2List, QStringLiteral("検索キー２")},
        {QStringLiteral("application IDs of memos"), Catalogue::MemoAppIdList, QStringLiteral("予備１")},
        {QStringLiteral("registered applications"), Catalogue::AllApplications, QStringLiteral("アプリＩＤ")},
    };
    double activationLists = 0;
    double activationListsCpu = 0;
    resetPeak();
    for (const List& l : lists) {
        RecordSet list(QStringLiteral("Data2"));
        list.setDatabaseName(book);
        list.setReadOnly(true);
        list.setRecordSource(l.text);
        const Timing refresh = timeRuns([&] { refreshOrFail(list); });
        row(l.name + QStringLiteral(": refresh"), refresh, QString::number(list.recordCount()));
        ComboBox combo;
        std::unique_ptr<ListBinding> binding;
        const Timing bind = timeRuns([&] {
            binding.reset();
            binding = std::make_unique<ListBinding>(&list, l.field, &combo);
        });
        row(l.name + QStringLiteral(": ListBinding into a ComboBox"), bind, QString::number(combo.listItems().size()));
        const Timing both = timeRuns([&] { refreshOrFail(list); });
        row(l.name + QStringLiteral(": refresh + list reload"), both);
        if (l.text != Catalogue::MemoAppIdList) {
            activationLists += both.median;
            activationListsCpu += both.cpuMedian;
        }
        binding.reset();
    }
    std::printf("  peak RSS during the lists %.1f MB\n", peakMb());
    std::printf("\nthe display window's activation re-runs its result and four lists: about %.1f ms, CPU %.1f ms "
                "(result re-run with the grid %.1f ms, CPU %.1f ms; lists %.1f ms, CPU %.1f ms)\n",
                activationResult + activationLists, activationResultCpu + activationListsCpu, activationResult,
                activationResultCpu, activationLists, activationListsCpu);
    std::printf("\nRSS at the end %.1f MB\n", rssMb());
    return 0;
}
