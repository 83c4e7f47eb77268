#include "db/BusyWait.h"
#include "db/Catalogue.h"
#include "db/Connection.h"
#include "db/RecordSet.h"
#include "db/Statement.h"
#include "support/MemoBook.h"
#include "support/TestMain.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QThread>
#include <QTimer>

#include <sqlite3.h>

#include <future>
#include <optional>

namespace {

// A client holding pending edits, as a bound control would.
class EditsClient : public RecordSetClient
{
public:
    void collectPending(QList<FieldEdit>& edits) const override { edits.append(pending); }
    void clearPending() override { pending.clear(); }
    void showCurrent() override
    {
        pending.clear();
        ++shown;
    }
    QList<FieldEdit> pending;
    int shown = 0;
};

QList<qint64> keysOf(RecordSet& rs)
{
    QList<qint64> keys;
    for (int row = 0; row < rs.recordCount(); ++row)
        keys.append(rs.value(row, 0).toLongLong());
    return keys;
}

// Another program holding the memo book locked, neither reading nor writing allowed, until
// released or, with a time given, for that long.
class Lock
{
public:
    explicit Lock(const QString& path)
    {
        sqlite3_open(QFile::encodeName(path).constData(), &m_db);
        m_ok = sqlite3_exec(m_db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    ~Lock() { release(); }
    bool isHeld() const { return m_ok; }
    void release()
    {
        if (m_releasing.valid())
            m_releasing.wait();
        sqlite3_close(m_db); // ends the transaction
        m_db = nullptr;
    }
    void releaseAfter(int ms)
    {
        m_releasing = std::async(std::launch::async, [this, ms] {
            QThread::msleep(ms);
            sqlite3_close(m_db);
            m_db = nullptr;
        });
    }

private:
    sqlite3* m_db = nullptr;
    bool m_ok = false;
    std::future<void> m_releasing;
};

} // namespace

class TestRecordSet : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<MemoBook> book;

    std::unique_ptr<RecordSet> open(const QString& source)
    {
        auto rs = std::make_unique<RecordSet>(QStringLiteral("Data1"));
        rs->setDatabaseName(book->dbPath());
        rs->setRecordSource(source);
        const Result r = rs->refresh();
        if (!r)
            QTest::qFail(qPrintable(r.message), __FILE__, __LINE__);
        return rs;
    }

    void addMemos(int n)
    {
        for (int i = 1; i <= n; ++i)
            book->addMemo({QStringLiteral("2026/01/0%1").arg(i), QString(), QStringLiteral("kw%1").arg(i)});
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

        addMemos(3);
        auto rs = open(Catalogue::AllMemosForEntry);
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
        QCOMPARE(rs->field(QStringLiteral("ｷｰﾜｰﾄﾞ")).toString(), QStringLiteral("印刷"));
        QCOMPARE(rs->field(QStringLiteral("メモ帳.予備１")).toString(), QStringLiteral("HLP"));
        QVERIFY(rs->field(QStringLiteral("nothing")).isNull());
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
        addMemos(memos);
        auto rs = open(Catalogue::AllMemosForEntry);
        for (int i = 0; i < moves; ++i)
            QVERIFY(rs->moveNext());
        const int before = rs->currentRow();
        QVERIFY(rs->addNew());
        QVERIFY(rs->addNew());
        QCOMPARE(rs->currentRow(), before);
        QTEST(rs->eof(), "eofAfter");
        QCOMPARE(rs->recordCount(), memos + 2);
        QCOMPARE(book->count(QStringLiteral("メモ帳")), memos + 2);
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
        addMemos(count);
        auto rs = open(Catalogue::AllMemosForEntry);
        QVERIFY(rs->moveTo(deleteRow));
        const qint64 deleted = rs->field(0).toLongLong();
        QVERIFY(rs->deleteCurrent());
        QVERIFY(!rs->hasCurrent());
        QVERIFY(rs->field(0).isNull());
        QCOMPARE(rs->recordCount(), count - 1);
        QCOMPARE(book->scalar(QStringLiteral("SELECT count(*) FROM メモ帳 WHERE ID = %1").arg(deleted)).toInt(), 0);
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
        book->exec(QStringLiteral("ANALYZE"));
        book->exec(QStringLiteral("DELETE FROM sqlite_stat1"));
        book->exec(QStringLiteral("INSERT INTO sqlite_stat1 VALUES ('メモ帳', 'メモ帳_日付', '4 1 sz=1'), "
                                  "('メモ帳', 'メモ帳_ID', '4 1 sz=200'), ('メモ帳', NULL, '4 sz=400')"));
        book->exec(QStringLiteral("ANALYZE sqlite_schema"));
        QVERIFY2(book->rows(QStringLiteral("EXPLAIN QUERY PLAN SELECT ID FROM メモ帳"))
                     .value(0)
                     .last()
                     .toString()
                     .contains(QStringLiteral("日付")),
                 "the figures lead the engine to the date index");
        book->exec(QStringLiteral("DELETE FROM メモ帳 WHERE ID = 2"));
        auto rs = open(Catalogue::MemoTableName);
        QCOMPARE(keysOf(*rs), (QList<qint64>{1, 3, 4}));
        QVERIFY(rs->isUpdatable());
    }

