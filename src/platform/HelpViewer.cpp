#include "platform/HelpViewer.h"

namespace {

QString g_applicationHelpFile;

// Until the viewer window is installed there is none to show a file in.
class NoViewer final : public HelpViewer
{
public:
    Result showFile(const QString&) override { return Result::failure(QStringLiteral("no help viewer")); }
    Result showTopic(const QString&, const QString&) override
    {
        return Result::failure(QStringLiteral("no help viewer"));
    }
};

HelpViewer* g_real = nullptr;

} // namespace

void HelpViewer::setApplicationHelpFile(const QString& path)
{
    g_applicationHelpFile = path;
}

QString HelpViewer::applicationHelpFile()
{
    return g_applicationHelpFile;
}

void HelpViewer::setReal(HelpViewer* viewer)
{
    g_real = viewer;
}

HelpViewer& HelpViewer::real()
{
    static NoViewer none;
    return g_real ? *g_real : none;
}
