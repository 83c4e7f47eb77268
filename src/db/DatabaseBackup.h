#pragma once

#include "core/Result.h"
#include "core/Service.h"

#include <QString>

#include <atomic>
#include <functional>
#include <memory>

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

// A copy made but not yet checked. It takes the place of the backup only once it has passed
// the quick check; until then, and whenever it fails or is dropped, the old backup stays.
class UncheckedCopy
{
public:
    // `folderLock` is the descriptor that holds the backup folder for this start; it is closed
    // when the copy has been used or dropped.
    UncheckedCopy(const QString& copy, const QString& target, int folderLock)
        : m_copy(copy), m_target(target), m_folderLock(folderLock)
    {}
    ~UncheckedCopy();
    UncheckedCopy(const UncheckedCopy&) = delete;
    UncheckedCopy& operator=(const UncheckedCopy&) = delete;

    // Checks the copy and, when it passes, puts it in the place of the backup, the folder's
    // sync and the old copy's room included. A copy found damaged is refused as Damaged;
    // `stop` ends the check early, refused as CannotWrite. Runs on a thread of its own.
    Outcome checkAndReplace(const std::atomic<bool>& stop);

private:
    QString m_copy;
    QString m_target;
    int m_folderLock;
    bool m_done = false;
};

// Like copyMemoBook, with the quick check left for later: the memo book's copy is made and
// kept beside the backup, in `unchecked`, for the caller to check once the user can work. A
// memo book in write-ahead-log mode is checked at once, as copyMemoBook does, and then
// `unchecked` stays empty. The refusals before the copy are the same.
Outcome copyForLaterCheck(const QString& from, const QString& to, const Progress& progress,
                          std::shared_ptr<UncheckedCopy>& unchecked);

} // namespace DatabaseBackup

// The copy that start-up makes, which tests watch or make fail.
class StartupBackup : public Service<StartupBackup>
{
public:
    virtual ~StartupBackup() = default;
    // DatabaseBackup::copyForLaterCheck. Progress may be reported from another thread.
    virtual DatabaseBackup::Outcome copy(const QString& from, const QString& to,
                                         const DatabaseBackup::Progress& progress,
                                         std::shared_ptr<DatabaseBackup::UncheckedCopy>& unchecked) = 0;
    static StartupBackup& real();
};
