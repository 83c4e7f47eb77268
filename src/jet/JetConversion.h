#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>
#include <variant>

// What the conversion of an old memo book can come to. The numbers are the exit codes of
// `orvalent --convert-jet`, which the program reads back from its conversion process.
namespace JetConversion {

enum class Outcome {
    Converted = 0,
    Usage = 2,
    Damaged = 3,     // the file cannot be read as a Jet database, or the reader crashed
    NoMemoTable = 4, // a Jet file, but of another program
    NoSpace = 5,
    TargetExists = 6,
    Unreadable = 7,  // the file cannot be opened or read
    CannotWrite = 8, // the new file cannot be made
    TimedOut = 9,
    OutOfMemory = 10,
};

inline const QString MemoTable = QStringLiteral("メモ帳");
inline const QString PathTable = QStringLiteral("パス");

// The lines of the conversion's standard output that the program reads while it waits: how
// many memos are across, and at the end what was converted. Each is one line, written and
// read here, without its line end.
struct Progress
{
    qint64 done = 0;
    qint64 total = 0;
    bool operator==(const Progress&) const = default;
};
struct Done
{
    qint64 memos = 0;
    qint64 applications = 0;
    bool operator==(const Done&) const = default;
};
using Message = std::variant<Progress, Done>;

QByteArray progressLine(qint64 done, qint64 total);
QByteArray doneLine(qint64 memos, qint64 applications);
// A line exactly as written above, with counts that are not negative and fit; none for
// anything else (the reading library's warnings, a line cut off or run together with another).
std::optional<Message> parseLine(QByteArrayView line);

// The key of an outcome in the error line "error: <key>: <detail>".
QString key(Outcome outcome);

} // namespace JetConversion
