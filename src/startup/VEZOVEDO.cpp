#include "startup/VEZOVEDO.h"

#include "core/AppInfo.h"
#include "core/BackgroundTask.h"
#include "core/Log.h"
#include "db/BackupGenerations.h"
#include "db/DatabaseBackup.h"
#include "db/Schema.h"
#include "forms/Session.h"
#include "jet/JetImport.h"
#include "platform/HelpViewer.h"
#include "platform/MessageBox.h"
#include "platform/StartupFileSystem.h"
#include "startup/ORVAM.h"
#include "startup/StartupMessage.h"
#include "startup/StartupProgress.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPointer>

namespace {

// The 1-based position of the last separator, found by searching on from each one found;
// it stays 1 when there is none after the first character.
int lastSeparator(const QString& text, QChar separator)
{
    int last = 1;
    int position = 1;
    do {
        last = position;
        position = int(text.indexOf(separator, last)) + 1;
    } while (position != 0);
    return last;
}

// The older copies are a convenience: start-up goes on whatever becomes of them.
void keepGeneration(StartupFileSystem& fs, const QString& backup, const QString& backupDir, QChar separator)
{
    const BackupGenerations::Outcome kept =
        BackupGenerations::keep(backup, backupDir + separator + BackupGenerations::FolderName, QFileInfo(backup).size(),
                                fs.today(), fs.freeBytes(backupDir));
    skipOnFailure(kept.result, lcStartup(), "backup generations");
}

bool g_endedByTrouble = false;

struct BackupPlace
{
    QString source;
    QString backup;
    QString backupDir;
    QChar separator;
};

// The copy start-up made is checked beside the main window and then takes the old backup's
// place. A memo book found damaged is not worked on: the user is told, as at start-up, with
// the old backup as the way back, and the program ends.
void checkBackup(ORVAM* main, Session* session, std::shared_ptr<DatabaseBackup::UncheckedCopy> unchecked,
                 const BackupPlace& place, StartupMessage::Where where)
{
    // The application owns the check, not the main window: a user who closes the program at
    // once still gets the new backup, which the program's end waits for.
    BackgroundTask::start(
        QCoreApplication::instance(),
        [unchecked, place](const BackgroundTask::Stop& stop) {
            const DatabaseBackup::Outcome checked = unchecked->checkAndReplace(stop);
            if (checked) {
                keepGeneration(StartupFileSystem::instance(), place.backup, place.backupDir, place.separator);
                if (!stop)
                    Schema::refreshStatistics(place.source);
            }
            return checked;
        },
        [main = QPointer<ORVAM>(main), session, where, place](const DatabaseBackup::Outcome& checked) mutable {
            session->BackupUnchecked = false;
            if (checked)
                return;
            g_endedByTrouble = true;
            qCWarning(lcStartup, "backup: %s", qUtf8Printable(checked.result.message));
            using StartupMessage::Trouble;
            const Trouble trouble = checked.refusal == DatabaseBackup::Refusal::Damaged ? Trouble::Damaged
                                    : checked.result.cause == Result::Cause::DiskFull   ? Trouble::DiskFull
                                                                                        : Trouble::CannotBackUp;
            where.file = trouble == Trouble::Damaged ? place.source : place.backup;
            MessageBox::instance().ask({StartupMessage::text(trouble, where), AppInfo::Title, MessageBox::Icon::None,
                                        MessageBox::Buttons::Ok, MessageBox::Answer::Ok});
            // Every window closes as the user would close it, asking about typing not stored;
            // after this task has ended.
            QMetaObject::invokeMethod(
                qApp,
                [main] {
                    if (!main || main->unload())
                        QApplication::closeAllWindows();
                },
                Qt::QueuedConnection);
        });
}

} // namespace

bool VEZOVEDO::endedByTrouble()
{
    return g_endedByTrouble;
}

const QString VEZOVEDO::StartupFailure = QStringLiteral("起動出来ません。ハードディスクの") + QLatin1Char('\r') +
                                         QStringLiteral("容量などを確認して下さい。");

