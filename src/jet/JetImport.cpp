#include "jet/JetImport.h"

#include "core/AppInfo.h"
#include "core/DurableFile.h"
#include "core/Log.h"
#include "jet/JetFormat.h"
#include "platform/MessageBox.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProgressDialog>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <limits>
#include <sys/prctl.h>
#include <unistd.h>
#include <utility>

using Conversion = JetConversion::Outcome;

namespace {

const QString Crlf = QStringLiteral("\r\n");

struct ChildResult
{
    Conversion outcome = Conversion::Converted;
    qint64 memos = 0;
    qint64 applications = 0;
    QString detail;
};

// A count as the progress bar takes it: whatever the child reports, it stays in the bar's range.
int barValue(qint64 count)
{
    return int(std::clamp<qint64>(count, 0, std::numeric_limits<int>::max()));
}

// Runs `<program> --convert-jet <old> <new>` and waits, reading its progress; a progress
// window appears when it takes a while. A process that stops reporting is ended.
ChildResult runConversion(const QString& oldPath, const QString& newPath)
{
    const JetImport::Settings& settings = JetImport::settings();
    ChildResult result;
    QProcess child;
    child.setProgram(settings.program.isEmpty() ? QCoreApplication::applicationFilePath() : settings.program);
    child.setArguments({QStringLiteral("--convert-jet"), oldPath, newPath});
    child.setProcessChannelMode(QProcess::SeparateChannels);
    // A conversion left running after the program was killed would only write a stray file.
    child.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });

    QEventLoop loop;
    QTimer stall;
    stall.setSingleShot(true);
    stall.setInterval(settings.stallTimeoutMs);
    bool timedOut = false;
    QObject::connect(&stall, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        child.kill();
    });

    std::unique_ptr<QProgressDialog> dialog;
    qint64 done = 0, total = 0;
    auto label = [&] { return JetImport::progressText(done, total); };
    QTimer showProgress;
    showProgress.setSingleShot(true);
    showProgress.setInterval(settings.progressDelayMs);
    QObject::connect(&showProgress, &QTimer::timeout, &loop, [&] {
        dialog = std::make_unique<QProgressDialog>();
        dialog->setWindowTitle(AppInfo::Title);
        dialog->setObjectName(QStringLiteral("JetConversionProgress"));
        dialog->setCancelButton(nullptr);
        dialog->setMinimumDuration(0);
        dialog->setAutoClose(false);
        dialog->setAutoReset(false);
        dialog->setRange(0, barValue(qMax<qint64>(1, total)));
        dialog->setValue(barValue(qMin(done, total)));
        dialog->setLabelText(label());
        dialog->show();
    });

    // Whatever the child prints, the program keeps little of it: the lines it knows, and the end
    // of what the child says on its error output (a damaged file makes the reading library
    // print gigabytes of warnings there).
    constexpr qsizetype LongestLine = 4096;
    constexpr qsizetype ErrorTail = 16384;
    QByteArray pending;
    QByteArray errors;
    QObject::connect(&child, &QProcess::readyReadStandardError, &loop, [&] {
        errors += child.readAllStandardError();
        if (errors.size() > ErrorTail)
            errors.remove(0, errors.size() - ErrorTail);
    });
    QObject::connect(&child, &QProcess::readyReadStandardOutput, &loop, [&] {
        pending += child.readAllStandardOutput();
        qsizetype end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const std::optional<JetConversion::Message> message = JetConversion::parseLine(pending.first(end));
            pending.remove(0, end + 1);
            if (!message)
                continue;
            if (const auto* progress = std::get_if<JetConversion::Progress>(&*message)) {
                // Only progress counts as a sign of life: output alone does not.
                if (progress->done != done || progress->total != total)
                    stall.start();
                done = progress->done;
                total = progress->total;
                if (dialog) {
                    dialog->setMaximum(barValue(qMax<qint64>(1, total)));
                    dialog->setValue(barValue(qMin(done, total)));
                    dialog->setLabelText(label());
                }
            } else if (const auto* converted = std::get_if<JetConversion::Done>(&*message)) {
                result.memos = converted->memos;
                result.applications = converted->applications;
            }
        }
        // A "line" without an end is no line of the conversion's.
        if (pending.size() > LongestLine)
            pending.clear();
    });
    QObject::connect(&child, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&child, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            loop.quit();
    });

    child.start();
    stall.start();
    showProgress.start();
    if (child.state() != QProcess::NotRunning || child.error() != QProcess::FailedToStart)
        loop.exec();
    showProgress.stop();
    stall.stop();
    dialog.reset();

    if (child.error() == QProcess::FailedToStart) {
        // The conversion never ran: nothing is known about the file.
        result.outcome = Conversion::Usage;
        result.detail = child.errorString();
        qCWarning(lcStartup, "conversion not started: %s", qUtf8Printable(result.detail));
        return result;
    }
    if (child.state() != QProcess::NotRunning) {
        child.kill();
        child.waitForFinished(5000);
    }
    errors += child.readAllStandardError();
    result.detail = QString::fromLocal8Bit(errors.right(ErrorTail)).trimmed();
    if (!result.detail.isEmpty())
        qCInfo(lcStartup, "conversion of %s: %s", qUtf8Printable(oldPath), qUtf8Printable(result.detail));
    if (timedOut) {
        result.outcome = Conversion::TimedOut;
    } else if (child.exitStatus() == QProcess::CrashExit) {
        result.outcome = Conversion::Damaged;
    } else {
        const int code = child.exitCode();
        switch (code) {
        case int(Conversion::Converted):
        case int(Conversion::Damaged):
        case int(Conversion::NoMemoTable):
        case int(Conversion::NoSpace):
        case int(Conversion::TargetExists):
        case int(Conversion::Unreadable):
        case int(Conversion::CannotWrite):
        case int(Conversion::TimedOut):
        case int(Conversion::OutOfMemory):
            result.outcome = Conversion(code);
            break;
        default:
            result.outcome = Conversion::Damaged;
            break;
        }
    }
    return result;
}

