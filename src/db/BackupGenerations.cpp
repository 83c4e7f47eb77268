#include "db/BackupGenerations.h"

#include "core/DurableFile.h"
#include "core/Log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace {

QDate mondayOf(const QDate& day)
{
    return day.addDays(1 - day.dayOfWeek());
}

// Puts a second name on the backup's data; where the file system has no such names, a copy
// is written beside and named only once it is complete. An existing file is never replaced.
Result keepAs(const QString& backup, const QString& target)
{
    const QByteArray from = QFile::encodeName(backup);
    const QByteArray to = QFile::encodeName(target);
    if (::link(from.constData(), to.constData()) == 0 || errno == EEXIST)
        return {};
    const QString part = target + QStringLiteral(".part");
    QFile::remove(part);
    if (!QFile::copy(backup, part))
        return Result::failure(QStringLiteral("cannot copy ") + backup + QStringLiteral(" to ") + part);
    const QByteArray partName = QFile::encodeName(part);
    const bool done = DurableFile::sync(part) && (::link(partName.constData(), to.constData()) == 0 || errno == EEXIST);
    QFile::remove(part);
    return done ? Result{} : Result::failure(QStringLiteral("cannot keep ") + target);
}

} // namespace

QString BackupGenerations::fileName(const QDate& day)
{
    return QStringLiteral("IDATA2-") + day.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".mdb");
}

std::optional<QDate> BackupGenerations::dayOf(const QString& fileName)
{
    static const QRegularExpression pattern(QStringLiteral("^IDATA2-(\\d{4})-(\\d{2})-(\\d{2})\\.mdb$"));
    const QRegularExpressionMatch match = pattern.match(fileName);
    if (!match.hasMatch())
        return std::nullopt;
    const QDate day(match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt());
    if (!day.isValid())
        return std::nullopt;
    return day;
}

QList<QDate> BackupGenerations::daysToKeep(const QList<QDate>& days, const QDate& today)
{
    QList<QDate> keep;
    const QDate weekAgo = today.addDays(-6);
    const QDate firstMonday = mondayOf(today).addDays(-21);
    QList<QDate> sorted = days;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    QDate lastWeekKept;
    for (const QDate& day : std::as_const(sorted)) {
        const QDate monday = mondayOf(day);
        const bool firstOfItsWeek = day <= today && monday >= firstMonday && monday != lastWeekKept;
        if (firstOfItsWeek)
            lastWeekKept = monday;
        if (day >= weekAgo || firstOfItsWeek)
            keep.append(day);
    }
    return keep;
}

BackupGenerations::Outcome BackupGenerations::keep(const QString& backup, const QString& folder, qint64 bookSize,
                                                   const QDate& today, std::optional<qint64> freeBytes)
{
    Outcome outcome;
    if (!QFileInfo(folder).isDir() && !QDir().mkdir(folder)) {
        outcome.result = Result::failure(QStringLiteral("cannot make ") + folder);
        return outcome;
    }
    const QString todays = folder + QLatin1Char('/') + fileName(today);
    if (!QFileInfo::exists(todays) && freeBytes && *freeBytes >= 2 * bookSize) {
        outcome.result = keepAs(backup, todays);
        outcome.kept = bool(outcome.result);
        if (outcome.kept)
            skipOnFailure(DurableFile::sync(folder), lcStartup(), "sync the generations");
    }

    QList<QDate> days;
    const QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        if (const std::optional<QDate> day = dayOf(name))
            days.append(*day);
        // A copy of another day left half written by a start-up that was killed.
        else if (name.endsWith(QLatin1String(".part")) && dayOf(name.chopped(5)).value_or(today) != today)
            QFile::remove(folder + QLatin1Char('/') + name);
    }
    const QList<QDate> kept = daysToKeep(days, today);
    for (const QDate& day : std::as_const(days)) {
        if (kept.contains(day))
            continue;
        const QString name = fileName(day);
        if (QFile::remove(folder + QLatin1Char('/') + name))
            outcome.deleted.append(name);
        else if (outcome.result)
            outcome.result = Result::failure(QStringLiteral("cannot delete ") + name);
    }
    return outcome;
}
