#pragma once

#include "core/Result.h"

#include <QString>

#include <functional>

struct sqlite3;

// The memos found, written out as CSV for spreadsheet programs: UTF-8 with a byte order mark
// (which Japanese spreadsheet programs need to read UTF-8), lines ended by CR LF, a first line
// of the fields' captions, and fields quoted as RFC 4180 says.
namespace ResultExport {

// A field's caption as the windows show it: "アプリＩＤ" for the field 予備１, the field's name
// for the others.
QString caption(const QString& field);

// The statement that gives a record source's rows in the order in which a record set shows
// them: a bare table name in the order of its key.
QString rowsOf(const QString& recordSource);

// Writes every row of the statement, all its fields, into the file at path. The rows go into
// a temporary file beside it, which takes the name only when everything has been written: a
// failure or a stop leaves no file under the name, and an older file there stays. progress is
// told the rows written so far and stops the export by returning false.
Result toCsv(sqlite3* db, const QString& statement, const QString& path,
             const std::function<bool(qint64 rows)>& progress = {});

} // namespace ResultExport
