#include "forms/OPEN_MEMO_FILE.h"

#include "core/Log.h"
#include "db/Catalogue.h"
#include "db/RecordSet.h"
#include "platform/KeyNotation.h"
#include "platform/KeySender.h"
#include "platform/ProcessStarter.h"
#include "platform/TextBox.h"

namespace {
const QString HelpViewerProgram = QStringLiteral("WINHLP32.EXE");

// The file is one argument, blanks and all; no file is no argument.
QStringList asArguments(const QString& file)
{
    return file.isEmpty() ? QStringList() : QStringList{file};
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
    if (foundId == QLatin1String("HLP") || foundId.isEmpty() || foundId == QLatin1String(" ")) {
        const ProcessStarter::Command viewer{HelpViewerProgram + QLatin1Char(' ') + file, HelpViewerProgram,
                                             asArguments(file)};
        if (Result started = ProcessStarter::instance().start(viewer); !started) {
            qCWarning(lcProcess, "the help viewer did not start: %s", qUtf8Printable(started.message));
            return;
        }
        const bool blankKeyword = keyword.isEmpty() || keyword == QLatin1String(" ");
        if (blankKeyword && !keysForBlankKeyword)
            return;
        KeySender& keys = KeySender::instance();
        // The keyword is typed as it stands; characters of the notation do not press keys.
        for (const QString& text : {QStringLiteral("%I"), KeyNotation::escape(keyword), QStringLiteral("%D")}) {
            if (Result sent = keys.send(text, true); !sent) {
                qCWarning(lcViewer, "keys for the help viewer: %s", qUtf8Printable(sent.message));
                return;
            }
        }
        return;
    }

    const ProcessStarter::Command program{programPath + QLatin1Char(' ') + file, programPath, asArguments(file)};
    if (Result started = ProcessStarter::instance().start(program); !started)
        qCWarning(lcProcess, "%s did not start: %s", qUtf8Printable(programPath), qUtf8Printable(started.message));
}
