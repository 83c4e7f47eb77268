#pragma once

#include "jet/JetConversion.h"

#include <QString>

#include <functional>

class JetReader;

// Converts an old memo book (a Jet file) into a new SQLite memo book made with the program's
// own schema: the memo table and the table of registered applications, every record with its
// ID, every field exactly. Other tables are left out; they stay in the kept original.
namespace JetConverter {

struct Report
{
    JetConversion::Outcome outcome = JetConversion::Outcome::Converted;
    QString why;
    qint64 memos = 0;
    qint64 applications = 0;
};

// Called now and then with the memos written so far and the number the file holds.
using Progress = std::function<void(qint64 done, qint64 total)>;

// The new file must not exist; on any failure it is removed again.
Report convert(const QString& jetPath, const QString& newPath, const Progress& progress = {});
// The same from a reader that is open already.
Report convert(JetReader& reader, const QString& newPath, const Progress& progress = {});

} // namespace JetConverter
