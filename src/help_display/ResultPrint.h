#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class QPagedPaintDevice;

// The pages that the display window prints: one memo as a result page shows it, or the list
// of the memos found with the grid's columns.
namespace ResultPrint {

struct Memo
{
    QString date; // in the long form, as the page shows it
    QString keyword;
    QString text;
};

// The memo's keyword as a heading, its date, then its text, over as many pages as it needs.
void paintMemo(QPagedPaintDevice* device, const Memo& memo);

// A table with the given column headings, repeated on every page, and a page number at the
// foot of each page. Texts too wide for their column are cut short with an ellipsis.
void paintList(QPagedPaintDevice* device, const QString& title, const QStringList& headings,
               const QList<QStringList>& rows);

} // namespace ResultPrint
