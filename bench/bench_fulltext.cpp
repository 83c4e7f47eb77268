// The full-text index on a large memo book: making it from nothing with the window open,
// searching through the display window, keeping it current while memos are saved, picking
// from a long list by typing, the CSV export and the start-up backup beside the index; each
// beside the plainest SQLite statement that gives the same rows, in the same run.
//   bench_fulltext <memo-book> [memos if it has to be made, default 1000000] [--repeat <n>]
//                  [--only build|search|sort|duringbuild|save|pick|csv|backup]
//
// The index is made beside the book ("<book>-fts"); the part "build" removes it first, every
// other part makes it when it is missing. "save" changes memos of the book: use a copy.

#include "BenchSupport.h"
#include "MemoBookGenerator.h"

#include "db/Catalogue.h"
#include "db/Connection.h"
#include "db/DatabaseBackup.h"
#include "db/MemoSearch.h"
#include "db/RecordSet.h"
#include "db/Statement.h"
#include "db/index/MemoIndex.h"
#include "db/index/MemoIndexFile.h"
#include "forms/DataGrid.h"
#include "forms/Session.h"
#include "help_display/H_PRN.h"
#include "help_display/ResultExport.h"
#include "support/Fakes.h"
#include "support/Widgets.h"
#include "widgets/Appearance.h"
#include "widgets/ComboBox.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QRandomGenerator>
#include <QTest>
#include <QTimer>

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>

using namespace BenchSupport;

namespace {

int g_repeat = 5;

void heading(const char* text)
{
    std::printf("\n== %s\n", text);
    std::fflush(stdout);
}

// The plainest statement that finds the same memos: each word with LIKE over the same fields
// (LIKE ignores only the case of ASCII letters, so the words measured are written as stored).
QString likeStatement(const QStringList& words)
{
    QStringList conditions;
    for (const QString& word : words) {
        QStringList fields;
        for (const QString& field : QString::fromUtf8(MemoIndexFile::Fields).split(QStringLiteral(", ")))
            fields.append(field + QStringLiteral(" LIKE '%") + word + QStringLiteral("%'"));
        conditions.append(QLatin1Char('(') + fields.join(QStringLiteral(" OR ")) + QLatin1Char(')'));
    }
    return QStringLiteral("SELECT * FROM メモ帳 WHERE ") + conditions.join(QStringLiteral(" AND ")) +
           QStringLiteral(" Order By ID");
}

// Steps through the keys of a statement and reads the first screenful by key, on a connection
// of its own: what any grid over the rows has to do at the least.
qint64 direct(sqlite3* db, const QString& statement, int screenful)
{
    Statement keys(db, QStringLiteral("SELECT ID FROM (") + statement + QLatin1Char(')'));
    QStringList first;
    qint64 count = 0;
    while (keys.step() == Statement::Step::Row) {
        if (count++ < screenful)
            first.append(QString::number(keys.int64(0)));
    }
    if (!first.isEmpty()) {
        Statement rows(db, QStringLiteral("SELECT * FROM メモ帳 WHERE ID IN (") + first.join(QLatin1Char(',')) +
                               QLatin1Char(')'));
        while (rows.step() == Statement::Step::Row) {
            for (int c = 0; c < rows.columnCount(); ++c)
                sqlite3_column_text16(rows.handle(), c);
        }
    }
    return count;
}

std::shared_ptr<MemoIndex> readyIndex(const QString& book)
{
    std::shared_ptr<MemoIndex> index = MemoIndex::open(book);
    if (index->state() == MemoIndex::State::Building)
        std::printf("(making the index first)\n");
    if (!index->waitForIdle(3600 * 1000) || index->state() != MemoIndex::State::Ready)
        fail(QStringLiteral("the index is not ready"));
    return index;
}

// Making the index from nothing while the event loop runs: how long, what it costs, and how
// long the window had to wait for its turn at worst.
void buildPart(const QString& book)
{
    heading("making the index from nothing (worker thread; the event loop ticks every 10 ms)");
    const QString path = MemoIndexFile::pathFor(book);
    QFile::remove(path);
    QElapsedTimer tick;
    double worstGap = 0;
    QList<double> gaps;
    QTimer ticker;
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const double gap = msSince(tick);
        gaps.append(gap);
        worstGap = qMax(worstGap, gap);
        tick.restart();
    });
    resetPeak();
    const double cpu = cpuMs();
    QElapsedTimer timer;
    timer.start();
    tick.start();
    ticker.start();
    std::shared_ptr<MemoIndex> index = MemoIndex::open(book);
    qint64 lastReport = 0;
    while (index->state() == MemoIndex::State::Building) {
        // Sleeps until the next tick or the index's own news, as the program's event loop does.
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (timer.elapsed() - lastReport >= 10000) {
            lastReport = timer.elapsed();
            std::printf("  %5.0f s  %s\n", timer.elapsed() / 1000.0, qPrintable(index->progressText()));
            std::fflush(stdout);
        }
    }
    const double wall = msSince(timer);
    ticker.stop();
    const Summary g = summarise(gaps);
    std::printf("made in %.1f s (process CPU %.1f s); index %s, file %.1f MB; peak RSS %.1f MB\n", wall / 1000,
                (cpuMs() - cpu) / 1000, index->state() == MemoIndex::State::Ready ? "ready" : "NOT ready", fileMb(path),
                peakMb());
    std::printf("event loop meanwhile: median gap %.1f ms, worst %.1f ms (the timer asks for 10 ms)\n", g.median,
                worstGap);

    // The next start compares the index with the memo book in the background.
    index.reset();
    gaps.clear();
    worstGap = 0;
    const double verifyCpu = cpuMs();
    timer.restart();
    tick.restart();
    ticker.start();
    index = MemoIndex::open(book);
    if (!index->waitForIdle(3600 * 1000))
        fail(QStringLiteral("the comparison did not end"));
    ticker.stop();
    std::printf("the next start's comparison of index and book: %.1f s (process CPU %.1f s), index %s; "
                "worst event loop gap %.1f ms\n",
                msSince(timer) / 1000, (cpuMs() - verifyCpu) / 1000,
                index->state() == MemoIndex::State::Ready ? "kept" : "NOT kept", worstGap);
}

