#pragma once

#include "core/Result.h"

#include <QByteArray>
#include <QFile>
#include <QString>

// Writing a file so that a crash or a power cut leaves either the old file or the new one
// whole, never a part: the new content goes to a file beside the target, which is synced,
// renamed over the target, and made to stay by a sync of the folder.
namespace DurableFile {

// Syncs the data of a file, or of a folder's entries, to the disk.
Result sync(const QString& path);

// Puts the complete file `part` in the place of `target` in one step and makes the change
// stay. `part` must lie in the target's folder. On failure the target is as it was.
Result replace(const QString& part, const QString& target);

// Like replace(), for a part that is synced already (a database that synced on commit).
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
