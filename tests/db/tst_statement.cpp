#include "db/BusyWait.h"
#include "db/Statement.h"
#include "support/EngineTestMain.h"
#include "support/Locks.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <memory>

// The one way statements reach the engine: what each kind of failure gives the caller, and
// how values go in.
class TestStatement : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    using Db = std::unique_ptr<sqlite3, decltype(&sqlite3_close)>;

    Db open() const
    {
        sqlite3* db = nullptr;
        sqlite3_open(QFile::encodeName(m_dir.filePath(QStringLiteral("t.db"))).constData(), &db);
        return Db(db, &sqlite3_close);
    }

private Q_SLOTS:
    void initTestCase()
    {
        Db db = open();
        QVERIFY(
            Statement(db.get(), QStringLiteral("CREATE TABLE t (a TEXT CHECK (length(a) <= 3), b INTEGER)")).exec());
    }

    // Every failure is a failure at each step after it, with the engine's reason and what it
    // means for the user; nothing is half run.
    void failures_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<bool>("prepares");
        QTest::addColumn<QString>("says");
        QTest::addColumn<int>("cause");
        const int other = int(Result::Cause::Other);
        QTest::newRow("syntax") << "SELEC 1" << false << "syntax error" << other;
        QTest::newRow("unknown table") << "SELECT * FROM nowhere" << false << "no such table" << other;
        QTest::newRow("two statements") << "INSERT INTO t VALUES ('x', 1); DELETE FROM t" << false
                                        << "more than one statement" << other;
        QTest::newRow("empty") << "  " << false << "empty statement" << other;
        QTest::newRow("refused by the table")
            << "INSERT INTO t VALUES ('long', 1)" << true << "CHECK constraint" << other;
        // The schema cannot even be read under the other program's lock.
        QTest::newRow("locked by another program")
            << "INSERT INTO t VALUES ('x', 2)" << false << "locked" << int(Result::Cause::Busy);
    }

    void failures()
    {
        QFETCH(QString, sql);
        QFETCH(bool, prepares);
        QFETCH(QString, says);
        QFETCH(int, cause);
        Db db = open();
        Db other = open();
        if (cause == int(Result::Cause::Busy))
            QCOMPARE(sqlite3_exec(other.get(), "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
        Statement statement(db.get(), sql);
        QCOMPARE(bool(statement.prepared()), prepares);
        const Result ran = statement.exec();
        QVERIFY(!ran);
        QVERIFY2(ran.message.contains(says), qPrintable(ran.message));
        QCOMPARE(int(ran.cause), cause);
        QCOMPARE(statement.lastError().message, ran.message);
        QCOMPARE(statement.step(), Statement::Step::Error);
        sqlite3_exec(other.get(), "ROLLBACK", nullptr, nullptr, nullptr);
        Statement count(db.get(), QStringLiteral("SELECT count(*) FROM t"));
        QCOMPARE(count.step(), Statement::Step::Row);
        QCOMPARE(count.int64(0), 0);
    }

    void noDatabase()
    {
        Statement statement(nullptr, QStringLiteral("SELECT 1"));
        QVERIFY(!statement.prepared());
        QCOMPARE(statement.step(), Statement::Step::Error);
        QVERIFY(!statement.exec());
    }

    // Blanks and semicolons after the one statement are no second statement.
    void trailingSemicolons()
    {
        Db db = open();
        Statement statement(db.get(), QStringLiteral("SELECT 1;; \r\n\t"));
        QVERIFY(statement.prepared());
        QCOMPARE(statement.step(), Statement::Step::Row);
    }

    // The empty text stays the empty text, NULL stays NULL, numbers stay numbers.
    void values()
    {
        Db db = open();
        Statement insert(db.get(), QStringLiteral("INSERT INTO t VALUES (?, ?)"));
        insert.bind(1, QString(""));
        insert.bind(2, QVariant(7));
        QVERIFY(insert.exec());
        Statement second(db.get(), QStringLiteral("INSERT INTO t VALUES (?, ?)"));
        second.bind(1, QVariant());
        second.bindText(2, QStringLiteral("𠮷"));
        QVERIFY(second.exec());
        Statement read(db.get(), QStringLiteral("SELECT quote(a), typeof(b), b FROM t ORDER BY rowid"));
        QCOMPARE(read.step(), Statement::Step::Row);
        QCOMPARE(read.value(0).toString(), QStringLiteral("''"));
        QCOMPARE(read.value(1).toString(), QStringLiteral("integer"));
        QCOMPARE(read.step(), Statement::Step::Row);
        QCOMPARE(read.value(0).toString(), QStringLiteral("NULL"));
        QCOMPARE(read.value(2).toString(), QStringLiteral("𠮷"));
        QCOMPARE(read.step(), Statement::Step::Done);
        QVERIFY(Statement(db.get(), QStringLiteral("DELETE FROM t")).exec());
    }

    // One action waits at most the timeout in all, in clock time, however many statements it
    // runs; once the user has had the control (a message box), waiting starts afresh.
    void oneActionWaitsOnceUntilTheUserHasTheControl()
    {
        const QString path = m_dir.filePath(QStringLiteral("t.db"));
        Db db = open();
        BusyWait::install(db.get());
        BusyWaitFor shorter(150);
        Lock other(path);
        QVERIFY(other.isHeld());
        QElapsedTimer clock;
        BusyWait::Action action;
        clock.start();
        QCOMPARE(Statement::run(db.get(), QStringLiteral("SELECT count(*) FROM t")).cause, Result::Cause::Busy);
        const qint64 first = clock.restart();
        QVERIFY2(first >= 140 && first < 1000, qPrintable(QString::number(first)));
        QCOMPARE(Statement::run(db.get(), QStringLiteral("SELECT count(*) FROM t")).cause, Result::Cause::Busy);
        QVERIFY2(clock.restart() < 50, "the action's deadline has passed already");
        BusyWait::Action::inputAwaited();
        QCOMPARE(Statement::run(db.get(), QStringLiteral("SELECT count(*) FROM t")).cause, Result::Cause::Busy);
        QVERIFY2(clock.elapsed() >= 140, "a new wait after the user had the control");
    }
};

ORV_ENGINE_TEST_MAIN(TestStatement)
#include "tst_statement.moc"
