#include "db/BusyWait.h"
#include "db/Catalogue.h"
#include "db/Connection.h"
#include "db/RecordSet.h"
#include "db/Statement.h"
#include "support/EngineTestMain.h"
#include "support/Locks.h"
#include "support/MemoBook.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QMap>
#include <QThread>
#include <QTimer>

#include <sqlite3.h>

#include <functional>
#include <future>
#include <optional>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(Result::Cause)

namespace {

// A client holding pending edits, as a bound control would, attached for its lifetime.
class EditsClient : public RecordSetClient
{
public:
    EditsClient(RecordSet& rs, QList<FieldEdit> edits = {}) : pending(std::move(edits)), m_rs(rs) { rs.attach(this); }
    ~EditsClient() override { m_rs.detach(this); }
    void collectPending(QList<FieldEdit>& edits) const override { edits.append(pending); }
    void clearPending() override { pending.clear(); }
    void showCurrent() override
    {
        pending.clear();
        ++shown;
    }
    QList<FieldEdit> pending;
    int shown = 0;

private:
    RecordSet& m_rs;
};

const FieldEdit Typed{u"ｷｰﾜｰﾄﾞ"_s, u"typed"_s};

QList<qint64> keysOf(RecordSet& rs)
{
    QList<qint64> keys;
    for (int row = 0; row < rs.recordCount(); ++row)
        keys.append(rs.value(row, 0).toLongLong());
    return keys;
}

} // namespace

class TestRecordSet : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<MemoBook> book;
    const QMap<QString, std::function<Result(RecordSet&)>> operations{
        {"next", &RecordSet::moveNext},
        {"previous", &RecordSet::movePrevious},
        {"last", &RecordSet::moveLast},
        {"first", &RecordSet::moveFirst},
        {"row 2", [](RecordSet& rs) { return rs.moveTo(2); }},
        {"run again", &RecordSet::refresh},
        {"save", &RecordSet::updateRecord}};

    std::unique_ptr<RecordSet> open(const QString& source, bool readOnly = false)
    {
        auto rs = std::make_unique<RecordSet>(u"Data1"_s);
        rs->setDatabaseName(book->dbPath());
        rs->setReadOnly(readOnly);
        rs->setRecordSource(source);
        const Result r = rs->refresh();
        if (!r)
            QTest::qFail(qPrintable(r.message), __FILE__, __LINE__);
        return rs;
    }

    // The entry window's record set over n memos.
    std::unique_ptr<RecordSet> openMemos(int n)
    {
        addMemos(n);
        return open(Catalogue::AllMemosForEntry);
    }

    void addMemos(int n)
    {
        for (int i = 1; i <= n; ++i)
            book->addMemo({u"2026/01/0%1"_s.arg(i), QString(), u"kw%1"_s.arg(i)});
    }