VEZOVEDO::Paths VEZOVEDO::derivePaths(const QString& programPath)
{
    const QChar separator = programPath.contains(QLatin1Char('/')) ? QLatin1Char('/') : QLatin1Char('\\');
    QString program = programPath;
    const int exe =
        int(program.indexOf(QLatin1String(".EXE"), lastSeparator(program, separator) - 1, Qt::CaseInsensitive)) + 1;
    if (exe > 0)
        program = program.left(exe + 3);
    const QString appDir = program.left(lastSeparator(program, separator) - 1);
    return {appDir, appDir + separator + QStringLiteral("Back Up"), appDir + separator + QStringLiteral("IDATA2.mdb"),
            appDir + separator + QStringLiteral("ｵﾙﾊﾞﾚﾝﾄ.HLP"), separator};
}

QString VEZOVEDO::installedShareDir(const QString& appDir)
{
    const QFileInfo folder(appDir);
    if (folder.fileName() != QLatin1String("bin"))
        return {};
    const QString share = QDir(appDir).absoluteFilePath(QStringLiteral("../share/orvalent"));
    return QFileInfo(share).isDir() ? QDir::cleanPath(share) : QString();
}

QString VEZOVEDO::userDataDir()
{
    // A relative XDG_DATA_HOME is to be ignored; so is an empty one.
    const QString xdg = qEnvironmentVariable("XDG_DATA_HOME");
    if (QDir::isAbsolutePath(xdg))
        return QDir::cleanPath(xdg) + QStringLiteral("/orvalent");
    const QString home = qEnvironmentVariable("HOME");
    if (!QDir::isAbsolutePath(home))
        return {};
    return QDir::cleanPath(home) + QStringLiteral("/.local/share/orvalent");
}

