#pragma once

#include "core/Result.h"
#include "core/Service.h"

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

// Copies the memo book at `from` to `to`, replacing an older copy only once the new one is
// complete and on disk. The source must be a memo book that can be written: a file that is
// empty, of another program, without the memo table, damaged, read-only, or kept locked
// beyond the busy timeout is refused and the old copy stays. A hot journal left by a crash
// is rolled back first. The copy is a consistent snapshot: no writer commits while it is
// made. Giving back the old copy's room and syncing the folder take a while for a large file:
// with `finishLater` they are handed to the caller to run beside the rest of start-up (until
// then a power cut leaves the old copy, which is whole), else they are done before returning.
Outcome copyMemoBook(const QString& from, const QString& to, const Progress& progress = {},
                     std::function<void()>* finishLater = nullptr);

} // namespace DatabaseBackup

// The copy that start-up makes, which tests watch or make fail.
class StartupBackup : public Service<StartupBackup>
{
public:
    virtual ~StartupBackup() = default;
    // DatabaseBackup::copyMemoBook. Progress may be reported from another thread, and so is
    // the finishing handed back.
    virtual DatabaseBackup::Outcome copy(const QString& from, const QString& to,
                                         const DatabaseBackup::Progress& progress,
                                         std::function<void()>* finishLater) = 0;
    static StartupBackup& real();
};