// The display window's full-text search from Enter until the grid has painted its first rows.
void searchPart(const QString& book, Session& session)
{
    heading("full-text search in the display window, Enter until the first rows are painted (median of runs)");
    std::shared_ptr<MemoIndex> index = readyIndex(book);
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(book).constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        fail(QStringLiteral("cannot open ") + book);
    H_PRN* form = H_PRN::instance(session);
    form->showForm();
    if (!QTest::qWaitForWindowActive(form, 10000))
        fail(QStringLiteral("the display window did not become active"));
    auto* grid = findRequired<DataGrid>(form, QStringLiteral("DBGrid1"));
    auto* result = findRequired<RecordSet>(form, QStringLiteral("Data1"));
    const int screenful = 13;
    std::printf("%s %9s %9s %9s %9s %9s %9s %7s\n", qPrintable(padded(QStringLiteral("words"), 34)), "rows", "window",
                "(max)", "(1st)", "win CPU", "LIKE", "ratio");
    // One, two and three characters; one and two words; common and rare.
    const QStringList searches = {QStringLiteral("印"),           QStringLiteral("罫"),
                                  QStringLiteral("印刷"),         QStringLiteral("段組"),
                                  QStringLiteral("ページ"),       QStringLiteral("透かし"),
                                  QStringLiteral("差し込み印刷"), QStringLiteral("印刷 ページ"),
                                  QStringLiteral("罫線 段組"),    QStringLiteral("どこにもない")};
    for (const QString& words : searches) {
        QList<double> window;
        QList<double> windowCpu;
        QList<double> like;
        qint64 likeRows = 0;
        for (int i = 0; i < g_repeat; ++i) {
            findRequired<QAbstractButton>(form, QStringLiteral("Command5"))->click();
            QCoreApplication::processEvents();
            QElapsedTimer timer;
            const double cpu = cpuMs();
            timer.start();
            form->fullTextSearch(words);
            QCoreApplication::processEvents();
            if (grid->viewport()->grab().isNull())
                fail(QStringLiteral("the grid did not paint"));
            window.append(msSince(timer));
            windowCpu.append(cpuMs() - cpu);
            timer.restart();
            likeRows = direct(db, likeStatement(words.split(QLatin1Char(' '))), screenful);
            like.append(msSince(timer));
        }
        if (likeRows != result->recordCount())
            fail(words + QStringLiteral(": the index and LIKE found different memos"));
        const Summary w = summarise(window);
        const Summary c = summarise(windowCpu);
        const Summary l = summarise(like);
        std::printf("%s %9d %9.1f %9.1f %9.1f %9.1f %9.1f %7.2f\n", qPrintable(padded(words, 34)),
                    result->recordCount(), w.median, w.max, w.first, c.median, l.median,
                    w.median / qMax(0.001, l.median));
        std::fflush(stdout);
    }
    form->unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    sqlite3_close(db);
}

