#include "db/BusyWait.h"
#include "db/Catalogue.h"
#include "db/Connection.h"
#include "db/Schema.h"
#include "support/EngineTestMain.h"
#include "support/Locks.h"
#include "support/MemoBook.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <memory>
#include <optional>

class TestSchema : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void newMemoBookNeverOverwritesAFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("IDATA2.mdb"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("precious");
        file.close();
        QVERIFY(!Schema::createMemoBook(path));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("precious"));
    }

    // A memo book that could not be made whole is not left behind: the next start would take
    // the empty file for a memo book without memos.
    void failedNewMemoBookLeavesNoFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("IDATA2.mdb"));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("IDATA2.mdb-journal"))); // no journal can be made
        QVERIFY(!Schema::createMemoBook(path));
        QVERIFY(!QFile::exists(path));
    }

    // A book carries its layout's version; an older one is upgraded in one go, a newer one and
    // one that cannot be written are left exactly as they were.
    void upgrade_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<bool>("locked"); // another program holds the write lock
        QTest::addColumn<int>("outcome");
        QTest::addColumn<int>("after");
        using O = Schema::UpgradeOutcome;
        QTest::newRow("made before versions") << 0 << false << int(O::Upgraded) << Schema::Version;
        QTest::newRow("this version") << Schema::Version << false << int(O::Current) << Schema::Version;
        QTest::newRow("newer") << Schema::Version + 1 << false << int(O::Newer) << Schema::Version + 1;
        QTest::newRow("older, locked by another program") << 0 << true << int(O::Failed) << 0;
    }

    void upgrade()
    {
        QFETCH(int, stored);
        QFETCH(bool, locked);
        MemoBook book;
        QCOMPARE(Schema::storedVersion(book.dbPath()), std::optional<int>(Schema::Version));
        book.addMemo({QStringLiteral("2026/12/08"), QString(), QStringLiteral("印刷")});
        book.exec(QStringLiteral("PRAGMA user_version = %1").arg(stored));
        QFile file(book.dbPath());
        std::unique_ptr<sqlite3, decltype(&sqlite3_close)> other(nullptr, &sqlite3_close);
        std::optional<BusyWaitFor> shorter;
        if (locked) {
            sqlite3* raw = nullptr;
            QCOMPARE(sqlite3_open(QFile::encodeName(book.dbPath()).constData(), &raw), SQLITE_OK);
            other.reset(raw);
            QCOMPARE(sqlite3_exec(raw, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
            shorter.emplace(200);
        }
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();
        file.close();
        int found = -1;
        Result why;
        QTEST(int(Schema::upgrade(book.dbPath(), &found, &why)), "outcome");
        shorter.reset();
        QCOMPARE(why.cause == Result::Cause::Busy, locked);
        other.reset();
        QCOMPARE(found, stored);
        QTEST(*Schema::storedVersion(book.dbPath()), "after");
        QVERIFY(file.open(QIODevice::ReadOnly));
        QFETCH(int, after);
        QCOMPARE(file.readAll() == before, after == stored);
        QCOMPARE(book.scalar(QStringLiteral("SELECT ｷｰﾜｰﾄﾞ FROM メモ帳")).toString(), QStringLiteral("印刷"));
    }

    void versionOfWhatIsNoMemoBook()
    {
        QTemporaryDir dir;
        QCOMPARE(Schema::storedVersion(dir.filePath(QStringLiteral("missing.mdb"))), std::nullopt);
        QCOMPARE(Schema::storedVersion(dir.path()), std::nullopt);
        QFile text(dir.filePath(QStringLiteral("text.mdb")));
        QVERIFY(text.open(QIODevice::WriteOnly) && text.write("not a database at all, just some words\n") > 0);
        text.close();
        QCOMPARE(Schema::storedVersion(text.fileName()), std::nullopt);
        QCOMPARE(Schema::upgrade(text.fileName()), Schema::UpgradeOutcome::Failed);
    }

    void textComparesWithoutLetterCase_data()
    {
        QTest::addColumn<QString>("field");
        for (const char* field : {"日付", "ヘルプファイル", "ｷｰﾜｰﾄﾞ", "検索キー１", "検索キー２", "予備１", "メモ"})
            QTest::newRow(field) << QString::fromUtf8(field);
    }

    // As the original engine compared text: the search finds a value in any letter case, the
    // lists hold it once, and a sort puts it among the others whatever its case.
    void textComparesWithoutLetterCase()
    {
        QFETCH(QString, field);
        MemoBook book;
        QVERIFY(book.isValid());
        for (const char* value : {"banana", "Word", "WORD", "apple", "word", "Cherry"})
            book.exec(QStringLiteral("INSERT INTO メモ帳 (%1) VALUES ('%2')").arg(field, QString::fromUtf8(value)));
        const QString search =
            Catalogue::searchStatement(field + QStringLiteral(" = ") + Catalogue::quoted(QStringLiteral("wOrD")));
        QCOMPARE(book.rows(Catalogue::orderedSearch(search)).size(), 3);
        QCOMPARE(book.rows(QStringLiteral("SELECT DISTINCT メモ帳.%1 FROM メモ帳 WHERE 0 <= ID ").arg(field)).size(),
                 4);
        QStringList order;
        for (const QVariantList& row :
             book.rows(QStringLiteral("SELECT %1 FROM (%2)").arg(field, Catalogue::sortStatement(QString(), field))))
            order << row.value(0).toString().left(1).toLower();
        QCOMPARE(order.join(QString()), QStringLiteral("abcwww"));
    }

    void pathTableOutcomes()
    {
        MemoBook book(MemoBook::Tables::MemosOnly);
        QVERIFY(book.isValid());
        QCOMPARE(Schema::makePathTable(book.dbPath()), Schema::PathTableOutcome::Made);
        QCOMPARE(Schema::makePathTable(book.dbPath()), Schema::PathTableOutcome::LeftAsItWas);
        QCOMPARE(book.rows(QStringLiteral("SELECT type, sql FROM sqlite_master WHERE tbl_name = 'パス' ORDER BY type"))
                     .size(),
                 2);

        QCOMPARE(Schema::makePathTable(book.dir() + QStringLiteral("/missing.mdb")),
                 Schema::PathTableOutcome::CannotOpen);
        QVERIFY(!QFile::exists(book.dir() + QStringLiteral("/missing.mdb")));
        QFile text(book.dir() + QStringLiteral("/text.mdb"));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write(QByteArray(4096, 'x'));
        text.close();
        QCOMPARE(Schema::makePathTable(text.fileName()), Schema::PathTableOutcome::CannotOpen);
    }

    void failedIndexLeavesTheTableWithoutIt()
    {
        MemoBook book(MemoBook::Tables::MemosOnly);
        // An index of that name elsewhere in the file: the table is made, its index is not.
        book.exec(QStringLiteral("CREATE INDEX PrimaryKey ON メモ帳 (ID)"));
        QCOMPARE(Schema::makePathTable(book.dbPath()), Schema::PathTableOutcome::LeftAsItWas);
        QCOMPARE(book.scalar(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name = 'パス'")).toInt(), 1);
        QCOMPARE(book.scalar(QStringLiteral("SELECT count(*) FROM pragma_index_list('パス')")).toInt(), 0);
    }
};

ORV_ENGINE_TEST_MAIN(TestSchema)
#include "tst_schema.moc"
