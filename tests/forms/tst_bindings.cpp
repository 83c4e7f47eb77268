#include "db/Catalogue.h"
#include "db/RecordSet.h"
#include "forms/Binding.h"
#include "forms/DataGrid.h"
#include "forms/RecordSetModel.h"
#include "support/MemoBook.h"
#include "support/TestMain.h"
#include "widgets/ComboBox.h"
#include "widgets/MemoBox.h"
#include "widgets/TextBox.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QLabel>
#include <QSignalSpy>

class TestBindings : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<MemoBook> book;
    std::unique_ptr<QWidget> window;
    RecordSet* memos = nullptr;

    void openMemos(const QString& source = Catalogue::AllMemosForEntry)
    {
        window = std::make_unique<QWidget>();
        memos = new RecordSet(QStringLiteral("Data1"), window.get());
        memos->setDatabaseName(book->dbPath());
        memos->setRecordSource(source);
        QVERIFY(memos->refresh());
    }

private Q_SLOTS:
    void init()
    {
        book = std::make_unique<MemoBook>();
        QVERIFY(book->isValid());
        book->addMemo({QStringLiteral("2026/01/01"), QString(), QStringLiteral("first"), QString(), QString(),
                       QString(), QStringLiteral("memo one")});
        book->addMemo({QStringLiteral("2026/01/02"), QString(), QStringLiteral("second")});
    }

    void cleanup()
    {
        window.reset();
        book.reset();
    }

    void controlsShowTheCurrentRecordAndEmptyWithoutOne()
    {
        openMemos();
        auto* label = new QLabel(window.get());
        auto* text = new TextBox(window.get());
        auto* memo = new MemoBox(window.get());
        auto* combo = new ComboBox(window.get());
        new Binding(memos, QStringLiteral("ID"), label);
        new Binding(memos, QStringLiteral("ｷｰﾜｰﾄﾞ"), text);
        new Binding(memos, QStringLiteral("メモ"), memo);
        new Binding(memos, QStringLiteral("日付"), combo);
        // Showing a record is a change of the text: handlers that follow it run.
        QSignalSpy changes(text, &TextBox::changed);
        QCOMPARE(label->text(), QStringLiteral("1"));
        QCOMPARE(text->text(), QStringLiteral("first"));
        QCOMPARE(memo->text(), QStringLiteral("memo one"));
        QCOMPARE(combo->text(), QStringLiteral("2026/01/01"));
        QVERIFY(memos->moveNext());
        QCOMPARE(changes.count(), 1);
        QCOMPARE(label->text(), QStringLiteral("2"));
        QCOMPARE(memo->text(), QString());
        QVERIFY(memos->moveNext());
        QVERIFY(memos->eof());
        QCOMPARE(label->text(), QString());
        QCOMPARE(text->text(), QString());
        QCOMPARE(combo->text(), QString());
    }

    void typedAndWrittenTextsArePendingEditsButShowingIsNot()
    {
        openMemos();
        auto* text = new TextBox(window.get());
        auto* memo = new MemoBox(window.get());
        auto* keyword = new Binding(memos, QStringLiteral("ｷｰﾜｰﾄﾞ"), text);
        auto* memoBinding = new Binding(memos, QStringLiteral("メモ"), memo);
        QVERIFY(!keyword->hasPendingEdit());
        QTest::keyClicks(text, QStringLiteral("!"));
        QVERIFY(keyword->hasPendingEdit());
        memo->setText(QStringLiteral("memo one"));
        QVERIFY2(memoBinding->hasPendingEdit(), "a write by code of the same text is an edit too");
        QVERIFY(memos->moveNext());
        QCOMPARE(book->scalar(QStringLiteral("SELECT ｷｰﾜｰﾄﾞ FROM メモ帳 WHERE ID = 1")).toString(),
                 QStringLiteral("first!"));
        QVERIFY(!keyword->hasPendingEdit());
        QCOMPARE(text->text(), QStringLiteral("second"));
    }

    void releasedControlKeepsItsTextAndRebindingShowsTheCurrentRecord()
    {
        openMemos();
        auto* text = new TextBox(window.get());
        auto* binding = new Binding(memos, QStringLiteral("ｷｰﾜｰﾄﾞ"), text);
        binding->setBound(false);
        QVERIFY(memos->moveNext());
        QCOMPARE(text->text(), QStringLiteral("first"));
        text->setText(QStringLiteral("typed while released"));
        QVERIFY(memos->movePrevious());
        QCOMPARE(book->scalar(QStringLiteral("SELECT ｷｰﾜｰﾄﾞ FROM メモ帳 WHERE ID = 2")).toString(),
                 QStringLiteral("second"));
        QVERIFY(memos->moveNext());
        binding->setBound(true);
        QCOMPARE(text->text(), QStringLiteral("second"));
    }

    void comboListIsSortedDistinctAndKeepsTheText()
    {
        book->addMemo({QString(), QString(), QStringLiteral("Beta")});
        book->addMemo({QString(), QString(), QStringLiteral("alpha")});
        book->addMemo({QString(), QString(), QStringLiteral("印刷")});
        openMemos();
        auto* list = new RecordSet(QStringLiteral("Data2"), window.get());
        list->setDatabaseName(book->dbPath());
        list->setRecordSource(Catalogue::KeywordList);
        auto* combo = new ComboBox(window.get());
        auto* binding = new Binding(memos, QStringLiteral("ｷｰﾜｰﾄﾞ"), combo);
        new ListBinding(list, QStringLiteral("ｷｰﾜｰﾄﾞ"), combo);
        combo->setText(QStringLiteral("typed"));
        QVERIFY(list->refresh());
        QCOMPARE(combo->listItems(), (QStringList{"alpha", "Beta", "first", "second", "印刷"}));
        QCOMPARE(combo->text(), QStringLiteral("typed"));
        QVERIFY2(binding->hasPendingEdit(), "reloading the list neither drops nor makes an edit");
        combo->setCurrentIndex(0);
        QCOMPARE(combo->text(), QStringLiteral("alpha"));
        QVERIFY(memos->moveNext());
        QCOMPARE(book->scalar(QStringLiteral("SELECT ｷｰﾜｰﾄﾞ FROM メモ帳 WHERE ID = 1")).toString(),
                 QStringLiteral("alpha"));
    }

    void gridModelIsConsistentAndFollowsTheRecordSet()
    {
        openMemos();
        RecordSetModel model(memos, {QStringLiteral("ID"), QStringLiteral("ｷｰﾜｰﾄﾞ")}, true);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("ｷｰﾜｰﾄﾞ"));
        QCOMPARE(model.data(model.index(1, 1)).toString(), QStringLiteral("second"));
        QVERIFY(!(model.flags(model.index(0, 0)) & Qt::ItemIsEditable));
        QVERIFY(model.flags(model.index(0, 1)) & Qt::ItemIsEditable);
        QVERIFY(memos->addNew());
        QCOMPARE(model.rowCount(), 3);
        QVERIFY(model.setData(model.index(1, 1), QStringLiteral("edited in the grid")));
        QCOMPARE(memos->currentRow(), 1);
        QCOMPARE(model.data(model.index(1, 1)).toString(), QStringLiteral("edited in the grid"));
        QVERIFY(memos->moveFirst());
        QCOMPARE(book->scalar(QStringLiteral("SELECT ｷｰﾜｰﾄﾞ FROM メモ帳 WHERE ID = 2")).toString(),
                 QStringLiteral("edited in the grid"));
        QVERIFY(memos->deleteCurrent());
        QCOMPARE(model.rowCount(), 2);
        memos->setRecordSource(Catalogue::searchStatement(QStringLiteral("ID = 2")));
        QVERIFY(memos->refresh());
        QCOMPARE(model.rowCount(), 1);
    }

    void choosingAGridRowMakesItCurrent()
    {
        openMemos();
        DataGrid grid(window.get());
        grid.setRecordSet(memos, {QStringLiteral("ID"), QStringLiteral("ｷｰﾜｰﾄﾞ")}, false);
        window->show();
        QCOMPARE(grid.currentIndex().row(), 0);
        grid.setCurrentIndex(grid.model()->index(1, 1));
        QCOMPARE(memos->currentRow(), 1);
        QVERIFY(memos->moveFirst());
        QCOMPARE(grid.currentIndex().row(), 0);
        QVERIFY(!(grid.model()->flags(grid.model()->index(0, 1)) & Qt::ItemIsEditable));
    }
};

ORV_TEST_MAIN(TestBindings)
#include "tst_bindings.moc"
