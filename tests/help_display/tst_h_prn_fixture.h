#pragma once

#include "db/DataGrid.h"
#include "db/RecordSet.h"
#include "db/RecordSetModel.h"
#include "help_display/H_PRN.h"
#include "platform/ComboBox.h"
#include "platform/MemoBox.h"
#include "platform/TextBox.h"
#include "startup/ORVAM.h"
#include "support/WindowTestFixture.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QTest>

// The memos every display window test starts with; IDs 1 to 6 in this order.
inline QList<MemoBook::Memo> knownMemos()
{
    return {
        {"2026/01/05", "/doc/印刷.hlp", "印刷", "設定", "Word", "HLP", "余白を変える"},
        {"2025/03/10", "/doc/表 一覧.xls", "罫線", "操作", "B", "EXCEL", "罫線は書式から"},
        {"2024/12/24", "", "A", "", "B", "", "A and B"},
        {"2026/02/01", "/doc/x.doc", "don't", " ", "Word", "WORD", "apostrophe"},
        {"", "", "印刷", "操作", "", "HLP", "no date"},
        {"未定", "", "差し込み印刷", " ", "B", "NONE", "差し込み"},
    };
}

// The base of the display window's tests.
class HPrnTestFixture : public WindowTestFixture
{
protected:
    // A fresh memo book with the known memos.
    bool setUpWithKnownMemos()
    {
        if (!setUp())
            return false;
        for (const MemoBook::Memo& memo : knownMemos())
            book->addMemo(memo);
        return true;
    }

    void tearDownWithoutMessages()
    {
        closeAllForms();
        // No message box, ever: the window has none of its own.
        QVERIFY(fakes->messageBox.asked.isEmpty());
        tearDown();
    }
};

// The display window of a test, opened as the main window's button opens it, with its
// controls at hand.
struct HPrnWindow : OpenedForm<H_PRN, HPrnWindow>
{
    ComboBox* combo(const char* name) const { return get<ComboBox>(QLatin1String(name)); }
    TextBox* text(const QString& name) const { return get<TextBox>(name); }
    MemoBox* memo(int number) const { return get<MemoBox>(QStringLiteral("Text1(%1)").arg(number)); }
    QCheckBox* keepBox(int page) const { return get<QCheckBox>(QStringLiteral("Check1(%1)").arg(page)); }
    RecordSet* data(const char* name) const { return get<RecordSet>(QLatin1String(name)); }
    DataGrid* grid() const { return get<DataGrid>(QStringLiteral("DBGrid1")); }
    QString statement() const { return data("Data1")->recordSource(); }

    void search(const QString& keyword, const QString& key1, const QString& key2) const
    {
        combo("DBCombo1")->setText(keyword);
        combo("DBCombo4")->setText(key1);
        combo("DBCombo2")->setText(key2);
        click("Command1");
    }

    // The IDs of the grid's rows, top to bottom, as the grid shows them.
    QList<qint64> gridIds() const
    {
        QList<qint64> ids;
        const QAbstractItemModel* model = grid()->model();
        for (int row = 0; row < model->rowCount(); ++row)
            ids.append(model->index(row, 0).data().toLongLong());
        return ids;
    }
    QString cell(int row, const QString& field) const
    {
        const QStringList fields = fieldsOfGrid();
        return grid()->model()->index(row, int(fields.indexOf(field))).data().toString();
    }
    QStringList fieldsOfGrid() const
    {
        QStringList fields;
        const QAbstractItemModel* model = grid()->model();
        for (int column = 0; column < model->columnCount(); ++column)
            fields.append(model->headerData(column, Qt::Horizontal).toString());
        return fields;
    }
    // Chooses a row as a click into it would.
    void selectRow(int row) const { grid()->setCurrentIndex(grid()->model()->index(row, 1)); }
    // Clicks the header of the column that shows a field.
    void clickHeader(const QString& field) const
    {
        QHeaderView* header = grid()->horizontalHeader();
        const int section = int(fieldsOfGrid().indexOf(field));
        const QPoint at(header->sectionViewportPosition(section) + header->sectionSize(section) / 2,
                        header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    }
    qint64 currentId() const { return data("Data1")->field(0).toLongLong(); }
};

// Another window of the program takes the focus, then the display window gets it back.
inline bool comeBack(H_PRN* form)
{
    return activate(ORVAM::instance()) && activate(form);
}