// The file converted and what the user can do instead, for the failure message.
struct Failing
{
    QString file;
    QString wayOn;
};

void showFailure(const Failing& failing, JetImport::Step step, Conversion outcome, bool noSpace = false)
{
    MessageBox::instance().ask({JetImport::failureText(step, outcome, noSpace, failing.file, failing.wayOn),
                                AppInfo::Title, MessageBox::Icon::Exclamation, MessageBox::Buttons::Ok,
                                MessageBox::Answer::Ok});
}

} // namespace

JetImport::FileSystem::Step JetImport::FileSystem::makeDir(const QString& path)
{
    const QFileInfo info(path);
    if (info.isDir())
        return Step::success();
    if (info.exists() || info.isSymLink())
        return Step::failure(QStringLiteral("not a folder: ") + path);
    if (!QDir().mkdir(path))
        return Step::failure(QStringLiteral("cannot make ") + path, errno == ENOSPC);
    return Step::success();
}

JetImport::FileSystem::Step JetImport::FileSystem::remove(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return Step::success();
    if (info.isDir() || !QFile::remove(path))
        return Step::failure(QStringLiteral("cannot remove ") + path);
    return Step::success();
}

JetImport::FileSystem::Step JetImport::FileSystem::copyNew(const QString& from, const QString& to)
{
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly))
        return Step::failure(source.errorString());
    QFile target(to);
    if (!target.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return Step::failure(target.errorString(), errno == ENOSPC);
    auto abandon = [&](const QString& why, bool noSpace) {
        target.close();
        QFile::remove(to);
        return Step::failure(why, noSpace);
    };
    QByteArray chunk;
    for (;;) {
        chunk = source.read(1 << 20);
        if (chunk.isEmpty()) {
            if (source.error() != QFileDevice::NoError)
                return abandon(source.errorString(), false);
            break;
        }
        errno = 0;
        if (target.write(chunk) != chunk.size() || !target.flush())
            return abandon(target.errorString(), errno == ENOSPC || errno == EDQUOT);
    }
    errno = 0;
    if (::fsync(target.handle()) != 0)
        return abandon(QStringLiteral("cannot sync ") + to, errno == ENOSPC || errno == EDQUOT);
    target.close();
    return Step::success();
}