// The keys of a statement in its order, as SQLite gives them.
QVector<qint64> statementKeys(sqlite3* db, const QString& statement)
{
    QVector<qint64> keys;
    Statement query(db, QStringLiteral("SELECT ID FROM (") + statement + QLatin1Char(')'));
    while (query.step() == Statement::Step::Row)
        keys.append(query.int64(0));
    return keys;
}

// A large full-text result sorted by a click on each header of the display window's grid, until
// the grid has painted; beside it the same sorted statement run by SQLite alone (key list and
// first screenful). The program fails if the window's rows are not SQLite's, in its order.
void sortPart(const QString& book, Session& session)
{
    heading("sorting a full-text result by a header click, until the grid has painted (median of runs)");
    std::shared_ptr<MemoIndex> index = readyIndex(book);
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(book).constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        fail(QStringLiteral("cannot open ") + book);
    // The words are found by the index, as on the program's own connection.
    const MemoSearch::Finder finder = [&index](const QStringList& words, QVector<qint64>& ids) {
        return index->find(words, ids);
    };
    if (Result r = MemoSearch::install(db, &finder); !r)
        fail(r.message);
    H_PRN* form = H_PRN::instance(session);
    form->showForm();
    if (!QTest::qWaitForWindowActive(form, 10000))
        fail(QStringLiteral("the display window did not become active"));
    auto* grid = findRequired<DataGrid>(form, QStringLiteral("DBGrid1"));
    auto* result = findRequired<RecordSet>(form, QStringLiteral("Data1"));
    QHeaderView* header = grid->horizontalHeader();
    const int screenful = 13;
    std::printf("%s %-16s %9s %9s %9s %9s %9s %7s\n", qPrintable(padded(QStringLiteral("words"), 14)), "header", "rows",
                "window", "(max)", "win CPU", "SQLite", "ratio");
    const QStringList searches = {QStringLiteral("ページ"), QStringLiteral("印"), QStringLiteral("罫"),
                                  QStringLiteral("段組")};
    for (const QString& words : searches) {
        form->fullTextSearch(words);
        QCoreApplication::processEvents();
        for (int column = 0; column < header->count(); ++column) {
            QList<double> window;
            QList<double> windowCpu;
            QList<double> plain;
            for (int i = 0; i < g_repeat; ++i) {
                QElapsedTimer timer;
                const double cpu = cpuMs();
                timer.start();
                Q_EMIT header->sectionClicked(column);
                QCoreApplication::processEvents();
                if (grid->viewport()->grab().isNull())
                    fail(QStringLiteral("the grid did not paint"));
                window.append(msSince(timer));
                windowCpu.append(cpuMs() - cpu);
                timer.restart();
                direct(db, result->recordSource(), screenful);
                plain.append(msSince(timer));
            }
            const QString field = result->recordSource().section(QStringLiteral(" Order By "), -1);
            if (result->keys() != statementKeys(db, result->recordSource()))
                fail(words + QStringLiteral(" by ") + field + QStringLiteral(": the window's order is not SQLite's"));
            const Summary w = summarise(window);
            const Summary c = summarise(windowCpu);
            const Summary l = summarise(plain);
            std::printf("%s %s %9d %9.1f %9.1f %9.1f %9.1f %7.2f\n", qPrintable(padded(words, 14)),
                        qPrintable(padded(field, 16)), result->recordCount(), w.median, w.max, c.median, l.median,
                        w.median / qMax(0.001, l.median));
            std::fflush(stdout);
        }
    }
    form->unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    sqlite3_close(db);
}

