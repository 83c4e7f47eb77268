#include "help_display/ResultExport.h"

#include "db/Statement.h"

#include <QRegularExpression>
#include <QSaveFile>

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
    QSaveFile file(path);
    // Without a writable folder there is no safe way to write; never write the file in place.
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly))
        return Result::failure(file.errorString());

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
                file.cancelWriting();
                file.commit();
                return Result::failure(QStringLiteral("cancelled"));
            }
        }
    }
    if (step == Statement::Step::Error) {
        file.cancelWriting();
        file.commit();
        return rows.lastError();
    }
    if (!chunk.isEmpty() && file.write(chunk) != chunk.size()) {
        const QString why = file.errorString();
        file.cancelWriting();
        file.commit();
        return Result::failure(why);
    }
    if (step == Statement::Step::Row) { // a write failed in the loop
        const QString why = file.errorString();
        file.cancelWriting();
        file.commit();
        return Result::failure(why);
    }
    if (progress)
        progress(written);
    if (!file.commit())
        return Result::failure(file.errorString());
    return Result::success();
}
