#include "platform/ProcessStarter.h"

#include "platform/HelpViewer.h"

#include <QProcess>

namespace {

class QtProcessStarter final : public ProcessStarter
{
public:
    Result start(const Command& command) override
    {
        if (command.program.compare(QLatin1String("WINHLP32.EXE"), Qt::CaseInsensitive) == 0)
            return HelpViewer::instance().showFile(command.arguments.value(0));
        if (command.program.isEmpty())
            return Result::failure(QStringLiteral("no program to start"));
        if (!QProcess::startDetached(command.program, command.arguments))
            return Result::failure(QStringLiteral("cannot start ") + command.program);
        return Result::success();
    }
};

ProcessStarter* g_override = nullptr;

} // namespace

ProcessStarter& ProcessStarter::instance()
{
    static QtProcessStarter real;
    return g_override ? *g_override : real;
}

void ProcessStarter::setInstance(ProcessStarter* starter)
{
    g_override = starter;
}