JetImport::FileSystem::Step JetImport::FileSystem::compare(const QString& original, const QString& copy)
{
    QFile a(original), b(copy);
    if (!a.open(QIODevice::ReadOnly) || !b.open(QIODevice::ReadOnly))
        return Step::failure(QStringLiteral("cannot read back ") + copy);
    if (a.size() != b.size())
        return Step::failure(QStringLiteral("the copy differs in size"));
    for (;;) {
        const QByteArray x = a.read(1 << 20);
        const QByteArray y = b.read(1 << 20);
        if (x != y)
            return Step::failure(QStringLiteral("the copy differs"));
        if (x.isEmpty())
            return a.error() == QFileDevice::NoError && b.error() == QFileDevice::NoError
                       ? Step::success()
                       : Step::failure(QStringLiteral("cannot read back ") + copy);
    }
}

JetImport::FileSystem::Step JetImport::FileSystem::replace(const QString& from, const QString& to)
{
    // The converted book was synced when it was written.
    if (const Result renamed = DurableFile::rename(from, to); !renamed)
        return Step::failure(QStringLiteral("cannot replace ") + to, renamed.cause == Result::Cause::DiskFull);
    return Step::success();
}

JetImport::FileSystem& JetImport::FileSystem::real()
{
    static FileSystem fs;
    return fs;
}

JetImport::Settings& JetImport::settings()
{
    static Settings s;
    return s;
}

QString JetImport::keptOriginalPath(const QString& backupDir, const QString& dbFileName)
{
    const QString base = QFileInfo(dbFileName).completeBaseName();
    const QString suffix = QFileInfo(dbFileName).suffix();
    const QString plain = QStringLiteral("%1/%2 (Jet).%3").arg(backupDir, base, suffix);
    if (!QFileInfo::exists(plain) && !QFileInfo(plain).isSymLink())
        return plain;
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HHmmss"));
    QString dated = QStringLiteral("%1/%2 (Jet %3).%4").arg(backupDir, base, stamp, suffix);
    for (int n = 2; QFileInfo::exists(dated) || QFileInfo(dated).isSymLink(); ++n)
        dated = QStringLiteral("%1/%2 (Jet %3 %4).%5").arg(backupDir, base, stamp).arg(n).arg(suffix);
    return dated;
}

QString JetImport::progressText(qint64 done, qint64 total)
{
    // Once every memo is across, the indexes that keep searching fast are made.
    const QString step = total > 0 && done >= total ? QStringLiteral("検索用の索引を作っています。")
                                                    : QStringLiteral("メモ %1 / %2 件").arg(done).arg(total);
    return QStringLiteral("古いメモ帳を新しい形式に変換しています。\n") + step;
}

QString JetImport::successText(qint64 memos, qint64 applications, const QString& keptAt)
{
    return QStringLiteral("古いメモ帳（IDATA2.mdb）を新しい形式に変換しました。") + Crlf +
           QStringLiteral("メモ %1 件、アプリケーション %2 件を移しました。").arg(memos).arg(applications) + Crlf +
           QStringLiteral("元のファイルは次の場所にそのまま残してあります。") + Crlf + QDir::toNativeSeparators(keptAt);
}

