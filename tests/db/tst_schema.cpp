#include "db/Schema.h"
#include "support/MemoBook.h"
#include "support/TestMain.h"

#include <QFile>
#include <QTemporaryDir>

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

ORV_TEST_MAIN(TestSchema)
#include "tst_schema.moc"
