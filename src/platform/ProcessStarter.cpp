#include "platform/ProcessStarter.h"

#include "platform/HelpViewer.h"

#include <QProcess>

namespace {

const QString HelpViewerProgram = QStringLiteral("WINHLP32.EXE");

class QtProcessStarter final : public ProcessStarter
{
public:
    Result start(const Command& command) override
    {
        // The system help viewer is the program's own viewer window here.
        if (command.program.compare(HelpViewerProgram, Qt::CaseInsensitive) == 0)
            return HelpViewer::instance().showFile(command.arguments.value(0));
        if (command.program.trimmed().isEmpty())
            return Result::failure(QStringLiteral("no program to start"));
        // No shell: the file reaches the program as one argument, blanks and all. The start
        // fails when the program cannot be executed (missing, not executable, a folder).
        qint64 pid = 0;
        if (!QProcess::startDetached(command.program, command.arguments, QString(), &pid))
            return Result::failure(QStringLiteral("cannot start ") + command.program);
        return Result::success();
    }
};

} // namespace

ProcessStarter& ProcessStarter::real()
{
    static QtProcessStarter real;
    return real;
}