private Q_SLOTS:
    void init()
    {
        book = std::make_unique<MemoBook>();
        QVERIFY(book->isValid());
    }
    void cleanup() { book.reset(); }

    void movesSetBofAndEofAtBothEndsAndFailOnAnEmptySet()
    {
        auto empty = open(Catalogue::AllMemosForEntry);
        QVERIFY(empty->bof() && empty->eof() && !empty->hasCurrent());
        for (auto move : {&RecordSet::moveFirst, &RecordSet::moveLast, &RecordSet::moveNext, &RecordSet::movePrevious})
            QVERIFY(!((*empty).*move)());
        QVERIFY(!empty->deleteCurrent());

        auto rs = openMemos(3);
        QCOMPARE(rs->currentRow(), 0);
        QVERIFY(rs->moveNext() && rs->moveNext() && rs->moveNext());
        QVERIFY(rs->eof() && !rs->hasCurrent());
        QVERIFY2(!rs->moveNext(), "a move past EOF fails");
        QVERIFY(rs->movePrevious());
        QCOMPARE(rs->currentRow(), 2);
        QVERIFY(rs->moveFirst() && rs->movePrevious());
        QVERIFY(rs->bof() && !rs->eof());
        QVERIFY2(!rs->movePrevious(), "a move before BOF fails");
        QVERIFY(rs->moveNext());
        QCOMPARE(rs->currentRow(), 0);
        QVERIFY(rs->moveLast());
        QCOMPARE(rs->field(0).toLongLong(), 3);
    }

    void fieldsByNameAndPosition()
    {
        const qint64 id = book->addMemo({"2026/12/06", "/doc/a.html", "印刷", "k1", "k2", "HLP", "メモ"});
        auto rs = open(Catalogue::AllMemosForEntry);
        QCOMPARE(rs->fieldNames(),
                 (QStringList{"ID", "日付", "ヘルプファイル", "ｷｰﾜｰﾄﾞ", "検索キー１", "検索キー２", "予備１", "メモ"}));
        QCOMPARE(rs->field(0).toLongLong(), id);
        QCOMPARE(rs->field(u"ｷｰﾜｰﾄﾞ"_s).toString(), u"印刷"_s);
        QCOMPARE(rs->field(u"メモ帳.予備１"_s).toString(), u"HLP"_s);
        QVERIFY(rs->field(u"nothing"_s).isNull());
        QVERIFY(rs->isKeyset() && rs->isUpdatable());
    }

    void addNewAppendsANumberedRecordAndKeepsThePosition_data()
    {
        QTest::addColumn<int>("memos");
        QTest::addColumn<int>("moves"); // moveNext calls after the run
        QTest::addColumn<bool>("eofAfter");
        QTest::newRow("on the first record") << 2 << 0 << false;
        QTest::newRow("on an empty set") << 0 << 0 << false;
        QTest::newRow("at EOF") << 1 << 1 << true;
    }

    void addNewAppendsANumberedRecordAndKeepsThePosition()
    {
        QFETCH(int, memos);
        QFETCH(int, moves);
        auto rs = openMemos(memos);
        for (int i = 0; i < moves; ++i)
            QVERIFY(rs->moveNext());
        const int before = rs->currentRow();
        QVERIFY(rs->addNew());
        QVERIFY(rs->addNew());
        QCOMPARE(rs->currentRow(), before);
        QTEST(rs->eof(), "eofAfter");
        QCOMPARE(rs->recordCount(), memos + 2);
        QCOMPARE(book->count(u"メモ帳"_s), memos + 2);
        QVERIFY(rs->moveLast());
        QCOMPARE(rs->field(0).toLongLong(), memos + 2);
        for (int f = 1; f < 8; ++f)
            QVERIFY2(rs->field(f).isNull(), "a new record has no field set");
    }

    void deleteLeavesNoCurrentRecordUntilTheNextMove_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("deleteRow");
        QTest::addColumn<bool>("nextSucceeds");
        QTest::addColumn<bool>("eofAfterNext");
        QTest::addColumn<qint64>("currentAfterNextOrLast");
        QTest::newRow("first of three") << 3 << 0 << true << false << qint64(2);
        QTest::newRow("middle of three") << 3 << 1 << true << false << qint64(3);
        QTest::newRow("last of three") << 3 << 2 << true << true << qint64(2);
        QTest::newRow("the only one") << 1 << 0 << false << false << qint64(0);
    }

    void deleteLeavesNoCurrentRecordUntilTheNextMove()
    {
        QFETCH(int, count);
        QFETCH(int, deleteRow);
        auto rs = openMemos(count);
        QVERIFY(rs->moveTo(deleteRow));
        const qint64 deleted = rs->field(0).toLongLong();
        QVERIFY(rs->deleteCurrent());
        QVERIFY(!rs->hasCurrent());
        QVERIFY(rs->field(0).isNull());
        QCOMPARE(rs->recordCount(), count - 1);
        QCOMPARE(book->scalar(u"SELECT count(*) FROM メモ帳 WHERE ID = %1"_s.arg(deleted)).toInt(), 0);
        const Result next = rs->moveNext();
        QTEST(bool(next), "nextSucceeds");
        if (!next)
            return;
        QTEST(rs->eof(), "eofAfterNext");
        if (rs->eof())
            QVERIFY(rs->moveLast());
        QTEST(rs->field(0).toLongLong(), "currentAfterNextOrLast");
    }

    void bareTableComesInKeyOrderWhateverIndexLooksSmallest()
    {
        const char* dates[] = {"2026/03/01", "2025/12/31", "2026/01/15", "2024/07/07"};
        for (const char* date : dates)
            book->addMemo({QString::fromLatin1(date)});
        // Figures that make the date index look the cheapest way through the whole table.
        book->exec(u"ANALYZE"_s);
        book->exec(u"DELETE FROM sqlite_stat1"_s);
        book->exec(QStringLiteral("INSERT INTO sqlite_stat1 VALUES ('メモ帳', 'メモ帳_日付', '4 1 sz=1'), "
                                  "('メモ帳', 'メモ帳_ID', '4 1 sz=200'), ('メモ帳', NULL, '4 sz=400')"));
        book->exec(u"ANALYZE sqlite_schema"_s);
        QVERIFY2(
            book->rows(u"EXPLAIN QUERY PLAN SELECT ID FROM メモ帳"_s).value(0).last().toString().contains(u"日付"_s),
            "the figures lead the engine to the date index");
        book->exec(u"DELETE FROM メモ帳 WHERE ID = 2"_s);
        auto rs = open(Catalogue::MemoTableName);
        QCOMPARE(keysOf(*rs), (QList<qint64>{1, 3, 4}));
        QVERIFY(rs->isUpdatable());
    }

    void keysComeInTheStatementsOrder_data()
    {
        QTest::addColumn<QString>("statement");
        QTest::newRow("sort by keyword") << Catalogue::sortStatement({}, u"ｷｰﾜｰﾄﾞ"_s);
        QTest::newRow("sort by date") << Catalogue::sortStatement({}, u"日付"_s);
        QTest::newRow("search sorted by search key 2")
            << Catalogue::sortStatement(Catalogue::searchStatement(u"検索キー１ = 'a'"_s), u"検索キー２"_s);
        QTest::newRow("descending") << u"SELECT * FROM メモ帳 ORDER BY ID DESC"_s;
    }

    void keysComeInTheStatementsOrder()
    {
        QFETCH(QString, statement);
        const char* keywords[] = {"delta", "Alpha", "charlie", "bravo", "alpha2", "Echo"};
        const char* dates[] = {"2026/03/01", "2025/12/31", "2026/01/15", "2024/07/07", "2026/03/01", "2020/01/01"};
        for (int i = 0; i < 6; ++i)
            book->addMemo({QString::fromLatin1(dates[i]), QString(), QString::fromLatin1(keywords[i]),
                           i % 2 ? u"a"_s : u"A"_s, u"k%1"_s.arg(5 - i)});
        QList<qint64> direct;
        for (const QVariantList& row : book->rows(statement))
            direct.append(row.value(0).toLongLong());
        auto rs = open(statement);
        QVERIFY(!direct.isEmpty());
        QCOMPARE(keysOf(*rs), direct);
    }

    void distinctListIsAReadOnlySnapshot()
    {
        book->addMemo({QString(), QString(), u"b"_s});
        book->addMemo({QString(), QString(), u"a"_s});
        book->addMemo({QString(), QString(), u"b"_s});
        auto rs = open(Catalogue::KeywordList);
        QVERIFY(!rs->isKeyset());
        QVERIFY(!rs->isUpdatable());
        QCOMPARE(rs->recordCount(), 2);
        QCOMPARE(rs->fieldIndex(u"ｷｰﾜｰﾄﾞ"_s), 0);
        QVERIFY(!rs->addNew());
        book->addMemo({QString(), QString(), u"c"_s});
        QCOMPARE(rs->recordCount(), 2);
        QVERIFY(rs->refresh());
        QCOMPARE(rs->recordCount(), 3);
    }

    // A memo book converted from an old file keeps its extra columns under their own names,
    // quotes and all; they are written like any other field.
    void pendingEditsAreWrittenOnMoveAndSave()
    {
        addMemos(2);
        book->exec(u"ALTER TABLE メモ帳 ADD COLUMN \"say \"\"hi\"\"\" TEXT"_s);
        auto rs = open(Catalogue::AllMemosForEntry);
        EditsClient client(
            *rs, {{u"ｷｰﾜｰﾄﾞ"_s, u"it's 100% {C++}"_s}, {u"メモ"_s, QString()}, {u"say \"hi\""_s, u"typed"_s}});
        QVERIFY(rs->moveNext());
        QVERIFY(client.pending.isEmpty());
        const QList<QVariantList> first = book->rows(u"SELECT ｷｰﾜｰﾄﾞ, メモ FROM メモ帳 WHERE ID = 1"_s);
        QCOMPARE(first.value(0).value(0).toString(), u"it's 100% {C++}"_s);
        QVERIFY2(!first.value(0).value(1).isNull() && first.value(0).value(1).toString().isEmpty(),
                 "an empty text is stored as the empty text");
        QCOMPARE(book->scalar(u"SELECT \"say \"\"hi\"\"\" FROM メモ帳 WHERE ID = 1"_s).toString(), u"typed"_s);
        client.pending = {{u"日付"_s, u"あした"_s}};
        QVERIFY(rs->updateRecord());
        QVERIFY2(client.pending.isEmpty(), "a stored edit is no longer pending");
        QCOMPARE(rs->currentRow(), 1);
        QCOMPARE(book->scalar(u"SELECT 日付 FROM メモ帳 WHERE ID = 2"_s).toString(), u"あした"_s);
        QCOMPARE(rs->field(u"日付"_s).toString(), u"あした"_s);
    }

    void refusedWriteStopsTheMoveAndReportsTheEnginesMessage()
    {
        addMemos(2);
        book->exec(QStringLiteral(
            "CREATE TRIGGER refuse BEFORE UPDATE ON メモ帳 BEGIN SELECT RAISE(ABORT, 'refused by rule'); END"));
        auto rs = open(Catalogue::AllMemosForEntry);
        EditsClient client(*rs, {Typed});
        const Result moved = rs->moveNext();
        QVERIFY(!moved);
        QVERIFY2(moved.message.contains(u"refused by rule"_s), qPrintable(moved.message));
        QCOMPARE(rs->currentRow(), 0);
        QCOMPARE(client.pending.size(), 1);
        QVERIFY(!rs->updateRecord());
    }

    void readOnlyRecordSetNeverWrites()
    {
        addMemos(2);
        auto rs = open(Catalogue::MemoTableName, true);
        EditsClient client(*rs, {Typed});
        QVERIFY(rs->moveNext());
        QVERIFY(!rs->addNew());
        QVERIFY(!rs->deleteCurrent());
        QCOMPARE(book->scalar(u"SELECT count(*) FROM メモ帳 WHERE ｷｰﾜｰﾄﾞ = 'typed'"_s).toInt(), 0);
        QCOMPARE(book->count(u"メモ帳"_s), 2);
    }

    void failedRunKeepsTheRowsItHad()
    {
        auto rs = openMemos(2);
        QVERIFY(rs->moveLast());
        rs->setRecordSource(Catalogue::searchStatement(u"ｷｰﾜｰﾄﾞ = 'a'b'"_s));
        const Result r = rs->refresh();
        QVERIFY(!r);
        QVERIFY2(r.message.contains(u"syntax"_s) || r.message.contains(u"unrecognized"_s), qPrintable(r.message));
        QCOMPARE(rs->recordCount(), 2);
        QCOMPARE(rs->currentRow(), 1);

        // A second statement behind the first is refused, not run and not passed over.
        rs->setRecordSource(u"SELECT DISTINCT ｷｰﾜｰﾄﾞ FROM メモ帳; DELETE FROM メモ帳"_s);
        QVERIFY(!rs->refresh());
        QCOMPARE(book->count(u"メモ帳"_s), 2);

        // A file that is not there fails, and is not made.
        const QString missing = book->dir() + u"/missing.mdb"_s;
        rs->setDatabaseName(missing);
        QVERIFY(!rs->refresh());
        QVERIFY(!QFile::exists(missing));
    }

    // A record moved to shows what is stored now, also when another program deleted it
    // after the run had read it.
    void rowsAreReadByKeyWhenShown_data()
    {
        QTest::addColumn<QString>("elsewhere");
        QTest::addColumn<QVariant>("keyword");
        QTest::newRow("changed") << u"UPDATE メモ帳 SET ｷｰﾜｰﾄﾞ = 'changed elsewhere' WHERE ID = 3"_s
                                 << QVariant(u"changed elsewhere"_s);
        QTest::newRow("deleted") << u"DELETE FROM メモ帳 WHERE ID = 3"_s << QVariant();
    }

    void rowsAreReadByKeyWhenShown()
    {
        QFETCH(QString, elsewhere);
        auto rs = openMemos(3);
        book->exec(elsewhere);
        QVERIFY(rs->moveLast());
        QTEST(rs->field(u"ｷｰﾜｰﾄﾞ"_s), "keyword");
    }

    // Another program changed or deleted the record after it was read. The write fails, says
    // which, and the typing stays; what is stored now is what the next write expects, so writing
    // again stores the typing. A deleted record is made again under its key only on purpose.
    void writeExpectsTheRecordAsRead_data()
    {
        QTest::addColumn<QString>("elsewhere"); // run by the other program after the read
        QTest::addColumn<bool>("byMove");
        QTest::addColumn<Result::Cause>("cause");      // of the first write's failure; None: it stores
        QTest::addColumn<QString>("storedAfterFirst"); // keyword|key 1|memo of the record
        QTest::addColumn<bool>("overOthers");          // the second write
        QTest::addColumn<QString>("storedAfterSecond");
        const QString update = u"UPDATE メモ帳 SET %1 WHERE ID = 1"_s;
        const auto changed = Result::Cause::Changed;
        QTest::newRow("unchanged") << QString() << false << Result::Cause::None << "mine||one" << false << "mine||one";
        QTest::newRow("the typed field") << update.arg("ｷｰﾜｰﾄﾞ = 'theirs'") << false << changed << "theirs||one"
                                         << false << "mine||one";
        QTest::newRow("another field") << update.arg("メモ = 'their memo'") << false << changed << "first||their memo"
                                       << true << "mine||their memo";
        QTest::newRow("letter case only")
            << update.arg("ｷｰﾜｰﾄﾞ = 'FIRST'") << false << changed << "FIRST||one" << false << "mine||one";
        QTest::newRow("empty text made NULL")
            << update.arg("検索キー１ = NULL") << true << changed << "first|∅|one" << false << "mine|∅|one";
        QTest::newRow("deleted") << u"DELETE FROM メモ帳 WHERE ID = 1"_s << false << Result::Cause::Deleted << "gone"
                                 << false << "gone";
        QTest::newRow("deleted, stored again on purpose")
            << u"DELETE FROM メモ帳 WHERE ID = 1"_s << true << Result::Cause::Deleted << "gone" << true << "mine||one";
    }

    void writeExpectsTheRecordAsRead()
    {
        QFETCH(QString, elsewhere);
        QFETCH(bool, byMove);
        QFETCH(Result::Cause, cause);
        QFETCH(bool, overOthers);
        book->addMemo({"2026/01/01", "", "first", "", "", "", "one"});
        book->addMemo({"2026/01/02", "", "second"});
        auto rs = open(Catalogue::AllMemosForEntry);
        EditsClient client(*rs, {{u"ｷｰﾜｰﾄﾞ"_s, u"mine"_s}});
        auto stored = [this] {
            const QVariant v = book->scalar(QStringLiteral("SELECT coalesce(ｷｰﾜｰﾄﾞ, '∅') || '|' || "
                                                           "coalesce(検索キー１, '∅') || '|' || coalesce(メモ, '∅') "
                                                           "FROM メモ帳 WHERE ID = 1"));
            return v.isNull() ? u"gone"_s : v.toString();
        };
        auto current = [&rs] {
            QStringList values;
            for (const char* f : {"ｷｰﾜｰﾄﾞ", "検索キー１", "メモ"}) {
                const QVariant v = rs->field(QString::fromUtf8(f));
                values.append(v.isNull() ? u"∅"_s : v.toString());
            }
            return values.join('|');
        };
        if (!elsewhere.isEmpty())
            book->exec(elsewhere);
        const Result first = byMove ? rs->moveNext() : rs->updateRecord();
        QCOMPARE(first.cause, cause);
        QTEST(stored(), "storedAfterFirst");
        if (!first) {
            QCOMPARE(rs->currentRow(), 0);
            QCOMPARE(client.pending.size(), 1);
            if (stored() != "gone")
                QCOMPARE(current(), stored()); // what cancel shows and the next write expects
            const Result second = overOthers ? rs->updateRecordOverOthers() : rs->updateRecord();
            QCOMPARE(bool(second), overOthers || stored() != "gone");
        }
        QTEST(stored(), "storedAfterSecond");
        QCOMPARE(book->count(u"メモ帳"_s), stored() == "gone" ? 1 : 2);
        rs->updateControls();
        QCOMPARE(current(), stored() == "gone" ? u"∅|∅|∅"_s : stored());
    }

    // A record that cannot be read (another program holds the file locked past the busy timeout)
    // never becomes current: the operation fails, the record set stays where it was and shows
    // what it showed, and nothing typed is written. Once the lock is gone it works.
    void recordThatCannotBeReadIsNeverMadeCurrent_data()
    {
        QTest::addColumn<QString>("operation");
        for (const QString& operation : operations.keys())
            QTest::newRow(qPrintable(operation)) << operation;
    }

    void recordThatCannotBeReadIsNeverMadeCurrent()
    {
        QFETCH(QString, operation);
        auto rs = openMemos(3);
        QVERIFY(rs->moveTo(1));
        EditsClient client(*rs);
        if (operation == "save")
            client.pending = {Typed};
        const auto run = [&] { return operations.value(operation)(*rs); };
        std::optional<BusyWaitFor> briefly(50);
        Lock lock(book->dbPath());
        QVERIFY(lock.isHeld());
        const Result locked = run();
        QVERIFY(!locked);
        QVERIFY2(locked.message.contains(u"locked"_s), qPrintable(locked.message));
        QCOMPARE(locked.cause, Result::Cause::Busy); // which the windows tell as such
        QCOMPARE(rs->currentRow(), 1);
        QCOMPARE(rs->field(u"ｷｰﾜｰﾄﾞ"_s).toString(), u"kw2"_s);
        QCOMPARE(client.shown, 0);
        QCOMPARE(client.pending.size(), operation == "save" ? 1 : 0);
        lock.release();
        briefly.reset();
        QVERIFY(run());
        QCOMPARE(book->scalar(u"SELECT ｷｰﾜｰﾄﾞ FROM メモ帳 WHERE ID = 2"_s).toString(),
                 operation == "save" ? u"typed"_s : u"kw2"_s);
        QVERIFY(operation == "save" || client.shown == 1);
    }

    // An operation that has to wait for a lock says so while it waits (the windows show the busy
    // cursor), and gives up after the busy timeout.
    void waitingForALock_data()
    {
        QTest::addColumn<int>("holdMs"); // 0: no lock
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<bool>("succeeds");
        QTest::addColumn<QList<bool>>("indications");
        QTest::newRow("no lock") << 0 << 5000 << true << QList<bool>{};
        QTest::newRow("released in time") << 200 << 5000 << true << QList<bool>{true, false};
        QTest::newRow("held past the timeout") << 600 << 100 << false << QList<bool>{true, false};
    }

    void waitingForALock()
    {
        QFETCH(int, holdMs);
        QFETCH(int, timeoutMs);
        auto rs = openMemos(2);
        EditsClient client(*rs, {Typed});
        QList<bool> indications;
        std::optional<BusyWaitFor> waiting(std::in_place, timeoutMs, &indications);
        std::optional<Lock> lock;
        if (holdMs > 0) {
            lock.emplace(book->dbPath());
            QVERIFY(lock->isHeld());
            lock->releaseAfter(holdMs);
        }
        QElapsedTimer waited;
        waited.start();
        const Result moved = rs->moveNext();
        const qint64 elapsed = waited.elapsed();
        lock.reset();
        waiting.reset();
        QTEST(bool(moved), "succeeds");
        QTEST(indications, "indications");
        if (!moved)
            QVERIFY2(elapsed < holdMs, "gave up before the lock was released");
        QCOMPARE(rs->currentRow(), moved ? 1 : 0);
    }

    // One action of the user (the application opens one around each event it hands on) and
    // all it sets off wait at most the busy timeout in all: once a wait has run out, the rest of
    // the action does not wait again.
    void oneActionWaitsAtMostTheTimeout()
    {
        auto rs = openMemos(2);
        auto list = open(Catalogue::KeywordList);
        QList<bool> indications;
        std::optional<BusyWaitFor> waiting(std::in_place, 400, &indications);
        Lock lock(book->dbPath());
        QVERIFY(lock.isHeld());
        Result moved, listed;
        qint64 elapsed = -1;
        QList<bool> during;
        {
            const BusyWait::Action click;
            QElapsedTimer action;
            action.start();
            moved = rs->moveNext();
            listed = list->refresh();
            elapsed = action.elapsed();
            during = indications;
        }
        lock.release();
        waiting.reset();
        QVERIFY(!moved && !listed);
        QVERIFY2(elapsed < 700, qPrintable(QString::number(elapsed)));
        QCOMPARE(during, QList<bool>{true}); // the busy cursor stays until the action is over
        QCOMPARE(indications, (QList<bool>{true, false}));
    }

    // The file deleted, made read-only or replaced while the record set is open: every write
    // fails, and nothing is stored anywhere.
    void writesFailWhenTheFileIsNoLongerWritable_data()
    {
        QTest::addColumn<QString>("change");
        for (const char* change : {"deleted", "made read-only", "renamed away", "replaced by a rename"})
            QTest::newRow(change) << QString::fromLatin1(change);
    }

    void writesFailWhenTheFileIsNoLongerWritable()
    {
        QFETCH(QString, change);
        auto rs = openMemos(2);
        EditsClient client(*rs, {Typed});
        const QString path = book->dbPath();
        const QString other = book->dir() + u"/other.mdb"_s;
        if (change == "deleted") {
            QVERIFY(QFile::remove(path));
        } else if (change == "made read-only") {
            QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        } else if (change == "renamed away") {
            QVERIFY(QFile::rename(path, other));
        } else {
            QVERIFY(QFile::copy(path, other));
            QVERIFY(::rename(QFile::encodeName(other).constData(), QFile::encodeName(path).constData()) == 0);
        }
        QVERIFY(!rs->updateRecord());
        QCOMPARE(client.pending.size(), 1);
        QVERIFY(!rs->moveNext());
        QVERIFY(!rs->addNew());
        QVERIFY(!rs->deleteCurrent());
        QCOMPARE(rs->recordCount(), 2);
        // Whatever file now has either name holds what it held.
        for (const QString& file : {path, other}) {
            if (!QFile::exists(file))
                continue;
            std::shared_ptr<Connection> look = Connection::open(file);
            QVERIFY(look);
            Statement count(look->handle(), u"SELECT count(*), group_concat(ｷｰﾜｰﾄﾞ) FROM メモ帳"_s);
            QVERIFY(count.step() == Statement::Step::Row);
            QCOMPARE(count.value(0).toInt(), 2);
            QCOMPARE(count.value(1).toString(), u"kw1,kw2"_s);
        }
    }

    void noStatementStaysOpenBetweenEvents()
    {
        auto rs = openMemos(100);
        QVERIFY(rs->moveTo(50));
        QCOMPARE(rs->value(99, 0).toLongLong(), 100);
        // Another program writing with no patience at all must not find the file locked.
        sqlite3* other = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(book->dbPath()).constData(), &other), SQLITE_OK);
        sqlite3_busy_timeout(other, 0);
        char* error = nullptr;
        const int rc = sqlite3_exec(other, "BEGIN IMMEDIATE; UPDATE メモ帳 SET メモ = 'x' WHERE ID = 1; COMMIT;",
                                    nullptr, nullptr, &error);
        const QString message = QString::fromUtf8(error ? error : "");
        sqlite3_free(error);
        sqlite3_close(other);
        QVERIFY2(rc == SQLITE_OK, qPrintable(message));
    }
};

ORV_ENGINE_TEST_MAIN(TestRecordSet)
#include "tst_recordset.moc"