// A full-text search made while the index is being made: from Enter until the grid shows the
// memos found, and the longest the event loop was kept from its 10 ms timer meanwhile.
void duringBuildPart(const QString& book, Session& session)
{
    heading("full-text search while the index is being made: Enter until the grid shows the memos found");
    const QString path = MemoIndexFile::pathFor(book);
    QFile::remove(path);
    std::shared_ptr<MemoIndex> index = MemoIndex::open(book);
    H_PRN* form = H_PRN::instance(session);
    form->showForm();
    if (!QTest::qWaitForWindowActive(form, 10000))
        fail(QStringLiteral("the display window did not become active"));
    auto* result = findRequired<RecordSet>(form, QStringLiteral("Data1"));
    auto* progress = findRequired<QLabel>(form, QStringLiteral("IndexProgress"));
    QElapsedTimer tick;
    double worstGap = 0;
    QTimer ticker;
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        worstGap = qMax(worstGap, msSince(tick));
        tick.restart();
    });
    std::printf("%s %9s %9s %9s  %s\n", qPrintable(padded(QStringLiteral("words"), 24)), "rows", "to rows", "worst gap",
                "the window says meanwhile");
    for (const QString& words : {QStringLiteral("印刷"), QStringLiteral("透かし"), QStringLiteral("罫線 段組"),
                                 QStringLiteral("どこにもない")}) {
        if (index->state() != MemoIndex::State::Building) {
            std::printf("(the index was made before the next search)\n");
            break;
        }
        const QString expected = Catalogue::orderedSearch(Catalogue::searchStatement(MemoSearch::condition(words)));
        bool shown = false;
        const QMetaObject::Connection refreshed = QObject::connect(
            result, &RecordSet::refreshed, [&] { shown = shown || result->recordSource() == expected; });
        QString said;
        worstGap = 0;
        QElapsedTimer timer;
        timer.start();
        tick.start();
        ticker.start();
        form->fullTextSearch(words);
        QCoreApplication::processEvents();
        said = progress->text();
        while (!shown && timer.elapsed() < 600000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const double toRows = msSince(timer);
        ticker.stop();
        worstGap = qMax(worstGap, msSince(tick));
        QObject::disconnect(refreshed);
        std::printf("%s %9d %9.1f %9.1f  %s\n", qPrintable(padded(words, 24)), result->recordCount(), toRows, worstGap,
                    qPrintable(said));
        std::fflush(stdout);
    }
    form->unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    index.reset();
}

// Saves as the entry window makes them, with and without the index kept current.
void savePart(const QString& book)
{
    heading("keeping the index current: a memo text saved, with and without the index");
    std::shared_ptr<MemoIndex> index = readyIndex(book);
    std::shared_ptr<Connection> shared = Connection::shared(book);
    // A connection without the index's triggers, as a program that knows nothing of it.
    std::shared_ptr<Connection> plain = Connection::open(book);
    if (!shared || !plain)
        fail(QStringLiteral("cannot open ") + book);
    const qint64 memos = MemoBookGenerator::memoCount(book);
    QRandomGenerator random(7);
    auto saveOne = [&](Connection& connection, int i) {
        const qint64 id = 1 + random.bounded(memos);
        Statement update(connection.handle(), QStringLiteral("UPDATE メモ帳 SET メモ = ?1 WHERE ID = ?2"));
        // A text never stored before, so that every save writes.
        update.bindText(1, QStringLiteral("保存の測定 %1 回目。印刷プレビューで確かめる。\r\n%2")
                               .arg(i)
                               .arg(QDateTime::currentMSecsSinceEpoch()));
        update.bindInt64(2, id);
        if (!update.exec())
            fail(QStringLiteral("a save failed"));
    };
    const int saves = 20 * g_repeat;
    QList<double> without;
    QList<double> saved;
    QList<double> written;
    QList<double> background;
    for (int i = 0; i < saves; ++i) {
        QElapsedTimer timer;
        timer.start();
        saveOne(*plain, i);
        without.append(msSince(timer));
        timer.restart();
        saveOne(*shared, i);
        saved.append(msSince(timer));
        timer.restart();
        index->flush();
        written.append(msSince(timer));
        timer.restart();
        if (!index->waitForIdle(600000))
            fail(QStringLiteral("the index was not written"));
        background.append(msSince(timer));
    }
    const Summary p = summarise(without);
    const Summary s = summarise(saved);
    const Summary w = summarise(written);
    const Summary b = summarise(background);
    std::printf("%d saves each: without the index median %.2f ms (max %.2f); with it: the save %.2f ms (max %.2f), "
                "then on the window's thread %.2f ms (max %.2f)\n",
                saves, p.median, p.max, s.median, s.max, w.median, w.max);
    std::printf("written into the index by its own thread: median %.2f ms, max %.1f ms (merges of the index)\n",
                b.median, b.max);
    std::printf("cost of the index per save on the window's thread (medians): %.2f ms\n",
                s.median + w.median - p.median);
}

