#include "jet/JetConversion.h"

#include <QFile>

#include <fcntl.h>
#include <unistd.h>

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
    switch (outcome) {
    case Outcome::Converted:
        return QStringLiteral("converted");
    case Outcome::Usage:
        return QStringLiteral("usage");
    case Outcome::Damaged:
        return QStringLiteral("damaged");
    case Outcome::NoMemoTable:
        return QStringLiteral("no memo table");
    case Outcome::NoSpace:
        return QStringLiteral("no space");
    case Outcome::TargetExists:
        return QStringLiteral("target exists");
    case Outcome::Unreadable:
        return QStringLiteral("unreadable");
    case Outcome::CannotWrite:
        return QStringLiteral("cannot write");
    case Outcome::TimedOut:
        return QStringLiteral("timed out");
    case Outcome::OutOfMemory:
        return QStringLiteral("out of memory");
    }
    return QStringLiteral("unknown");
}
