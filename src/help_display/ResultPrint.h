#pragma once

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

class QPagedPaintDevice;
class QTextDocument;

// The pages that the display window prints: one memo with every field, or the list of the
// memos found with the grid's columns and the search that found them.
namespace ResultPrint {

struct Memo
{
    QString id;
    QString date; // in the long form, as the pages show it
    QString keyword;
    QString key1;
    QString key2;
    QString appId;
    QString file;
    QString text;
};

// The memo's keyword as a heading, then each field with its caption as the windows name it,
// then its text in the memo box's font at a size that reads well on paper.
std::unique_ptr<QTextDocument> memoDocument(const Memo& memo);
// The memo document over as many pages as it needs.
void paintMemo(QPagedPaintDevice* device, const Memo& memo);

// The line under the list's title: the search that found the memos, and the day it was printed.
QString listSubtitle(const QString& search, const QDate& printedOn);

// A table with the given column headings, repeated on every page, and a page number at the
// foot of each page, under the title and subtitle of the first page. Texts too wide for their
// column are cut short with an ellipsis.
void paintList(QPagedPaintDevice* device, const QString& title, const QString& subtitle, const QStringList& headings,
               const QList<QStringList>& rows);

} // namespace ResultPrint