    void keysComeInTheStatementsOrder_data()
    {
        QTest::addColumn<QString>("statement");
        QTest::newRow("sort by keyword") << Catalogue::sortStatement({}, QStringLiteral("ｷｰﾜｰﾄﾞ"));
        QTest::newRow("sort by date") << Catalogue::sortStatement({}, QStringLiteral("日付"));
        QTest::newRow("search sorted by search key 2") << Catalogue::sortStatement(
            Catalogue::searchStatement(QStringLiteral("検索キー１ = 'a'")), QStringLiteral("検索キー２"));
        QTest::newRow("search by id") << Catalogue::orderedSearch(
            Catalogue::searchStatement(Catalogue::searchCondition({}, QStringLiteral("a"), {})));
        QTest::newRow("show all") << Catalogue::AllMemos;
        QTest::newRow("descending") << QStringLiteral("SELECT * FROM メモ帳 ORDER BY ID DESC");
    }

    void keysComeInTheStatementsOrder()
    {
        QFETCH(QString, statement);
        const char* keywords[] = {"delta", "Alpha", "charlie", "bravo", "alpha2", "Echo"};
        const char* dates[] = {"2026/03/01", "2025/12/31", "2026/01/15", "2024/07/07", "2026/03/01", "2020/01/01"};
        for (int i = 0; i < 6; ++i)
            book->addMemo({QString::fromLatin1(dates[i]), QString(), QString::fromLatin1(keywords[i]),
                           i % 2 ? QStringLiteral("a") : QStringLiteral("A"), QStringLiteral("k%1").arg(5 - i)});
        QList<qint64> direct;
        for (const QVariantList& row : book->rows(statement))
            direct.append(row.value(0).toLongLong());
        auto rs = open(statement);
        QVERIFY(!direct.isEmpty());
        QCOMPARE(keysOf(*rs), direct);
    }

    void distinctListIsAReadOnlySnapshot()
    {
        book->addMemo({QString(), QString(), QStringLiteral("b")});
        book->addMemo({QString(), QString(), QStringLiteral("a")});
        book->addMemo({QString(), QString(), QStringLiteral("b")});
        auto rs = open(Catalogue::KeywordList);
        QVERIFY(!rs->isKeyset());
        QVERIFY(!rs->isUpdatable());
        QCOMPARE(rs->recordCount(), 2);
        QCOMPARE(rs->fieldIndex(QStringLiteral("ｷｰﾜｰﾄﾞ")), 0);
        QVERIFY(!rs->addNew());
        book->addMemo({QString(), QString(), QStringLiteral("c")});
        QCOMPARE(rs->recordCount(), 2);
        QVERIFY(rs->refresh());
        QCOMPARE(rs->recordCount(), 3);
    }

