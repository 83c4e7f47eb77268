#include "help_display/ResultPrint.h"

#include "platform/Appearance.h"

#include <QAbstractTextDocumentLayout>
#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>

namespace {

// Relative widths of the grid's six columns on paper: ID, date, keyword, two keys, file.
const double ListWidths[] = {0.07, 0.12, 0.22, 0.15, 0.15, 0.29};

} // namespace

void ResultPrint::paintMemo(QPagedPaintDevice* device, const Memo& memo)
{
    QTextDocument document;
    document.setDefaultFont(Appearance::mincho(10.5));
    QTextCursor cursor(&document);
    QTextBlockFormat block;
    QTextCharFormat heading;
    heading.setFont(Appearance::gothic(14));
    heading.setFontWeight(QFont::Bold);
    cursor.setBlockFormat(block);
    cursor.insertText(memo.keyword, heading);
    QTextCharFormat plain;
    plain.setFont(Appearance::gothic(10));
    cursor.insertBlock();
    cursor.insertText(memo.date, plain);
    block.setTopMargin(12);
    cursor.insertBlock(block);
    QTextCharFormat body;
    body.setFont(Appearance::mincho(10.5));
    // Memos keep CR LF line ends; each line is a line on paper.
    QString text = memo.text;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    const QStringList lines = text.split(QLatin1Char('\n'));
    block.setTopMargin(0);
    for (int i = 0; i < lines.size(); ++i) {
        if (i > 0)
            cursor.insertBlock(block);
        cursor.insertText(lines[i], body);
    }
    document.print(device);
}

void ResultPrint::paintList(QPagedPaintDevice* device, const QString& title, const QStringList& headings,
                            const QList<QStringList>& rows)
{
    QPainter painter;
    if (!painter.begin(device))
        return;
    const QRectF page = painter.viewport();
    const QFont font = Appearance::gothic(8.5);
    QFont bold = font;
    bold.setBold(true);
    const QFontMetricsF metrics(font, device);
    const double lineHeight = metrics.height() * 1.35;
    const double headerTop = lineHeight * 1.6;
    const double footer = lineHeight * 1.5;
    const int perPage = qMax(1, int((page.height() - headerTop - lineHeight - footer) / lineHeight));
    const int pages = qMax(1, int((rows.size() + perPage - 1) / perPage));

    QList<QRectF> columns;
    double x = 0;
    for (int c = 0; c < headings.size(); ++c) {
        const double share = c < int(std::size(ListWidths)) ? ListWidths[c] : 0.1;
        columns.append(QRectF(x, 0, page.width() * share, lineHeight));
        x += page.width() * share;
    }
    auto drawRow = [&](double top, const QStringList& cells, const QFont& f) {
        painter.setFont(f);
        const QFontMetricsF m(f, device);
        for (int c = 0; c < columns.size(); ++c) {
            const QRectF cell = columns[c].translated(0, top).adjusted(0, 0, -lineHeight * 0.5, 0);
            const QString shown = m.elidedText(cells.value(c).simplified(), Qt::ElideRight, cell.width());
            painter.drawText(cell, Qt::AlignLeft | Qt::AlignVCenter, shown);
        }
    };

    for (int p = 0; p < pages; ++p) {
        if (p > 0)
            device->newPage();
        painter.setFont(bold);
        painter.drawText(QRectF(0, 0, page.width(), lineHeight), Qt::AlignLeft | Qt::AlignVCenter, title);
        drawRow(headerTop, headings, bold);
        painter.drawLine(QPointF(0, headerTop + lineHeight), QPointF(page.width(), headerTop + lineHeight));
        const int first = p * perPage;
        const int last = qMin(int(rows.size()), first + perPage);
        for (int r = first; r < last; ++r)
            drawRow(headerTop + lineHeight * (1 + r - first), rows[r], font);
        painter.setFont(font);
        painter.drawText(QRectF(0, page.height() - lineHeight, page.width(), lineHeight), Qt::AlignCenter,
                         QStringLiteral("%1 / %2").arg(p + 1).arg(pages));
    }
    painter.end();
}
