#include "jet/JetConversion.h"

#include <QFile>

#include <fcntl.h>
#include <unistd.h>
#include <utility>

bool JetConversion::syncPath(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

QString JetConversion::key(Outcome outcome)
{
    static const std::pair<Outcome, const char*> keys[] = {
        {Outcome::Converted, "converted"},   {Outcome::Usage, "usage"},
        {Outcome::Damaged, "damaged"},       {Outcome::NoMemoTable, "no memo table"},
        {Outcome::NoSpace, "no space"},      {Outcome::TargetExists, "target exists"},
        {Outcome::Unreadable, "unreadable"}, {Outcome::CannotWrite, "cannot write"},
        {Outcome::TimedOut, "timed out"},    {Outcome::OutOfMemory, "out of memory"}};
    for (const auto& [known, key] : keys) {
        if (known == outcome)
            return QString::fromLatin1(key);
    }
    return QStringLiteral("unknown");
}