    void pendingEditsAreWrittenOnMoveAndSave()
    {
        addMemos(2);
        auto rs = open(Catalogue::AllMemosForEntry);
        EditsClient client;
        rs->attach(&client);
        client.pending = {{QStringLiteral("ｷｰﾜｰﾄﾞ"), QStringLiteral("it's 100% {C++}")},
                          {QStringLiteral("メモ"), QString()}};
        QVERIFY(rs->moveNext());
        QVERIFY(client.pending.isEmpty());
        const QList<QVariantList> first = book->rows(QStringLiteral("SELECT ｷｰﾜｰﾄﾞ, メモ FROM メモ帳 WHERE ID = 1"));
        QCOMPARE(first.value(0).value(0).toString(), QStringLiteral("it's 100% {C++}"));
        QVERIFY2(!first.value(0).value(1).isNull() && first.value(0).value(1).toString().isEmpty(),
                 "an empty text is stored as the empty text");
        client.pending = {{QStringLiteral("日付"), QStringLiteral("あした")}};
        QVERIFY(rs->updateRecord());
        QVERIFY2(client.pending.isEmpty(), "a stored edit is no longer pending");
        QCOMPARE(rs->currentRow(), 1);
        QCOMPARE(book->scalar(QStringLiteral("SELECT 日付 FROM メモ帳 WHERE ID = 2")).toString(),
                 QStringLiteral("あした"));
        QCOMPARE(rs->field(QStringLiteral("日付")).toString(), QStringLiteral("あした"));
        rs->detach(&client);
    }

    void refusedWriteStopsTheMoveAndReportsTheEnginesMessage()
    {
        addMemos(2);
        book->exec(QStringLiteral(
            "CREATE TRIGGER refuse BEFORE UPDATE ON メモ帳 BEGIN SELECT RAISE(ABORT, 'refused by rule'); END"));
        auto rs = open(Catalogue::AllMemosForEntry);
        EditsClient client;
        rs->attach(&client);
        client.pending = {{QStringLiteral("ｷｰﾜｰﾄﾞ"), QStringLiteral("x")}};
        const Result moved = rs->moveNext();
        QVERIFY(!moved);
        QVERIFY2(moved.message.contains(QStringLiteral("refused by rule")), qPrintable(moved.message));
        QCOMPARE(rs->currentRow(), 0);
        QCOMPARE(client.pending.size(), 1);
        QVERIFY(!rs->updateRecord());
        rs->detach(&client);
    }

    // A memo book converted from an old file keeps its extra columns under their own names,
    // quotes and all; they are written like any other field.
    void fieldNamedWithAQuoteIsWritten()
    {
        addMemos(1);
        book->exec(QStringLiteral("ALTER TABLE メモ帳 ADD COLUMN \"say \"\"hi\"\"\" TEXT"));
        auto rs = open(Catalogue::AllMemosForEntry);
        EditsClient client;
        rs->attach(&client);
        client.pending = {{QStringLiteral("say \"hi\""), QStringLiteral("typed")}};
        QVERIFY(rs->updateRecord());
        QCOMPARE(book->scalar(QStringLiteral("SELECT \"say \"\"hi\"\"\" FROM メモ帳")).toString(),
                 QStringLiteral("typed"));
        rs->detach(&client);
    }

    void readOnlyRecordSetNeverWrites()
    {
        addMemos(2);
        auto rs = std::make_unique<RecordSet>(QStringLiteral("Data1"));
        rs->setDatabaseName(book->dbPath());
        rs->setReadOnly(true);
        rs->setRecordSource(Catalogue::MemoTableName);
        QVERIFY(rs->refresh());
        EditsClient client;
        rs->attach(&client);
        client.pending = {{QStringLiteral("ｷｰﾜｰﾄﾞ"), QStringLiteral("typed")}};
        QVERIFY(rs->moveNext());
        QVERIFY(!rs->addNew());
        QVERIFY(!rs->deleteCurrent());
        QCOMPARE(book->scalar(QStringLiteral("SELECT count(*) FROM メモ帳 WHERE ｷｰﾜｰﾄﾞ = 'typed'")).toInt(), 0);
        QCOMPARE(book->count(QStringLiteral("メモ帳")), 2);
        rs->detach(&client);
    }

