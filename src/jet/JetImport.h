#pragma once

#include "core/Service.h"
#include "jet/JetConversion.h"

#include <QString>

// Bringing an old memo book across at start-up: a Jet file found where the memo book belongs
// is converted in a process of its own, the original is kept byte for byte in "Back Up", and
// only then is the converted file put in its place. A failure at any step leaves the original
// exactly as it was and ends start-up with a message that says why; the next start tries again.
namespace JetImport {

// The file-system steps of the swap, behind an interface so that tests can fail each one.
class FileSystem : public Service<FileSystem>
{
public:
    struct Step
    {
        bool ok = true;
        bool noSpace = false;
        QString why;
        static Step success() { return {}; }
        static Step failure(const QString& why, bool noSpace = false) { return {false, noSpace, why}; }
        explicit operator bool() const { return ok; }
    };

    virtual ~FileSystem() = default;
    // Makes the folder unless it is there; fails when something else has its name.
    virtual Step makeDir(const QString& path);
    virtual Step remove(const QString& path);
    // Copies byte for byte to a new file, never over an existing one, and syncs it.
    virtual Step copyNew(const QString& from, const QString& to);
    // Whether both files hold the same bytes.
    virtual Step compare(const QString& original, const QString& copy);
    // Puts a file in the place of another in one step (rename), and syncs the folder.
    virtual Step replace(const QString& from, const QString& to);

    // The file system itself, whatever instance is set.
    static FileSystem& real();
};

struct Settings
{
    // The program that runs the conversion: this program itself.
    QString program;
    // Without a line of progress for this long, the conversion is ended as hung.
    int stallTimeoutMs = 60000;
    // A conversion that takes longer than this shows a progress window.
    int progressDelayMs = 500;
};
Settings& settings();

enum class Outcome { NotJet, Converted, Failed };

// Why a conversion at start-up failed, beyond the conversion's own outcomes.
enum class Step { Convert, BackupFolder, BackupCopy, BackupCheck, Replace };

// Converts the file at dbPath when it is a Jet file; shows the result's message, which for a
// file that cannot be converted names it and gives wayOn (what the user can do instead of
// converting it). NotJet leaves everything to the normal start-up.
Outcome convertAtStartup(const QString& dbPath, const QString& backupDir, const QString& wayOn = {});

// The name under "Back Up" that keeps the original: "IDATA2 (Jet).mdb", or, when that is
// taken, one with the date and time (and a number, should that be taken too).
QString keptOriginalPath(const QString& backupDir, const QString& dbFileName);

// The texts shown to the user.
QString progressText(qint64 done, qint64 total);
QString successText(qint64 memos, qint64 applications, const QString& keptAt);
QString failureText(Step step, JetConversion::Outcome outcome, bool noSpace, const QString& file = {},
                    const QString& wayOn = {});

} // namespace JetImport
