#pragma once

#include "core/Result.h"

#include <QDate>
#include <QList>
#include <QString>

#include <optional>

// Older copies of the memo book kept beside the backup, so that a mistake survives the next
// starts: one for each of the last seven days and the first of each of the last four weeks.
namespace BackupGenerations {

// The folder inside the backup folder.
inline const QString FolderName = QStringLiteral("世代");

// "IDATA2-2026-12-07.mdb" for a copy kept on 2026-12-07, and back; nullopt for a name of
// another kind.
QString fileName(const QDate& day);
std::optional<QDate> dayOf(const QString& fileName);

// Of the days that copies were kept on, those to keep on `today`: every day of the last
// seven, the first day kept of each of the last four weeks (Monday to Sunday, this week
// included), and days after today (a clock set back must not cost the newest copies).
QList<QDate> daysToKeep(const QList<QDate>& days, const QDate& today);

struct Outcome
{
    Result result;
    bool kept = false; // a copy for today was made by this call
    QStringList deleted;
};

// Keeps `backup` (the copy just made) as today's copy in `folder`, made when missing, unless
// one is there already or the disk has less free room than twice `bookSize` (or its free
// room is unknown); then deletes the copies that are no longer to be kept. Only files named
// as fileName() names them are ever deleted. The backup is never written in place (it is
// replaced by a rename), so today's copy may share its data with it on the disk.
Outcome keep(const QString& backup, const QString& folder, qint64 bookSize, const QDate& today,
             std::optional<qint64> freeBytes);

} // namespace BackupGenerations
