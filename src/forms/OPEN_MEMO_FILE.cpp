#include "forms/OPEN_MEMO_FILE.h"

#include "core/Log.h"
#include "db/Catalogue.h"
#include "db/RecordSet.h"
#include "platform/HelpViewer.h"
#include "platform/KeyNotation.h"
#include "platform/KeySender.h"
#include "platform/ProcessStarter.h"
#include "viewer/OldFiles.h"
#include "widgets/TextBox.h"

namespace {
const QString HelpViewerProgram = QStringLiteral("WINHLP32.EXE");

// The file is one argument, blanks and all; no file is no argument.
QStringList asArguments(const QString& file)
{
    return file.isEmpty() ? QStringList() : QStringList{file};
}

bool isBlank(const QString& text)
{
    return text.isEmpty() || text == QLatin1String(" ");
}

// Starts the help viewer on the file and drives it to the keyword.
void openInViewer(const QString& file, const QString& keyword, bool keysForBlankKeyword)
{
    const ProcessStarter::Command viewer{HelpViewerProgram + QLatin1Char(' ') + file, HelpViewerProgram,
                                         asArguments(file)};
    if (Result started = ProcessStarter::instance().start(viewer); !started) {
        qCWarning(lcProcess, "the help viewer did not start: %s", qUtf8Printable(started.message));
        return;
    }
    if (isBlank(keyword) && !keysForBlankKeyword)
        return;
    KeySender& keys = KeySender::instance();
    // The keyword is typed as it stands; characters of the notation do not press keys.
    for (const QString& text : {QStringLiteral("%I"), KeyNotation::escape(keyword), QStringLiteral("%D")}) {
        if (Result sent = keys.send(text, true); !sent) {
            qCWarning(lcViewer, "keys for the help viewer: %s", qUtf8Printable(sent.message));
            return;
        }
    }
}

// What the viewer says when it opens a file in place of the program registered for it.
QString programNotStarted(const QString& applicationId, const QString& program, const QString& why)
{
    return QStringLiteral(
               "アプリケーションID「%1」に登録されたプログラム「%2」は、%3このコンピューターでは起動できません。"
               "そのため、ファイルをここで開きました。")
               .arg(applicationId.trimmed(), program.trimmed(), why) +
           QLatin1Char('\n') +
           QStringLiteral(
               "アプリケーション登録で、このアプリケーションIDにこのコンピューターのプログラムを登録できます。");
}
} // namespace

void OPEN_MEMO_FILE(const QString& applicationId, const QString& file, const QString& keyword, RecordSet& pathRecordSet,
                    const TextBox& foundPath, const TextBox& foundApplicationId, bool keysForBlankKeyword)
{
    pathRecordSet.setRecordSource(Catalogue::applicationLookup(applicationId));
    if (!pathRecordSet.refresh())
        return;
    const QString programPath = foundPath.text();
    const QString foundId = foundApplicationId.text();

    // Not registered, or registered for the help viewer: the file opens in the help viewer,
    // which is then driven to the keyword.
    if (foundId == QLatin1String("HLP") || isBlank(foundId)) {
        openInViewer(file, keyword, keysForBlankKeyword);
        return;
    }

    // The old program's registrations name Windows programs, which cannot run here: the file
    // is shown by the viewer (or the desktop) instead, and the user told why.
    if (OldFiles::isWindowsPath(programPath)) {
        HelpViewer::instance().setNotice(
            programNotStarted(foundId, programPath, QStringLiteral("Windows のプログラムのため、")));
        openInViewer(file, keyword, keysForBlankKeyword);
        return;
    }
    // A file named by a Windows path is handed over where the user's old files are now; one that
    // is not found there goes to the viewer, which asks where they are and says why.
    QString local = file;
    if (OldFiles::isWindowsPath(file)) {
        const OldFiles::Resolution found = OldFiles::resolve(file);
        if (found.found != OldFiles::Found::Resolved) {
            openInViewer(file, keyword, keysForBlankKeyword);
            return;
        }
        local = found.path;
    }
    const ProcessStarter::Command program{programPath + QLatin1Char(' ') + local, programPath, asArguments(local)};
    if (Result started = ProcessStarter::instance().start(program); !started) {
        qCWarning(lcProcess, "%s did not start: %s", qUtf8Printable(programPath), qUtf8Printable(started.message));
        HelpViewer::instance().setNotice(programNotStarted(
            foundId, programPath, QStringLiteral("見つからないか、実行できるファイルではないため、")));
        openInViewer(file, keyword, keysForBlankKeyword);
    }
}
