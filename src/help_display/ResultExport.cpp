#include "help_display/ResultExport.h"

#include "core/DurableFile.h"
#include "db/Statement.h"

#include <QFile>
#include <QRegularExpression>

#include <sqlite3.h>

namespace {

constexpr int ProgressEvery = 500;

// Appends one field: quoted, with its quotes doubled, when it holds a comma, a quote or a line
// break; as it is otherwise.
void appendField(QByteArray& line, QByteArrayView value)
{
    bool quote = false;
    for (char c : value) {
        if (c == ',' || c == '"' || c == '\r' || c == '\n') {
            quote = true;
            break;
        }
    }
    if (!quote) {
        line.append(value);
        return;
    }
    line.append('"');
    for (char c : value) {
        if (c == '"')
            line.append('"');
        line.append(c);
    }
    line.append('"');
}

// A field straight from the statement's text, NULL as the empty field.
QByteArrayView columnText(sqlite3_stmt* row, int column)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(row, column));
    return text ? QByteArrayView(text, sqlite3_column_bytes(row, column)) : QByteArrayView();
}

} // namespace

QString ResultExport::caption(const QString& field)
{
    return field == QStringLiteral("予備１") ? QStringLiteral("アプリＩＤ") : field;
}

QString ResultExport::rowsOf(const QString& recordSource)
{
    static const QRegularExpression blank(QStringLiteral("\\s"));
    if (!recordSource.isEmpty() && !recordSource.contains(blank))
        return QStringLiteral("SELECT * FROM %1 ORDER BY ID").arg(quoteIdentifier(recordSource));
    return recordSource;
}

Result ResultExport::toCsv(sqlite3* db, const QString& statement, const QString& path,
                           const std::function<bool(qint64)>& progress)
{
    Statement rows(db, statement);
    if (!rows.prepared())
        return rows.prepared();
    // Written beside and put in place whole: a cancelled or failed export leaves the file
    // of that name as it was.
    DurableFile::Writer writer(path);
    if (Result opened = writer.open(); !opened)
        return opened;
    QFile& file = writer.file();

    const int columns = rows.columnCount();
    QByteArray chunk("\xEF\xBB\xBF");
    for (int c = 0; c < columns; ++c) {
        if (c > 0)
            chunk.append(',');
        appendField(chunk, caption(rows.columnName(c)).toUtf8());
    }
    chunk.append("\r\n");
    qint64 written = 0;
    Statement::Step step;
    while ((step = rows.step()) == Statement::Step::Row) {
        for (int c = 0; c < columns; ++c) {
            if (c > 0)
                chunk.append(',');
            appendField(chunk, columnText(rows.handle(), c));
        }
        chunk.append("\r\n");
        if (++written % ProgressEvery == 0) {
            if (file.write(chunk) != chunk.size())
                break;
            chunk.clear();
            if (progress && !progress(written)) {
                return Result::failure(QStringLiteral("cancelled"));
            }
        }
    }
    if (step == Statement::Step::Error)
        return rows.lastError();
    // A write that failed in the loop, or the last one.
    if (step == Statement::Step::Row || (!chunk.isEmpty() && file.write(chunk) != chunk.size()))
        return Result::failure(file.errorString(), file.error() == QFileDevice::ResourceError ? Result::Cause::DiskFull
                                                                                              : Result::Cause::Other);
    if (progress)
        progress(written);
    return writer.commit();
}
