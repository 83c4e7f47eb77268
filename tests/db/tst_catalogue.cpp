#include "db/Catalogue.h"
#include "db/RecordSet.h"
#include "support/EngineTestMain.h"
#include "support/MemoBook.h"

class TestCatalogue : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<MemoBook> book;

private Q_SLOTS:
    void initTestCase()
    {
        book = std::make_unique<MemoBook>();
        QVERIFY(book->isValid());
        book->addMemo({"2026/12/06", "/doc/a.html", "印刷", "用紙", "A4", "WORD", "メモ1"});
        book->addMemo({"2026/12/07", "/doc/b.pdf", "印刷", "用紙", "B5", "EXCEL", "メモ2"});
        book->addMemo({"2026/12/08", "", "don't", "", " ", "O'Reilly", ""});
        book->addApplication("WORD", "/usr/bin/lowriter");
        book->addApplication("O'Reilly", "/usr/bin/okular");
        book->addApplication("HLP", "");
    }

    void cleanupTestCase() { book.reset(); }

    void everyTextRunsAsItStands_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("rows");
        using namespace Catalogue;
        QTest::newRow("keywords") << KeywordList << 2;
        QTest::newRow("search keys 1") << SearchKey1List << 2;
        QTest::newRow("search keys 2") << SearchKey2List << 3;
        QTest::newRow("memo application IDs") << MemoAppIdList << 3;
        QTest::newRow("applications") << AllApplications << 3;
        QTest::newRow("program paths") << AppPathList << 3;
        QTest::newRow("application IDs") << AppIdList << 3;
        QTest::newRow("application lookup") << applicationLookup("WORD") << 1;
        QTest::newRow("lookup, any letter case") << applicationLookup("word") << 1;
        QTest::newRow("lookup with an apostrophe") << applicationLookup("O'Reilly") << 1;
        QTest::newRow("memo by ID") << memoById(2) << 1;
        QTest::newRow("memo by missing ID") << memoById(99) << 0;
        QTest::newRow("memos for entry") << AllMemosForEntry << 3;
        QTest::newRow("search") << orderedSearch(searchStatement(searchCondition("印刷", "用紙", "B5"))) << 1;
        QTest::newRow("search with an apostrophe")
            << orderedSearch(searchStatement(searchCondition("don't", "", ""))) << 1;
        QTest::newRow("search for a blank") << orderedSearch(searchStatement(searchCondition("", "", " "))) << 1;
        QTest::newRow("all memos") << AllMemos << 3;
        QTest::newRow("sort all") << sortStatement("", "検索キー２") << 3;
        QTest::newRow("sort a search") << sortStatement(searchStatement(searchCondition("印刷", "", "")), "日付") << 2;
        QTest::newRow("bare table name") << MemoTableName << 3;
    }

    void everyTextRunsAsItStands()
    {
        QFETCH(QString, text);
        RecordSet rs(QStringLiteral("Data1"));
        rs.setDatabaseName(book->dbPath());
        rs.setRecordSource(text);
        const Result run = rs.refresh();
        QVERIFY2(run, qPrintable(run.message));
        QTEST(rs.recordCount(), "rows");
    }

    // The display window's search tests each field alone and the keyword with key 2; here the
    // order of all three, and blanks and apostrophes kept in each.
    void conditionOrder_data()
    {
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QString>("key1");
        QTest::addColumn<QString>("key2");
        QTest::addColumn<QString>("condition");
        auto row = [](const char* tag, const char* keyword, const char* key1, const char* key2, const char* condition) {
            QTest::newRow(tag) << keyword << key1 << key2 << condition;
        };
        row("none", "", "", "", "");
        row("all three in order", "k", "1", "2", "ｷｰﾜｰﾄﾞ = 'k' AND 検索キー１ = '1' AND 検索キー２ = '2'");
        row("blanks kept", " ", " a ", "", "ｷｰﾜｰﾄﾞ = ' ' AND 検索キー１ = ' a '");
        row("apostrophes doubled", "it's", "", "''", "ｷｰﾜｰﾄﾞ = 'it''s' AND 検索キー２ = ''''''");
    }

    void conditionOrder()
    {
        QFETCH(QString, keyword);
        QFETCH(QString, key1);
        QFETCH(QString, key2);
        QTEST(Catalogue::searchCondition(keyword, key1, key2), "condition");
    }
};

ORV_ENGINE_TEST_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
