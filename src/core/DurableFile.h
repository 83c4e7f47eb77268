#pragma once

#include "core/Result.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <functional>

// Writing a file so that a crash or a power cut leaves either the old file or the new one
// whole, never a part: the new content goes to a file beside the target, which is synced,
// renamed over the target, and made to stay by a sync of the folder.
namespace DurableFile {

// Syncs the data of a file, or of a folder's entries, to the disk.
Result sync(const QString& path);
// The same for a file already open; `what` names it for the steps told to an observer.
Result sync(int fd, const QString& what);
// Removes a file that is no longer needed (an old copy, a part left behind).
void remove(const QString& path);

// Each durable step as it is taken ("sync <path>", "rename <from> <to>", "remove <path>"),
// for tests that check what a power cut at each point would leave.
using Observer = std::function<void(const QString& step)>;
void setObserver(Observer observer);
// Tells the observer of a step taken by other means (a rename of the engine's own).
void observe(const QString& step);

// Puts the complete file `part`, synced already (a database synced on commit), in the place
// of `target` in one step and makes the change stay. `part` must lie in the target's folder.
// On failure the target is as it was.
Result rename(const QString& part, const QString& target);

// Writes `bytes` as the whole of `target`, by a part file beside it.
Result write(const QString& target, const QByteArray& bytes);

// A new content for `target` written bit by bit: the part file is the device, commit() puts
// it in the target's place, and a writer dropped without commit leaves the target alone.
class Writer
{
public:
    explicit Writer(const QString& target);
    ~Writer();
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    Result open();
    QFile& file() { return m_file; }
    Result commit();

private:
    QString m_target;
    QFile m_file;
    bool m_committed = false;
};

// The name of a part file beside `target`, for a writer that makes its own file there.
QString partName(const QString& target);

} // namespace DurableFile