    void failedRunKeepsTheRowsItHad()
    {
        addMemos(2);
        auto rs = open(Catalogue::AllMemosForEntry);
        QVERIFY(rs->moveLast());
        rs->setRecordSource(Catalogue::searchStatement(QStringLiteral("ｷｰﾜｰﾄﾞ = 'a'b'")));
        const Result r = rs->refresh();
        QVERIFY(!r);
        QVERIFY2(r.message.contains(QStringLiteral("syntax")) || r.message.contains(QStringLiteral("unrecognized")),
                 qPrintable(r.message));
        QCOMPARE(rs->recordCount(), 2);
        QCOMPARE(rs->currentRow(), 1);

        // A second statement behind the first is refused, not run and not passed over.
        rs->setRecordSource(QStringLiteral("SELECT DISTINCT ｷｰﾜｰﾄﾞ FROM メモ帳; DELETE FROM メモ帳"));
        QVERIFY(!rs->refresh());
        QCOMPARE(book->count(QStringLiteral("メモ帳")), 2);

        // A file that is not there fails, and is not made.
        const QString missing = book->dir() + QStringLiteral("/missing.mdb");
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
        QTest::newRow("changed") << QStringLiteral("UPDATE メモ帳 SET ｷｰﾜｰﾄﾞ = 'changed elsewhere' WHERE ID = 3")
                                 << QVariant(QStringLiteral("changed elsewhere"));
        QTest::newRow("deleted") << QStringLiteral("DELETE FROM メモ帳 WHERE ID = 3") << QVariant();
    }

    void rowsAreReadByKeyWhenShown()
    {
        QFETCH(QString, elsewhere);
        addMemos(3);
        auto rs = open(Catalogue::AllMemosForEntry);
        book->exec(elsewhere);
        QVERIFY(rs->moveLast());
        QTEST(rs->field(QStringLiteral("ｷｰﾜｰﾄﾞ")), "keyword");
    }

    // Another program changed or deleted the record after it was read. The write fails and the
    // typing stays; what is stored now is what the next write expects, so writing again stores
    // the typing; a deleted record is never made again.
    void writeExpectsTheRecordAsRead_data()
    {
        QTest::addColumn<QString>("elsewhere"); // run by the other program after the read
        QTest::addColumn<bool>("byMove");
        QTest::addColumn<bool>("firstWriteStores");
        QTest::addColumn<QString>("storedAfterFirst"); // keyword|key 1|memo of the record
        QTest::addColumn<QString>("storedAfterSecond");
        const QString update = QStringLiteral("UPDATE メモ帳 SET %1 WHERE ID = 1");
        QTest::newRow("unchanged") << QString() << false << true << "mine||one"
                                   << "mine||one";
        QTest::newRow("the typed field") << update.arg("ｷｰﾜｰﾄﾞ = 'theirs'") << false << false << "theirs||one"
                                         << "mine||one";
        QTest::newRow("the typed field, by a move") << update.arg("ｷｰﾜｰﾄﾞ = 'theirs'") << true << false << "theirs||one"
                                                    << "mine||one";
        QTest::newRow("another field") << update.arg("メモ = 'their memo'") << false << false << "first||their memo"
                                       << "mine||their memo";
        QTest::newRow("letter case only") << update.arg("ｷｰﾜｰﾄﾞ = 'FIRST'") << false << false << "FIRST||one"
                                          << "mine||one";
        QTest::newRow("empty text made NULL") << update.arg("検索キー１ = NULL") << true << false << "first|∅|one"
                                              << "mine|∅|one";
        QTest::newRow("deleted") << QStringLiteral("DELETE FROM メモ帳 WHERE ID = 1") << false << false << "gone"
                                 << "gone";
    }

