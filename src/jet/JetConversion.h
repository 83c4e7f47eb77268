#pragma once

#include <QString>

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

// Lines of the conversion's standard output, read by the program while it waits.
inline const QString ProgressLine = QStringLiteral("memos %1 of %2");
inline const QString DoneLine = QStringLiteral("converted: %1 memos, %2 applications");

// Flushes a file, or a folder's entries, to the disk.
bool syncPath(const QString& path);

// The key of an outcome in the error line "error: <key>: <detail>".
QString key(Outcome outcome);

} // namespace JetConversion
