#include "tst_h_prn_fixture.h"

#include "support/TestMain.h"

using Ids = QList<qint64>;

// Finding, sorting and showing memos in the display window.
class TestHPrn : public HPrnTestFixture
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QVERIFY(setUpWithKnownMemos()); }

    void cleanup() { tearDownWithoutMessages(); }

    void opensOnAllMemosWithEmptySearchFields()
    {
        const HPrnWindow w = HPrnWindow::open();
        QCOMPARE(w.statement(), QStringLiteral("メモ帳"));
        QCOMPARE(w.gridIds(), (Ids{1, 2, 3, 4, 5, 6}));
        QCOMPARE(w.currentId(), 1);
        QCOMPARE(w.form->searchSql(), QString());
        // The lists are read, but the fields start empty.
        for (const char* name : {"DBCombo1", "DBCombo4", "DBCombo2"})
            QCOMPARE(w.combo(name)->text(), QString());
        QVERIFY(w.combo("DBCombo1")->listItems().contains(QStringLiteral("差し込み印刷")));
        QVERIFY(w.combo("DBCombo4")->listItems().contains(QStringLiteral("設定")));
        QVERIFY(w.combo("DBCombo2")->listItems().contains(QStringLiteral("Word")));
        // Every page shows the first memo, its date in the long form.
        for (int page = 0; page < 6; ++page) {
            QCOMPARE(w.memo(page + 1)->text(), QStringLiteral("余白を変える"));
            QCOMPARE(w.text(QStringLiteral("Text3(%1)").arg(page))->text(), QStringLiteral("印刷"));
            QCOMPARE(w.text(QStringLiteral("Text4(%1)").arg(page))->text(), QStringLiteral("2026年1月5日"));
        }
        QCOMPARE(w.text(QStringLiteral("Text5"))->text(), QStringLiteral("印刷"));
        QCOMPARE(w.text(QStringLiteral("Text6"))->text(), QStringLiteral("/doc/印刷.hlp"));
        QCOMPARE(w.text(QStringLiteral("Text7"))->text(), QStringLiteral("HLP"));
    }

    void search_data()
    {
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QString>("key1");
        QTest::addColumn<QString>("key2");
        QTest::addColumn<QString>("statement");
        QTest::addColumn<Ids>("found");

        QTest::newRow("key 2 only: no leading AND")
            << ""
            << ""
            << "B"
            << "SELECT * FROM メモ帳 WHERE 検索キー２ = 'B' Order By ID" << Ids{2, 3, 6};
        QTest::newRow("keyword and key 2")
            << "A"
            << ""
            << "B"
            << "SELECT * FROM メモ帳 WHERE ｷｰﾜｰﾄﾞ = 'A' AND 検索キー２ = 'B' Order By ID" << Ids{3};
        QTest::newRow("all three") << "印刷"
                                   << "設定"
                                   << "Word"
                                   << "SELECT * FROM メモ帳 WHERE ｷｰﾜｰﾄﾞ = '印刷' AND 検索キー１ = '設定' AND "
                                      "検索キー２ = 'Word' Order By ID"
                                   << Ids{1};
        QTest::newRow("key 1 a single blank") << ""
                                              << " "
                                              << ""
                                              << "SELECT * FROM メモ帳 WHERE 検索キー１ = ' ' Order By ID" << Ids{4, 6};
        QTest::newRow("trailing blank kept") << "印刷 "
                                             << ""
                                             << ""
                                             << "SELECT * FROM メモ帳 WHERE ｷｰﾜｰﾄﾞ = '印刷 ' Order By ID" << Ids{};
        QTest::newRow("apostrophe found") << "don't"
                                          << ""
                                          << ""
                                          << "SELECT * FROM メモ帳 WHERE ｷｰﾜｰﾄﾞ = 'don''t' Order By ID" << Ids{4};
        QTest::newRow("letter case ignored")
            << ""
            << ""
            << "word"
            << "SELECT * FROM メモ帳 WHERE 検索キー２ = 'word' Order By ID" << Ids{1, 4};
        QTest::newRow("whole field only") << "印"
                                          << ""
                                          << ""
                                          << "SELECT * FROM メモ帳 WHERE ｷｰﾜｰﾄﾞ = '印' Order By ID" << Ids{};
    }

    void search()
    {
        QFETCH(QString, keyword);
        QFETCH(QString, key1);
        QFETCH(QString, key2);
        QFETCH(QString, statement);
        QFETCH(Ids, found);

        const HPrnWindow w = HPrnWindow::open();
        w.search(keyword, key1, key2);
        QCOMPARE(w.statement(), statement);
        QCOMPARE(w.form->searchSql(), statement.chopped(int(QStringLiteral(" Order By ID").size())));
        QCOMPARE(w.gridIds(), found);
        if (found.isEmpty()) {
            // Nothing found: no current memo, and the pages show nothing.
            QVERIFY(!w.data("Data1")->hasCurrent());
            for (int page = 0; page < 6; ++page) {
                QCOMPARE(w.memo(page + 1)->text(), QString());
                QCOMPARE(w.text(QStringLiteral("Text3(%1)").arg(page))->text(), QString());
                QCOMPARE(w.text(QStringLiteral("Text4(%1)").arg(page))->text(), QString());
            }
            QCOMPARE(w.text(QStringLiteral("Text5"))->text(), QString());
        } else {
            QCOMPARE(w.currentId(), found.first());
            QCOMPARE(w.grid()->currentIndex().row(), 0);
        }
    }

    void searchWithEmptyFieldsDoesNothing()
    {
        const HPrnWindow w = HPrnWindow::open();
        w.search(QString(), QString(), QStringLiteral("B"));
        w.selectRow(1);
        QCOMPARE(w.currentId(), 3);
        const QString before = w.statement();

        w.search(QString(), QString(), QString());
        QCOMPARE(w.statement(), before);
        QCOMPARE(w.form->searchSql(), QStringLiteral("SELECT * FROM メモ帳 WHERE 検索キー２ = 'B'"));
        QCOMPARE(w.gridIds(), (Ids{2, 3, 6}));
        QCOMPARE(w.currentId(), 3);
    }

    void showAllClearsTheSearch()
    {
        const HPrnWindow w = HPrnWindow::open();
        w.search(QStringLiteral("印刷"), QString(), QString());
        QCOMPARE(w.gridIds(), (Ids{1, 5}));

        w.click("Command5");
        QCOMPARE(w.statement(), QStringLiteral("SELECT * FROM メモ帳 WHERE ID > 0"));
        QCOMPARE(w.form->searchSql(), QString());
        QCOMPARE(w.gridIds(), (Ids{1, 2, 3, 4, 5, 6}));
        QCOMPARE(w.currentId(), 1);
        // The fields keep what the user typed.
        QCOMPARE(w.combo("DBCombo1")->text(), QStringLiteral("印刷"));
    }

    void sort_data()
    {
        QTest::addColumn<QString>("before"); // "load", "show all" or "search"
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QString>("key2");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("statement");
        // The sorted field, top to bottom (rows with equal values may come in any order).
        QTest::addColumn<QStringList>("order");

        QTest::newRow("keyword after load") << "load"
                                            << ""
                                            << ""
                                            << "ｷｰﾜｰﾄﾞ"
                                            << "Select * From メモ帳 Order By ｷｰﾜｰﾄﾞ"
                                            << QStringList{"A", "don't", "印刷", "印刷", "差し込み印刷", "罫線"};
        QTest::newRow("date after load") << "load"
                                         << ""
                                         << ""
                                         << "日付"
                                         << "Select * From メモ帳 Order By 日付"
                                         << QStringList{"",           "2024/12/24", "2025/03/10",
                                                        "2026/01/05", "2026/02/01", "未定"};
        QTest::newRow("key 1 after show all")
            << "show all"
            << ""
            << ""
            << "検索キー１"
            << "Select * From メモ帳 Order By 検索キー１" << QStringList{"", " ", " ", "操作", "操作", "設定"};
        QTest::newRow("file after show all")
            << "show all"
            << ""
            << ""
            << "ヘルプファイル"
            << "Select * From メモ帳 Order By ヘルプファイル"
            << QStringList{"", "", "", "/doc/x.doc", "/doc/印刷.hlp", "/doc/表 一覧.xls"};
        QTest::newRow("ID after show all")
            << "show all"
            << ""
            << ""
            << "ID"
            << "Select * From メモ帳 Order By ID" << QStringList{"1", "2", "3", "4", "5", "6"};
        QTest::newRow("keyword after search") << "search"
                                              << ""
                                              << "B"
                                              << "ｷｰﾜｰﾄﾞ"
                                              << "SELECT * FROM メモ帳 WHERE 検索キー２ = 'B' Order By ｷｰﾜｰﾄﾞ"
                                              << QStringList{"A", "差し込み印刷", "罫線"};
        QTest::newRow("date after search") << "search"
                                           << ""
                                           << "B"
                                           << "日付"
                                           << "SELECT * FROM メモ帳 WHERE 検索キー２ = 'B' Order By 日付"
                                           << QStringList{"2024/12/24", "2025/03/10", "未定"};
        QTest::newRow("ID after apostrophe search")
            << "search"
            << "don't"
            << ""
            << "ID"
            << "SELECT * FROM メモ帳 WHERE ｷｰﾜｰﾄﾞ = 'don''t' Order By ID" << QStringList{"4"};
        QTest::newRow("key 2 after search")
            << "search"
            << "印刷"
            << ""
            << "検索キー２"
            << "SELECT * FROM メモ帳 WHERE ｷｰﾜｰﾄﾞ = '印刷' Order By 検索キー２" << QStringList{"", "Word"};
    }

    void sort()
    {
        QFETCH(QString, before);
        QFETCH(QString, keyword);
        QFETCH(QString, key2);
        QFETCH(QString, field);
        QFETCH(QString, statement);
        QFETCH(QStringList, order);

        const HPrnWindow w = HPrnWindow::open();
        if (before == QLatin1String("show all"))
            w.click("Command5");
        else if (before == QLatin1String("search"))
            w.search(keyword, QString(), key2);
        const QString searchSql = w.form->searchSql();
        w.selectRow(int(w.gridIds().size()) - 1);

        auto column = [&w, &field] {
            QStringList values;
            for (int row = 0; row < w.gridIds().size(); ++row)
                values.append(w.cell(row, field));
            return values;
        };
        w.clickHeader(field);
        QCOMPARE(w.statement(), statement);
        QCOMPARE(column(), order);
        QCOMPARE(w.currentId(), w.gridIds().first());
        QCOMPARE(w.grid()->currentIndex().row(), 0);
        QCOMPARE(w.form->searchSql(), searchSql);

        // Always ascending: a second click sorts the same way again.
        w.clickHeader(field);
        QCOMPARE(w.statement(), statement);
        QCOMPARE(column(), order);
    }

    void keepHoldsAPageWhileMoving()
    {
        const HPrnWindow w = HPrnWindow::open();
        w.get<QTabWidget>(QStringLiteral("SSTab1"))->setCurrentIndex(2);
        w.keepBox(2)->click();
        QVERIFY(w.keepBox(2)->isChecked());

        w.selectRow(1);
        QCOMPARE(w.currentId(), 2);
        // Page "2" keeps memo 1; the others follow memo 2.
        QCOMPARE(w.memo(3)->text(), QStringLiteral("余白を変える"));
        QCOMPARE(w.text(QStringLiteral("Text3(2)"))->text(), QStringLiteral("印刷"));
        QCOMPARE(w.text(QStringLiteral("Text4(2)"))->text(), QStringLiteral("2026年1月5日"));
        for (int page : {0, 1, 3, 4, 5}) {
            QCOMPARE(w.memo(page + 1)->text(), QStringLiteral("罫線は書式から"));
            QCOMPARE(w.text(QStringLiteral("Text3(%1)").arg(page))->text(), QStringLiteral("罫線"));
            QCOMPARE(w.text(QStringLiteral("Text4(%1)").arg(page))->text(), QStringLiteral("2025年3月10日"));
        }

        // A search that finds nothing, and a re-run on coming back, leave the kept memo too.
        w.search(QStringLiteral("ない"), QString(), QString());
        QVERIFY(comeBack(w.form));
        QCOMPARE(w.memo(3)->text(), QStringLiteral("余白を変える"));
        QCOMPARE(w.memo(1)->text(), QString());

        // Cleared, the page shows the current memo again at once.
        w.search(QString(), QString(), QStringLiteral("B"));
        w.keepBox(2)->click();
        QVERIFY(!w.keepBox(2)->isChecked());
        QCOMPARE(w.memo(3)->text(), QStringLiteral("罫線は書式から"));
        QCOMPARE(w.text(QStringLiteral("Text3(2)"))->text(), QStringLiteral("罫線"));
        QCOMPARE(w.text(QStringLiteral("Text4(2)"))->text(), QStringLiteral("2025年3月10日"));
        w.selectRow(1);
        QCOMPARE(w.memo(3)->text(), QStringLiteral("A and B"));
    }

    void dateInLongForm_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("longDate");
        QTest::newRow("a date") << 3 << "2026年2月1日";
        QTest::newRow("no date") << 4 << "";
        QTest::newRow("not a date") << 5 << "未定";
    }

    void dateInLongForm()
    {
        QFETCH(int, row);
        QFETCH(QString, longDate);
        const HPrnWindow w = HPrnWindow::open();
        w.selectRow(row);
        for (int page = 0; page < 6; ++page)
            QCOMPARE(w.text(QStringLiteral("Text4(%1)").arg(page))->text(), longDate);
    }

    void comingBackShowsWhatWasStoredElsewhere()
    {
        const HPrnWindow w = HPrnWindow::open();
        w.search(QString(), QString(), QStringLiteral("B"));
        w.combo("DBCombo1")->setText(QStringLiteral("打ちかけ"));
        w.selectRow(2);

        book->exec(QStringLiteral("UPDATE メモ帳 SET ｷｰﾜｰﾄﾞ = '新しい', メモ = '直した' WHERE ID = 2"));
        book->addMemo({"2026/12/06", "", "追加分", "", "B", "", "後から"});
        book->exec(QStringLiteral("INSERT INTO パス (アプリＩＤ, パス) VALUES ('NEW', '/usr/bin/new')"));
        QVERIFY(comeBack(w.form));

        // The same search runs again; its first row is current again.
        QCOMPARE(w.statement(), QStringLiteral("SELECT * FROM メモ帳 WHERE 検索キー２ = 'B' Order By ID"));
        QCOMPARE(w.gridIds(), (Ids{2, 3, 6, 7}));
        QCOMPARE(w.cell(0, QStringLiteral("ｷｰﾜｰﾄﾞ")), QStringLiteral("新しい"));
        QCOMPARE(w.currentId(), 2);
        QCOMPARE(w.memo(1)->text(), QStringLiteral("直した"));
        // The lists offer the new values, and the fields keep what the user typed.
        QVERIFY(w.combo("DBCombo1")->listItems().contains(QStringLiteral("新しい")));
        QVERIFY(w.combo("DBCombo1")->listItems().contains(QStringLiteral("追加分")));
        QCOMPARE(w.combo("DBCombo1")->text(), QStringLiteral("打ちかけ"));
        QCOMPARE(w.combo("DBCombo4")->text(), QString());
        QCOMPARE(w.combo("DBCombo2")->text(), QStringLiteral("B"));
        QCOMPARE(w.data("Data5")->recordCount(), 1);
    }

    void comingBackAfterASortKeepsTheSort()
    {
        const HPrnWindow w = HPrnWindow::open();
        w.clickHeader(QStringLiteral("日付"));
        book->exec(QStringLiteral("UPDATE メモ帳 SET 日付 = '1999/01/01' WHERE ID = 6"));
        QVERIFY(comeBack(w.form));
        QCOMPARE(w.statement(), QStringLiteral("Select * From メモ帳 Order By 日付"));
        QCOMPARE(w.gridIds(), (Ids{5, 6, 3, 2, 1, 4}));
        QCOMPARE(w.text(QStringLiteral("Text4(0)"))->text(), QString());
    }
};

ORV_TEST_MAIN(TestHPrn)
#include "tst_h_prn.moc"
