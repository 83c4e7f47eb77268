#pragma once

#include "core/Result.h"
#include "core/Service.h"

#include <QDate>

#include <optional>

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
    // The date of today, for the generations of the backup.
    virtual QDate today() = 0;
    // Free room for this user on the disk that holds path; nullopt when unknown.
    virtual std::optional<qint64> freeBytes(const QString& path) = 0;

    // The file system itself, whatever instance is set.
    static StartupFileSystem& real();
};

// The file system itself, for a replacement that only watches or changes some of its steps.
class ForwardingStartupFileSystem : public StartupFileSystem
{
public:
    QString dirEntry(const QString& path, int attributes) override { return real().dirEntry(path, attributes); }
    bool makeDir(const QString& path) override { return real().makeDir(path); }
    QDate today() override { return real().today(); }
    std::optional<qint64> freeBytes(const QString& path) override { return real().freeBytes(path); }
};
