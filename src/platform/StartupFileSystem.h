#pragma once

#include "core/Result.h"
#include "platform/Service.h"

// The file-system steps of start-up.
class StartupFileSystem : public Service<StartupFileSystem>
{
public:
    enum Attribute { Directory = 16 };

    virtual ~StartupFileSystem() = default;
    // The name of the entry at path when one exists there (the directory attribute asks
    // for directories as well as files), else the empty text.
    virtual QString dirEntry(const QString& path, int attributes) = 0;
    virtual bool makeDir(const QString& path) = 0;
    // Copies the database file, replacing an older copy. The copy is a consistent
    // snapshot, and a source that fails the integrity check never replaces the target.
    virtual Result copyDatabase(const QString& from, const QString& to) = 0;

    // The file system itself, whatever instance is set.
    static StartupFileSystem& real();
};
