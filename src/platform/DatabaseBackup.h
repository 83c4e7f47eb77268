#pragma once

#include "core/Result.h"

#include <QString>

#include <functional>

// The copy of the memo book that start-up keeps in its backup folder.
namespace DatabaseBackup {

// Why a copy was refused or failed; the caller shows one message for all of them.
enum class Refusal {
    None,
    Missing,     // no file, or not a plain file
    NotMemoBook, // empty, of another program, or a database without the memo table
    Damaged,     // fails SQLite's quick check, or cannot be read as a database
    ReadOnly,    // the file, or the folder where the engine writes its journal, takes no writes
    Busy,        // another program holds a lock beyond the busy timeout
    CannotWrite, // the copy could not be written or could not replace the old one
};

struct Outcome
{
    Result result;
    Refusal refusal = Refusal::None;
    explicit operator bool() const { return bool(result); }
};

// Bytes written so far and bytes to write. May be called from another thread.
using Progress = std::function<void(qint64 done, qint64 total)>;

// How long a lock held by another program is waited for.
constexpr int BusyTimeoutMs = 5000;

// Copies the memo book at `from` to `to`, replacing an older copy only once the new one is
// complete and on disk. The source must be a memo book that can be written: a file that is
// empty, of another program, without the memo table, damaged, read-only, or kept locked
// beyond the busy timeout is refused and the old copy stays. A hot journal left by a crash
// is rolled back first. The copy is a consistent snapshot: no writer commits while it is
// made.
Outcome copyMemoBook(const QString& from, const QString& to, const Progress& progress = {});

} // namespace DatabaseBackup