// Typing into a combo box whose list holds 10,000 entries.
void pickPart()
{
    heading("picking by typing from a list of 10,000 entries: one key until the list shown has been painted");
    QStringList entries;
    const QStringList& keywords = MemoBookGenerator::keywords();
    const QStringList& keys = MemoBookGenerator::searchKeys1();
    for (int i = 0; entries.size() < 10000; ++i)
        entries.append(keywords[i % keywords.size()] + QLatin1Char(' ') + keys[(i / keywords.size()) % keys.size()]);
    ComboBox box;
    box.resize(400, 24);
    box.setListItems(entries);
    box.show();
    if (!QTest::qWaitForWindowExposed(&box))
        fail(QStringLiteral("the box was not shown"));
    box.setFocus();
    // The window around such a box has drawn Japanese text before anyone types: the fonts are loaded.
    box.setEditText(entries.first());
    box.grab();
    box.setEditText(QString());
    QList<double> perKey;
    for (int round = 0; round < g_repeat; ++round) {
        box.lineEdit()->clear();
        box.completer()->popup()->hide();
        QCoreApplication::processEvents();
        // Hiragana that meet the katakana of the entries: "マクロの記録…".
        for (const QString& key : {QStringLiteral("ま"), QStringLiteral("く"), QStringLiteral("ろ"),
                                   QStringLiteral("の"), QStringLiteral("記")}) {
            QElapsedTimer timer;
            timer.start();
            QInputMethodEvent event;
            event.setCommitString(key);
            QApplication::sendEvent(box.lineEdit(), &event);
            QCoreApplication::processEvents();
            QAbstractItemView* popup = box.completer()->popup();
            if (popup->isVisible())
                popup->viewport()->grab();
            perKey.append(msSince(timer));
        }
    }
    const Summary s = summarise(perKey);
    std::printf("per key: median %.2f ms, worst %.2f ms, first %.2f ms (typed まくろの記, %lld keys)\n", s.median,
                s.max, s.first, static_cast<long long>(perKey.size()));
    // The plainest way to the same entries: a contains test of each one.
    QList<double> plain;
    for (int round = 0; round < g_repeat; ++round) {
        QElapsedTimer timer;
        timer.start();
        int found = 0;
        for (const QString& entry : std::as_const(entries))
            found += entry.contains(QStringLiteral("マクロの記"), Qt::CaseInsensitive) ? 1 : 0;
        plain.append(msSince(timer));
        Q_UNUSED(found);
    }
    std::printf("reference: QString::contains over the 10,000 entries, median %.2f ms\n", summarise(plain).median);
}

// The memos found written to CSV: 100,000 of them.
void csvPart(const QString& book)
{
    heading("CSV export of 100,000 memos");
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(book).constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        fail(QStringLiteral("cannot open ") + book);
    const QString statement = QStringLiteral("SELECT * FROM メモ帳 WHERE ID <= 100000 Order By ID");
    const QString target = QDir::temp().filePath(QStringLiteral("bench_fulltext.csv"));
    QList<double> exported;
    QList<double> plain;
    for (int i = 0; i < g_repeat; ++i) {
        QElapsedTimer timer;
        timer.start();
        if (Result r = ResultExport::toCsv(db, statement, target); !r)
            fail(r.message);
        exported.append(msSince(timer));
        timer.restart();
        Statement rows(db, statement);
        qint64 bytes = 0;
        while (rows.step() == Statement::Step::Row) {
            for (int c = 0; c < rows.columnCount(); ++c) {
                sqlite3_column_text(rows.handle(), c);
                bytes += sqlite3_column_bytes(rows.handle(), c);
            }
        }
        plain.append(msSince(timer));
    }
    std::printf("export: median %.1f ms (max %.1f), file %.1f MB; reading the same rows' texts alone: %.1f ms\n",
                summarise(exported).median, summarise(exported).max, fileMb(target), summarise(plain).median);
    QFile::remove(target);
    sqlite3_close(db);
}