bool VEZOVEDO::Main(const QString& programPath, Session& session)
{
    using StartupMessage::Trouble;
    StartupMessage::Where where;
    // The start-up message, then which file and why, and the way on.
    auto fail = [&where](Trouble trouble, const QString& file) {
        where.file = file;
        MessageBox::instance().ask({StartupMessage::text(trouble, where), AppInfo::Title, MessageBox::Icon::None,
                                    MessageBox::Buttons::Ok, MessageBox::Answer::Ok});
        return false;
    };

    Paths paths = derivePaths(programPath);
    if (const QString share = installedShareDir(paths.appDir); !share.isEmpty()) {
        // Installed: the memo book and its backups live where the user may write, and stay
        // when the program is removed or rebuilt; the help file is installed with the program.
        const QString data = userDataDir();
        if (data.isEmpty() || !QDir().mkpath(data)) {
            qCWarning(lcStartup, "no data folder at %s", qUtf8Printable(data));
            return fail(Trouble::DataFolder, data.isEmpty() ? QStringLiteral("~/.local/share/orvalent") : data);
        }
        paths = {data, data + QStringLiteral("/Back Up"), data + QStringLiteral("/IDATA2.mdb"),
                 share + QStringLiteral("/ｵﾙﾊﾞﾚﾝﾄ.HLP"), QLatin1Char('/')};
        where.makesEmptyBook = true;
        if (!QFileInfo::exists(paths.dbPath)) {
            if (Result made = Schema::createMemoBook(paths.dbPath); !made) {
                qCWarning(lcStartup, "no memo book made: %s", qUtf8Printable(made.message));
                return fail(made.cause == Result::Cause::DiskFull ? Trouble::DiskFull : Trouble::DataFolder,
                            paths.dbPath);
            }
        }
    }
    where.appDir = paths.appDir;
    // The last copy start-up made is the way back from a memo book that cannot be used.
    if (const QFileInfo kept(paths.backupDir + paths.separator + QStringLiteral("IDATA2.mdb"));
        kept.isFile() && kept.size() > 0)
        where.backup = kept.filePath();
    const QChar separator = paths.separator;
    session.AppDir = paths.appDir;
    session.BackupDir = paths.backupDir;
    HelpViewer::setApplicationHelpFile(paths.helpFile);
    session.DbPath = paths.dbPath;

    // A memo book of the old program is converted before anything copies or opens it; a
    // failed conversion has shown its own message and changed nothing.
    if (JetImport::convertAtStartup(session.DbPath, session.BackupDir, StartupMessage::wayOn(where)) ==
        JetImport::Outcome::Failed)
        return false;

    // A book of a newer program is left wholly alone, its last backup included.
    if (const std::optional<int> version = Schema::storedVersion(session.DbPath);
        version && *version > Schema::Version) {
        qCWarning(lcStartup, "memo book of version %d, newer than %d", *version, Schema::Version);
        return fail(Trouble::Newer, session.DbPath);
    }

    StartupFileSystem& fs = StartupFileSystem::instance();
    if (fs.dirEntry(session.BackupDir, StartupFileSystem::Directory).isEmpty() && !fs.makeDir(session.BackupDir))
        return fail(Trouble::BackupFolder, session.BackupDir);
    const QString database = QStringLiteral("IDATA2.mdb");
    const QString source = session.AppDir + separator + database;
    const QString backup = session.BackupDir + separator + database;
    const QString backupDir = session.BackupDir;
    // A large memo book takes a while to copy: the user is told what keeps the window. The
    // main window is made meanwhile, hidden and not loaded: nothing touches the memo book
    // before its backup is done, and a failed backup leaves no window behind.
    // The copy is checked once the main window shows: the check reads the whole file again,
    // which takes longer than the copy. Until the copy has passed, the last backup stays.
    DatabaseBackup::Refusal refusal = DatabaseBackup::Refusal::None;
    std::shared_ptr<DatabaseBackup::UncheckedCopy> unchecked;
    const Result copied = StartupProgress::run(
        [&](const StartupProgress::Report& report) {
            const DatabaseBackup::Outcome outcome = StartupBackup::instance().copy(source, backup, report, unchecked);
            refusal = outcome.refusal;
            if (outcome && !unchecked)
                keepGeneration(fs, backup, backupDir, separator);
            return outcome.result;
        },
        [&session] { ORVAM::prepare(session); });
    if (!copied) {
        ORVAM::discardPrepared();
        qCWarning(lcStartup, "backup: %s", qUtf8Printable(copied.message));
        using DatabaseBackup::Refusal;
        switch (refusal) {
        case Refusal::Missing:
            return fail(Trouble::Missing, source);
        case Refusal::NotMemoBook:
            return fail(Trouble::NotMemoBook, source);
        case Refusal::Damaged:
            return fail(Trouble::Damaged, source);
        case Refusal::ReadOnly:
            return fail(Trouble::ReadOnly, source);
        case Refusal::Busy:
            return fail(Trouble::Busy, source);
        case Refusal::None:
        case Refusal::CannotWrite:
            break;
        }
        return fail(copied.cause == Result::Cause::DiskFull ? Trouble::DiskFull : Trouble::CannotBackUp, backup);
    }

    // A book of an older layout is brought to this one before any window reads it; the backup
    // just made keeps it as it was.
    int version = 0;
    Result upgradeFailure;
    switch (Schema::upgrade(source, &version, &upgradeFailure)) {
    case Schema::UpgradeOutcome::Current:
    case Schema::UpgradeOutcome::Upgraded:
        break;
    case Schema::UpgradeOutcome::Newer:
        ORVAM::discardPrepared();
        qCWarning(lcStartup, "memo book of version %d, newer than %d", version, Schema::Version);
        return fail(Trouble::Newer, source);
    case Schema::UpgradeOutcome::Failed:
        ORVAM::discardPrepared();
        return fail(upgradeFailure.cause == Result::Cause::Busy ? Trouble::Busy : Trouble::CannotUpgrade, source);
    }

    session.BackupUnchecked = bool(unchecked);
    ORVAM* main = ORVAM::instance(session);
    if (!main->loadSucceeded()) {
        main->unload();
        return fail(Trouble::CannotOpen, source);
    }
    main->setNormalState();
    main->showForm();
    if (unchecked)
        checkBackup(main, &session, unchecked, {source, backup, backupDir, separator}, where);
    return true;
}
