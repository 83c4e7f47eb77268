#include "help_display/ResultPrint.h"

#include "platform/DateForms.h"
#include "widgets/Appearance.h"

#include <QAbstractTextDocumentLayout>
#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

#include <iterator>
#include <utility>

namespace {

// Relative widths of the grid's six columns on paper: ID, date, keyword, two keys, file.
const double ListWidths[] = {0.07, 0.12, 0.22, 0.15, 0.15, 0.29};

} // namespace

std::unique_ptr<QTextDocument> ResultPrint::memoDocument(const Memo& memo)
{
    auto document = std::make_unique<QTextDocument>();
    // The memo box's own font, large enough to read on paper.
    const QFont body = Appearance::gothic(10.5);
    document->setDefaultFont(body);
    QTextCursor cursor(document.get());
    QTextCharFormat heading;
    heading.setFont(Appearance::gothic(14));
    heading.setFontWeight(QFont::Bold);
    cursor.insertText(memo.keyword.isEmpty() ? QStringLiteral("メモ") : memo.keyword, heading);

    // Each field with its caption, as the windows name them.
    QTextCharFormat caption;
    caption.setFont(Appearance::gothic(9));
    caption.setFontWeight(QFont::Bold);
    QTextCharFormat value;
    value.setFont(Appearance::gothic(10));
    const std::pair<const char*, const QString*> fields[] = {{"ID", &memo.id},
                                                             {"日付", &memo.date},
                                                             {"ｷｰﾜｰﾄﾞ", &memo.keyword},
                                                             {"検索キー１", &memo.key1},
                                                             {"検索キー２", &memo.key2},
                                                             {"アプリＩＤ", &memo.appId},
                                                             {"ヘルプファイル", &memo.file}};
    QTextTableFormat grid;
    grid.setBorder(0);
    grid.setCellPadding(2);
    grid.setTopMargin(8);
    QTextTable* table = cursor.insertTable(int(std::size(fields)), 2, grid);
    for (int row = 0; row < int(std::size(fields)); ++row) {
        table->cellAt(row, 0).firstCursorPosition().insertText(QString::fromUtf8(fields[row].first), caption);
        table->cellAt(row, 1).firstCursorPosition().insertText(*fields[row].second, value);
    }
    cursor.movePosition(QTextCursor::End);

    QTextBlockFormat block;
    block.setTopMargin(10);
    cursor.insertBlock(block);
    cursor.insertText(QStringLiteral("メモ"), caption);
    QTextCharFormat text;
    text.setFont(body);
    // Memos keep CR LF line ends; each line is a line on paper.
    QString lines = memo.text;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    block.setTopMargin(0);
    for (const QString& line : lines.split(QLatin1Char('\n'))) {
        cursor.insertBlock(block);
        cursor.insertText(line, text);
    }
    return document;
}

void ResultPrint::paintMemo(QPagedPaintDevice* device, const Memo& memo)
{
    memoDocument(memo)->print(device);
}

QString ResultPrint::listSubtitle(const QString& search, const QDate& printedOn)
{
    return search + QStringLiteral("　　印刷日：") + DateForms::instance().longDate(printedOn);
}

void ResultPrint::paintList(QPagedPaintDevice* device, const QString& title, const QString& subtitle,
                            const QStringList& headings, const QList<QStringList>& rows)
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
    const double headerTop = lineHeight * 2.6;
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
        painter.setFont(font);
        painter.drawText(QRectF(0, lineHeight, page.width(), lineHeight), Qt::AlignLeft | Qt::AlignVCenter,
                         metrics.elidedText(subtitle, Qt::ElideRight, page.width()));
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