// The start-up backup with the index beside the book and without it.
void backupPart(const QString& book)
{
    heading("the start-up backup of the memo book, with the index file beside it and without");
    std::shared_ptr<MemoIndex> index = readyIndex(book);
    index.reset();
    const QString path = MemoIndexFile::pathFor(book);
    const QString aside = path + QStringLiteral(".aside");
    const QString target = QDir::temp().filePath(QStringLiteral("bench_fulltext_backup.mdb"));
    QList<double> with;
    QList<double> without;
    for (int i = 0; i < qMax(4, g_repeat); ++i) {
        // Which goes first alternates, so that neither always finds the other's pages cached.
        for (bool present : {i % 2 == 0, i % 2 != 0}) {
            if (!present && !QFile::rename(path, aside))
                fail(QStringLiteral("cannot move the index aside"));
            QFile::remove(target);
            QElapsedTimer timer;
            timer.start();
            const DatabaseBackup::Outcome copied = DatabaseBackup::copyMemoBook(book, target);
            (present ? with : without).append(msSince(timer));
            if (!present && !QFile::rename(aside, path))
                fail(QStringLiteral("cannot put the index back"));
            if (!copied.result)
                fail(copied.result.message);
        }
    }
    const double w = summarise(with).median;
    const double o = summarise(without).median;
    std::printf("with the index: median %.0f ms; without: %.0f ms; ratio %.3f; backup %.1f MB, index %.1f MB\n", w, o,
                w / qMax(0.001, o), fileMb(target), fileMb(path));
    QFile::remove(target);
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
    g_repeat = takeCount(args, QStringLiteral("--repeat"), g_repeat);
    QString only;
    if (const qsizetype at = args.indexOf(QStringLiteral("--only")); at >= 0 && at + 1 < args.size()) {
        only = args[at + 1];
        args.remove(at, 2);
    }
    if (args.isEmpty()) {
        std::fprintf(stderr, "usage: bench_fulltext <memo-book> [memos if it has to be made] [--repeat <n>] "
                             "[--only build|search|sort|duringbuild|save|pick|csv|backup]\n");
        return 2;
    }
    const QString book = QFileInfo(args[0]).absoluteFilePath();
    if (!QFileInfo::exists(book)) {
        const MemoBookGenerator::Outcome made =
            makeMemoBook(book, args.value(1, QStringLiteral("1000000")).toLongLong());
        if (!made.result)
            fail(made.result.message);
    }

    QApplication app(argc, argv);
    Appearance::apply(app);
    PlatformFakes fakes;
    Session session;
    session.AppDir = QFileInfo(book).absolutePath();
    session.DbPath = book;
    std::printf("memo book %s: %lld memos, %.1f MB; %d runs, times in ms\n", qPrintable(book),
                static_cast<long long>(MemoBookGenerator::memoCount(book)), fileMb(book), g_repeat);
    std::fflush(stdout);

    auto wanted = [&only](const char* part) { return only.isEmpty() || only == QLatin1String(part); };
    if (wanted("build"))
        buildPart(book);
    if (wanted("search"))
        searchPart(book, session);
    if (wanted("sort"))
        sortPart(book, session);
    if (only == QLatin1String("duringbuild"))
        duringBuildPart(book, session);
    if (wanted("pick"))
        pickPart();
    if (wanted("csv"))
        csvPart(book);
    if (wanted("backup"))
        backupPart(book);
    if (wanted("save"))
        savePart(book);
    closeAllForms();
    std::printf("\npeak RSS (VmHWM) of the whole run: %.1f MB\n", peakMb());
    return 0;
}
