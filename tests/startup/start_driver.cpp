// Starts the program once on a program folder, as the program starts, and says how start-up
// ended; the start-up tests run it as a child process, to kill it at random moments or to
// run it as another user.
//   orv_start_driver <program folder>
// Prints "STARTING" first, "COPYING" and "COPIED" around the copy of the memo book, then
// "STARTED", or "REFUSED" after the message shown; exit code 0 for a start, 3 for a refusal.

#include "core/BackgroundTask.h"
#include "db/DatabaseBackup.h"
#include "forms/Application.h"
#include "forms/Session.h"
#include "platform/MessageBox.h"
#include "startup/ORVAM.h"
#include "startup/VEZOVEDO.h"
#include "widgets/Appearance.h"

#include <QApplication>

#include <cstdio>

namespace {

// The message is written out and answered at once.
class PrintedMessageBox : public MessageBox
{
public:
    Answer ask(const Request& request) override
    {
        std::printf("MESSAGE %s\n", qPrintable(QString(request.text).replace(QLatin1Char('\r'), QLatin1Char('/'))));
        return request.defaultAnswer;
    }
    int choose(const Request& request, const QStringList&, int defaultChoice, int) override
    {
        ask(request);
        return defaultChoice;
    }
};

void say(const char* line)
{
    std::printf("%s\n", line);
    std::fflush(stdout);
}

// The real backup, saying when the copy starts and ends.
class NarratedBackup : public StartupBackup
{
public:
    DatabaseBackup::Outcome copy(const QString& from, const QString& to, const DatabaseBackup::Progress& progress,
                                 std::shared_ptr<DatabaseBackup::UncheckedCopy>& unchecked) override
    {
        say("COPYING");
        DatabaseBackup::Outcome copied = real().copy(from, to, progress, unchecked);
        say("COPIED");
        return copied;
    }
};

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: orv_start_driver <program folder>\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    Session session;
    Application app(argc, argv);
    Appearance::apply(app);
    PrintedMessageBox messages;
    MessageBox::setInstance(&messages);
    NarratedBackup backup;
    StartupBackup::setInstance(&backup);
    say("STARTING");
    const bool started = VEZOVEDO::Main(QString::fromLocal8Bit(argv[1]) + QStringLiteral("/orvalent"), session);
    BackgroundTask::waitForAll(); // the backup is checked beside the main window
    say(started ? "STARTED" : "REFUSED");
    if (ORVAM* window = ORVAM::ifLoaded())
        window->unload();
    MessageBox::setInstance(nullptr);
    StartupBackup::setInstance(nullptr);
    return started ? 0 : 3;
}