    void writeExpectsTheRecordAsRead()
    {
        QFETCH(QString, elsewhere);
        QFETCH(bool, byMove);
        QFETCH(bool, firstWriteStores);
        book->addMemo({"2026/01/01", "", "first", "", "", "", "one"});
        book->addMemo({"2026/01/02", "", "second"});
        auto rs = open(Catalogue::AllMemosForEntry);
        EditsClient client;
        rs->attach(&client);
        auto stored = [this] {
            const QVariant v = book->scalar(QStringLiteral("SELECT coalesce(ｷｰﾜｰﾄﾞ, '∅') || '|' || "
                                                           "coalesce(検索キー１, '∅') || '|' || coalesce(メモ, '∅') "
                                                           "FROM メモ帳 WHERE ID = 1"));
            return v.isNull() ? QStringLiteral("gone") : v.toString();
        };
        auto current = [&rs] {
            QStringList values;
            for (const char* f : {"ｷｰﾜｰﾄﾞ", "検索キー１", "メモ"}) {
                const QVariant v = rs->field(QString::fromUtf8(f));
                values.append(v.isNull() ? QStringLiteral("∅") : v.toString());
            }
            return values.join('|');
        };
        client.pending = {{QStringLiteral("ｷｰﾜｰﾄﾞ"), QStringLiteral("mine")}};
        if (!elsewhere.isEmpty())
            book->exec(elsewhere);
        const Result first = byMove ? rs->moveNext() : rs->updateRecord();
        QCOMPARE(bool(first), firstWriteStores);
        QTEST(stored(), "storedAfterFirst");
        if (!first) {
            QCOMPARE(rs->currentRow(), 0);
            QCOMPARE(client.pending.size(), 1);
            if (stored() != "gone")
                QCOMPARE(current(), stored()); // what cancel shows and the next write expects
            QCOMPARE(bool(rs->updateRecord()), stored() != "gone");
        }
        QTEST(stored(), "storedAfterSecond");
        QCOMPARE(book->count(QStringLiteral("メモ帳")), stored() == "gone" ? 1 : 2);
        rs->updateControls();
        QCOMPARE(current(), stored() == "gone" ? QStringLiteral("∅|∅|∅") : stored());
        rs->detach(&client);
    }

    // A record that cannot be read (another program holds the file locked past the busy timeout)
    // never becomes current: the operation fails, the record set stays where it was and shows
    // what it showed, and nothing typed is written. Once the lock is gone it works.
    void recordThatCannotBeReadIsNeverMadeCurrent_data()
    {
        QTest::addColumn<QString>("operation");
        for (const char* operation : {"next", "previous", "last", "first", "row 2", "run again", "save"})
            QTest::newRow(operation) << QString::fromLatin1(operation);
    }

