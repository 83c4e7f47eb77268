#include "platform/StartupFileSystem.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

namespace {

class QtStartupFileSystem final : public StartupFileSystem
{
public:
    QString dirEntry(const QString& path, int attributes) override
    {
        const QFileInfo info(path);
        if (!info.exists())
            return {};
        if (info.isDir() && !(attributes & Directory))
            return {};
        return info.fileName();
    }

    bool makeDir(const QString& path) override { return QDir().mkdir(path); }

    QDate today() override { return QDate::currentDate(); }

    std::optional<qint64> freeBytes(const QString& path) override
    {
        const QStorageInfo storage(path);
        if (!storage.isValid())
            return std::nullopt;
        return storage.bytesAvailable();
    }
};

} // namespace

StartupFileSystem& StartupFileSystem::real()
{
    static QtStartupFileSystem fs;
    return fs;
}
