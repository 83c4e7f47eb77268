// The display window on a large memo book: each user action (search, sort, show all,
// coming back to the window) from the click until the grid has painted its first rows,
// beside the same statements run directly on SQLite.
//   bench_h_prn <memo-book> [memos if it has to be made, default 100000] [--repeat <n>]
//
// The book is made (in a child process, so that its making does not count towards this
// process's peak memory) when the file does not exist; an existing book is reused as it is.
// The direct run steps through every key of the statement ("SELECT ID FROM (...)") and reads
// the first screenful of rows by key, which is the least any keyset grid has to do; for
// coming back it also steps through the three lists and the registered applications.

#include "BenchSupport.h"
#include "MemoBookGenerator.h"

#include "db/Catalogue.h"
#include "db/RecordSet.h"
#include "forms/DataGrid.h"
#include "forms/Session.h"
#include "help_display/H_PRN.h"
#include "startup/ORVAM.h"
#include "support/Fakes.h"
#include "support/Widgets.h"
#include "widgets/Appearance.h"
#include "widgets/ComboBox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QPixmap>
#include <QTest>

#include <sqlite3.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

using namespace BenchSupport;

namespace {

int g_repeat = 5;

// Makes the book in a child process and waits for it.
void generateApart(const QString& path, qint64 memos)
{
    std::fflush(stdout);
    const pid_t child = fork();
    if (child < 0)
        fail(QStringLiteral("fork failed"));
    if (child == 0) {
        const MemoBookGenerator::Outcome made = makeMemoBook(path, memos);
        if (!made.result) {
            std::fprintf(stderr, "generate: %s\n", qPrintable(made.result.message));
            _exit(1);
        }
        std::printf("made in %.1f s, %.1f MB\n", made.seconds, double(made.bytes) / (1024.0 * 1024.0));
        std::fflush(stdout);
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        fail(QStringLiteral("the memo book could not be made"));
}

// The same work without the window: every key of each statement, then the first screenful
// of the first statement's rows by key.
class DirectRun
{
public:
    explicit DirectRun(const QString& path)
    {
        if (sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
            fail(QStringLiteral("cannot open ") + path);
    }
    ~DirectRun() { sqlite3_close(m_db); }

    // keyed: the grid's statement, read as keys; lists: statements stepped through whole.
    qint64 run(const QString& keyed, const QStringList& lists, int screenful)
    {
        std::vector<qint64> keys;
        step(QStringLiteral("SELECT ID FROM (") + keyed + QLatin1Char(')'),
             [&keys](sqlite3_stmt* s) { keys.push_back(sqlite3_column_int64(s, 0)); });
        for (const QString& list : lists)
            step(list, [](sqlite3_stmt* s) { sqlite3_column_text(s, 0); });
        QStringList wanted;
        for (size_t i = 0; i < keys.size() && int(i) < screenful; ++i)
            wanted.append(QString::number(keys[i]));
        if (!wanted.isEmpty()) {
            step(QStringLiteral("SELECT * FROM メモ帳 WHERE ID IN (") + wanted.join(QLatin1Char(',')) +
                     QLatin1Char(')'),
                 [](sqlite3_stmt* s) {
                     for (int c = 0; c < sqlite3_column_count(s); ++c)
                         sqlite3_column_text16(s, c);
                 });
        }
        return qint64(keys.size());
    }

private:
    void step(const QString& sql, const std::function<void(sqlite3_stmt*)>& row)
    {
        sqlite3_stmt* s = nullptr;
        const QByteArray utf8 = sql.toUtf8();
        if (sqlite3_prepare_v2(m_db, utf8.constData(), int(utf8.size()), &s, nullptr) != SQLITE_OK)
            fail(sql + QStringLiteral(": ") + QString::fromUtf8(sqlite3_errmsg(m_db)));
        int rc;
        while ((rc = sqlite3_step(s)) == SQLITE_ROW)
            row(s);
        if (rc != SQLITE_DONE)
            fail(sql + QStringLiteral(": ") + QString::fromUtf8(sqlite3_errmsg(m_db)));
        sqlite3_finalize(s);
    }

    sqlite3* m_db = nullptr;
};

class Bench
{
public:
    Bench(const QString& book, qint64 memos, Session& session) : m_direct(book), m_memos(memos), m_session(session) {}

    void openWindow()
    {
        m_main = ORVAM::instance(m_session);
        if (!activate(m_main))
            fail(QStringLiteral("the main window did not become active"));
        QElapsedTimer timer;
        timer.start();
        m_form = H_PRN::instance(m_session);
        m_form->setNormalState();
        m_form->showForm();
        if (!QTest::qWaitForWindowActive(m_form, 10000))
            fail(QStringLiteral("the display window did not become active"));
        paintGrid();
        const double window = msSince(timer);
        m_data1 = findRequired<RecordSet>(m_form, QStringLiteral("Data1"));
        m_data5 = findRequired<RecordSet>(m_form, QStringLiteral("Data5"));
        m_grid = findRequired<DataGrid>(m_form, QStringLiteral("DBGrid1"));
        std::printf("opening the window (load and first activation, lists read twice): %.1f ms, %d rows\n\n", window,
                    m_data1->recordCount());
        std::printf("%s %9s %9s %9s %9s %9s %9s %7s %9s %8s\n", qPrintable(padded(QStringLiteral("action"), 46)),
                    "rows", "window", "(max)", "(1st)", "win CPU", "SQLite", "ratio", "SQL CPU", "RSS MB");
    }

    void search(const QString& label, const QString& keyword, const QString& key1, const QString& key2)
    {
        measure(
            label, [&] { setSearchTexts(keyword, key1, key2); }, [&] { click("Command1"); }, false);
    }

    void showAll()
    {
        measure(
            QStringLiteral("show all"), [] {}, [&] { click("Command5"); }, false);
    }

    void sort(const QString& label, const std::function<void()>& before, const QString& field)
    {
        measure(
            label, before, [&] { clickHeader(field); }, false);
    }

    void comeBack(const QString& label, const std::function<void()>& before)
    {
        measure(
            label,
            [&] {
                before();
                if (!activate(m_main))
                    fail(QStringLiteral("the main window did not become active"));
            },
            [&] {
                bool listsRead = false;
                const auto connection =
                    QObject::connect(m_data5, &RecordSet::refreshed, m_form, [&listsRead] { listsRead = true; });
                m_form->activateWindow();
                while (!listsRead || !m_form->isActiveWindow())
                    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
                QObject::disconnect(connection);
            },
            true);
    }

    void setSearchTexts(const QString& keyword, const QString& key1, const QString& key2)
    {
        findRequired<ComboBox>(m_form, QStringLiteral("DBCombo1"))->setText(keyword);
        findRequired<ComboBox>(m_form, QStringLiteral("DBCombo4"))->setText(key1);
        findRequired<ComboBox>(m_form, QStringLiteral("DBCombo2"))->setText(key2);
    }
    void click(const char* name) { findRequired<QAbstractButton>(m_form, QLatin1String(name))->click(); }

    double worstMedian() const { return m_worstMedian; }
    double worstCpu() const { return m_worstCpu; }

private:
    // Lets the window handle what the action left and paints the grid's first rows.
    void paintGrid()
    {
        QCoreApplication::processEvents();
        auto* grid = findRequired<DataGrid>(m_form, QStringLiteral("DBGrid1"));
        const QPixmap shot = grid->viewport()->grab();
        if (shot.isNull())
            fail(QStringLiteral("the grid did not paint"));
    }

    void clickHeader(const QString& field)
    {
        QHeaderView* header = m_grid->horizontalHeader();
        int section = -1;
        for (int c = 0; c < m_grid->model()->columnCount(); ++c) {
            if (m_grid->model()->headerData(c, Qt::Horizontal).toString() == field)
                section = c;
        }
        if (section < 0)
            fail(QStringLiteral("no column ") + field);
        const QPoint at(header->sectionViewportPosition(section) + header->sectionSize(section) / 2,
                        header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    }

    int screenful() const
    {
        const int rowHeight = qMax(1, m_grid->verticalHeader()->defaultSectionSize());
        return m_grid->viewport()->height() / rowHeight + 1;
    }

    void measure(const QString& label, const std::function<void()>& before, const std::function<void()>& action,
                 bool withLists)
    {
        QList<double> window;
        QList<double> windowCpu;
        QList<double> direct;
        QList<double> directCpu;
        qint64 rows = 0;
        for (int i = 0; i < g_repeat; ++i) {
            before();
            QCoreApplication::processEvents();
            QElapsedTimer timer;
            double cpu = cpuMs();
            timer.start();
            action();
            paintGrid();
            window.append(msSince(timer));
            windowCpu.append(cpuMs() - cpu);
            if (m_data1->hasCurrent() && m_grid->model()->index(0, 0).data().toString().isEmpty())
                fail(label + QStringLiteral(": the grid shows no first row"));

            const QStringList lists = withLists ? QStringList{Catalogue::KeywordList, Catalogue::SearchKey1List,
                                                              Catalogue::SearchKey2List, Catalogue::AllApplications}
                                                : QStringList();
            QString statement = m_data1->recordSource();
            if (!statement.contains(QLatin1Char(' ')))
                statement = QStringLiteral("SELECT * FROM ") + statement;
            cpu = cpuMs();
            timer.restart();
            rows = m_direct.run(statement, lists, screenful());
            direct.append(msSince(timer));
            directCpu.append(cpuMs() - cpu);
            if (rows != m_data1->recordCount())
                fail(label + QStringLiteral(": the window and SQLite found different rows"));
        }
        const Summary w = summarise(window);
        const Summary wc = summarise(windowCpu);
        const Summary d = summarise(direct);
        const Summary dc = summarise(directCpu);
        m_worstMedian = qMax(m_worstMedian, w.median);
        m_worstCpu = qMax(m_worstCpu, wc.median);
        std::printf("%s %9lld %9.1f %9.1f %9.1f %9.1f %9.1f %7.2f %9.1f %8.1f\n", qPrintable(padded(label, 46)),
                    static_cast<long long>(rows), w.median, w.max, w.first, wc.median, d.median,
                    w.median / qMax(0.001, d.median), dc.median, rssMb());
        std::fflush(stdout);
    }

    DirectRun m_direct;
    qint64 m_memos;
    Session& m_session;
    ORVAM* m_main = nullptr;
    H_PRN* m_form = nullptr;
    RecordSet* m_data1 = nullptr;
    RecordSet* m_data5 = nullptr;
    DataGrid* m_grid = nullptr;
    double m_worstMedian = 0;
    double m_worstCpu = 0;
};

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
    g_repeat = takeCount(args, QStringLiteral("--repeat"), g_repeat);
    if (args.isEmpty()) {
        std::fprintf(stderr, "usage: bench_h_prn <memo-book> [memos if it has to be made] [--repeat <n>]\n");
        return 2;
    }
    const QString book = QFileInfo(args[0]).absoluteFilePath();
    // Made before the application exists: the child process shares nothing with Qt.
    if (!QFileInfo::exists(book))
        generateApart(book, args.value(1, QStringLiteral("100000")).toLongLong());

    QApplication app(argc, argv);
    Appearance::apply(app);
    PlatformFakes fakes;
    Session session;
    session.AppDir = QFileInfo(book).absolutePath();
    session.DbPath = book;
    const qint64 memos = MemoBookGenerator::memoCount(book);
    std::printf("memo book %s: %lld memos, %.1f MB; %d runs of each action, times in ms (median)\n", qPrintable(book),
                static_cast<long long>(memos), fileMb(book), g_repeat);

    // The generator's commonest values, and a keyword of middling use.
    const QStringList& keywords = MemoBookGenerator::keywords();
    const QString common = keywords.first();
    const QString middling = keywords[keywords.size() / 4];
    const QString key1 = MemoBookGenerator::searchKeys1().first();
    const QString key2 = MemoBookGenerator::searchKeys2().first();

    Bench bench(book, memos, session);
    bench.openWindow();
    bench.search(QStringLiteral("search: commonest keyword"), common, {}, {});
    bench.search(QStringLiteral("search: middling keyword"), middling, {}, {});
    bench.search(QStringLiteral("search: key 1 and key 2"), {}, key1, key2);
    bench.search(QStringLiteral("search: finds nothing"), QStringLiteral("どこにもない"), {}, {});
    bench.sort(
        QStringLiteral("sort the commonest keyword's memos by 日付"),
        [&] {
            bench.setSearchTexts(common, {}, {});
            bench.click("Command1");
        },
        QStringLiteral("日付"));
    bench.showAll();
    bench.sort(
        QStringLiteral("sort all by ｷｰﾜｰﾄﾞ"), [&] { bench.click("Command5"); }, QStringLiteral("ｷｰﾜｰﾄﾞ"));
    bench.sort(
        QStringLiteral("sort all by 日付"), [&] { bench.click("Command5"); }, QStringLiteral("日付"));
    bench.sort(
        QStringLiteral("sort all by ヘルプファイル"), [&] { bench.click("Command5"); },
        QStringLiteral("ヘルプファイル"));
    bench.comeBack(QStringLiteral("come back: show all in force"), [&] { bench.click("Command5"); });
    bench.comeBack(QStringLiteral("come back: search in force"), [&] {
        bench.setSearchTexts(common, {}, {});
        bench.click("Command1");
    });

    std::printf("\nslowest median: %.1f ms (CPU %.1f ms); peak RSS (VmHWM): %.1f MB\n", bench.worstMedian(),
                bench.worstCpu(), peakMb());
    closeAllForms();
    return 0;
}