    void recordThatCannotBeReadIsNeverMadeCurrent()
    {
        QFETCH(QString, operation);
        addMemos(3);
        auto rs = open(Catalogue::AllMemosForEntry);
        QVERIFY(rs->moveTo(1));
        EditsClient client;
        rs->attach(&client);
        if (operation == "save")
            client.pending = {{QStringLiteral("ｷｰﾜｰﾄﾞ"), QStringLiteral("typed")}};
        auto run = [&]() -> Result {
            if (operation == "next")
                return rs->moveNext();
            if (operation == "previous")
                return rs->movePrevious();
            if (operation == "last")
                return rs->moveLast();
            if (operation == "first")
                return rs->moveFirst();
            if (operation == "row 2")
                return rs->moveTo(2);
            if (operation == "run again")
                return rs->refresh();
            return rs->updateRecord();
        };
        BusyWait::setTimeoutMs(50);
        Lock lock(book->dbPath());
        QVERIFY(lock.isHeld());
        const Result locked = run();
        QVERIFY(!locked);
        QVERIFY2(locked.message.contains(QStringLiteral("locked")), qPrintable(locked.message));
        QCOMPARE(rs->currentRow(), 1);
        QCOMPARE(rs->field(QStringLiteral("ｷｰﾜｰﾄﾞ")).toString(), QStringLiteral("kw2"));
        QCOMPARE(client.shown, 0);
        QCOMPARE(client.pending.size(), operation == "save" ? 1 : 0);
        lock.release();
        BusyWait::setTimeoutMs(Connection::BusyTimeoutMs);
        QVERIFY(run());
        QCOMPARE(book->scalar(QStringLiteral("SELECT ｷｰﾜｰﾄﾞ FROM メモ帳 WHERE ID = 2")).toString(),
                 operation == "save" ? QStringLiteral("typed") : QStringLiteral("kw2"));
        QVERIFY(operation == "save" || client.shown == 1);
        rs->detach(&client);
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
        addMemos(2);
        auto rs = open(Catalogue::AllMemosForEntry);
        EditsClient client;
        rs->attach(&client);
        client.pending = {{QStringLiteral("ｷｰﾜｰﾄﾞ"), QStringLiteral("typed")}};
        QList<bool> indications;
        BusyWait::setHook([&indications](bool waiting) { indications.append(waiting); });
        BusyWait::setTimeoutMs(timeoutMs);
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
        BusyWait::setHook({});
        BusyWait::setTimeoutMs(Connection::BusyTimeoutMs);
        QTEST(bool(moved), "succeeds");
        QTEST(indications, "indications");
        if (!moved)
            QVERIFY2(elapsed < holdMs, "gave up before the lock was released");
        QCOMPARE(rs->currentRow(), moved ? 1 : 0);
        rs->detach(&client);
    }

    // In the program, one click and all it sets off wait at most the busy timeout in all: once
    // a wait has run out, the rest of the action does not wait again.
    void oneActionWaitsAtMostTheTimeout()
    {
        addMemos(2);
        auto rs = open(Catalogue::AllMemosForEntry);
        auto list = open(Catalogue::KeywordList);
        QList<bool> indications;
        BusyWait::setHook([&indications](bool waiting) { indications.append(waiting); });
        BusyWait::setTimeoutMs(400);
        Lock lock(book->dbPath());
        QVERIFY(lock.isHeld());
        Result moved, listed;
        qint64 elapsed = -1;
        QList<bool> during;
        QEventLoop program; // as the program's own, which runs every action
        QTimer::singleShot(0, &program, [&] {
            QElapsedTimer action;
            action.start();
            moved = rs->moveNext();
            listed = list->refresh();
            elapsed = action.elapsed();
            during = indications;
            QTimer::singleShot(0, &program, &QEventLoop::quit);
        });
        program.exec();
        lock.release();
        BusyWait::setHook({});
        BusyWait::setTimeoutMs(Connection::BusyTimeoutMs);
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
        addMemos(2);
        auto rs = open(Catalogue::AllMemosForEntry);
        EditsClient client;
        rs->attach(&client);
        client.pending = {{QStringLiteral("ｷｰﾜｰﾄﾞ"), QStringLiteral("typed")}};
        const QString path = book->dbPath();
        const QString other = book->dir() + QStringLiteral("/other.mdb");
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
            Statement count(look->handle(), QStringLiteral("SELECT count(*), group_concat(ｷｰﾜｰﾄﾞ) FROM メモ帳"));
            QVERIFY(count.step() == Statement::Step::Row);
            QCOMPARE(count.value(0).toInt(), 2);
            QCOMPARE(count.value(1).toString(), QStringLiteral("kw1,kw2"));
        }
        rs->detach(&client);
    }

    void noStatementStaysOpenBetweenEvents()
    {
        addMemos(100);
        auto rs = open(Catalogue::AllMemosForEntry);
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

ORV_TEST_MAIN(TestRecordSet)
#include "tst_recordset.moc"
