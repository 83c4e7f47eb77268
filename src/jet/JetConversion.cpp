#include "jet/JetConversion.h"

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