QString JetImport::failureText(Step step, Conversion outcome, bool noSpace, const QString& file, const QString& wayOn)
{
    const QString readOnlyFolder =
        QStringLiteral("プログラムのフォルダに書き込めません。読み取り専用になっていないか確認して下さい。");
    // What the child reported, where the step alone does not tell.
    const std::pair<Conversion, QString> reasons[] = {
        {Conversion::NoMemoTable,
         QStringLiteral("ファイルに「メモ帳」の表がありません。このプログラムのデータではありません。")},
        {Conversion::TimedOut,
         QStringLiteral("変換が時間内に終わりませんでした。ファイルが壊れている可能性があります。")},
        {Conversion::Unreadable,
         QStringLiteral("ファイルを読み取れません。他のプログラムが使用中か、読み取りが許可されていません。")},
        {Conversion::Usage, QStringLiteral("変換のためのプログラムを起動出来ません。")}};
    QString why = QStringLiteral("ファイルが壊れているため、読み取れません。");
    if (noSpace || outcome == Conversion::NoSpace) {
        why = QStringLiteral("ディスクの空き容量が足りません。");
    } else if (step == Step::BackupFolder || step == Step::BackupCopy || step == Step::BackupCheck) {
        why = QStringLiteral("元のファイルを「Back Up」フォルダに保存出来ません。");
    } else if (step == Step::Replace || outcome == Conversion::CannotWrite || outcome == Conversion::TargetExists) {
        why = readOnlyFolder;
    } else {
        for (const auto& [reported, text] : reasons) {
            if (reported == outcome)
                why = text;
        }
    }
    QString text = QStringLiteral("古いメモ帳（IDATA2.mdb）を変換出来ませんでした。") + Crlf + why + Crlf +
                   QStringLiteral("元のファイルは変更していません。次に起動した時にもう一度変換します。");
    if (!file.isEmpty())
        text += Crlf + Crlf + QStringLiteral("ファイル：") + QDir::toNativeSeparators(file);
    // A file that is no memo book, or cannot be read as one, will not convert the next time
    // either: the user is told how to start without it.
    const bool theFile = step == Step::Convert && !noSpace &&
                         (outcome == Conversion::Damaged || outcome == Conversion::NoMemoTable ||
                          outcome == Conversion::TimedOut || outcome == Conversion::OutOfMemory);
    if (theFile && !wayOn.isEmpty())
        text += Crlf + QString(wayOn).replace(QLatin1Char('\r'), Crlf);
    return text;
}

JetImport::Outcome JetImport::convertAtStartup(const QString& dbPath, const QString& backupDir, const QString& wayOn)
{
    const Failing failing{dbPath, wayOn};
    if (JetFormat::kindOf(dbPath) == JetFormat::Kind::NotJet)
        return Outcome::NotJet;
    FileSystem& fs = FileSystem::instance();
    const QString converted = dbPath + QStringLiteral(".converting");

    // A converted file left by an interrupted start is of no use: the conversion runs again.
    if (FileSystem::Step step = fs.remove(converted); !step) {
        showFailure(failing, Step::Convert, JetConversion::Outcome::CannotWrite);
        return Outcome::Failed;
    }
    const ChildResult child = runConversion(dbPath, converted);
    if (child.outcome != JetConversion::Outcome::Converted || !QFileInfo(converted).isFile()) {
        fs.remove(converted);
        showFailure(failing, Step::Convert,
                    child.outcome == JetConversion::Outcome::Converted ? JetConversion::Outcome::Damaged
                                                                       : child.outcome);
        return Outcome::Failed;
    }

    // The original is kept before it is replaced, under a name that no later start overwrites.
    auto abandon = [&](Step step, const FileSystem::Step& why) {
        qCWarning(lcStartup, "conversion of %s: %s", qUtf8Printable(dbPath), qUtf8Printable(why.why));
        fs.remove(converted);
        showFailure(failing, step, JetConversion::Outcome::Converted, why.noSpace);
        return Outcome::Failed;
    };
    if (FileSystem::Step step = fs.makeDir(backupDir); !step)
        return abandon(Step::BackupFolder, step);
    const QString kept = keptOriginalPath(backupDir, QFileInfo(dbPath).fileName());
    if (FileSystem::Step step = fs.copyNew(dbPath, kept); !step)
        return abandon(Step::BackupCopy, step);
    if (FileSystem::Step step = fs.compare(dbPath, kept); !step) {
        fs.remove(kept);
        return abandon(Step::BackupCheck, step);
    }
    if (FileSystem::Step step = fs.replace(converted, dbPath); !step) {
        // The original stays where it is, so its copy would only be a stray for the next try.
        fs.remove(kept);
        return abandon(Step::Replace, step);
    }

    MessageBox::instance().ask({successText(child.memos, child.applications, kept), AppInfo::Title,
                                MessageBox::Icon::Information, MessageBox::Buttons::Ok, MessageBox::Answer::Ok});
    return Outcome::Converted;
}
