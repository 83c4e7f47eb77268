#pragma once

#include "db/DataGrid.h"
#include "db/RecordSet.h"
#include "db/RecordSetModel.h"
#include "help_display/H_PRN.h"
#include "platform/ComboBox.h"
#include "platform/MemoBox.h"
#include "platform/TextBox.h"
#include "startup/ORVAM.h"
#include "support/Fakes.h"
#include "support/MemoBook.h"
#include "support/Widgets.h"

#include <QAbstractButton>
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

// The display window of a test, opened as the main window's button opens it, with its
// controls at hand.
struct HPrnWindow
{
    H_PRN* form = nullptr;

    static HPrnWindow open()
    {
        HPrnWindow w;
        w.form = H_PRN::instance();
        w.form->setNormalState();
        w.form->showForm();
        if (!QTest::qWaitForWindowActive(w.form, 2000))
            qWarning("the display window did not become active");
        return w;
    }

    template <class T = QWidget> T* get(const QString& name) const { return findRequired<T>(form, name); }
    ComboBox* combo(const char* name) const { return get<ComboBox>(QLatin1String(name)); }
    TextBox* text(const QString& name) const { return get<TextBox>(name); }
    MemoBox* memo(int number) const { return get<MemoBox>(QStringLiteral("Text1(%1)").arg(number)); }
    QCheckBox* keepBox(int page) const { return get<QCheckBox>(QStringLiteral("Check1(%1)").arg(page)); }
    RecordSet* data(const char* name) const { return get<RecordSet>(QLatin1String(name)); }
    DataGrid* grid() const { return get<DataGrid>(QStringLiteral("DBGrid1")); }
    void click(const char* name) const { get<QAbstractButton>(QLatin1String(name))->click(); }
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
