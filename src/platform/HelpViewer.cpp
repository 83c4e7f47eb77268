#include "platform/HelpViewer.h"

#include "platform/HelpViewerWindow.h"

namespace {
HelpViewer* g_override = nullptr;
QString g_applicationHelpFile;
} // namespace

void HelpViewer::setApplicationHelpFile(const QString& path)
{
    g_applicationHelpFile = path;
}

QString HelpViewer::applicationHelpFile()
{
    return g_applicationHelpFile;
}

HelpViewer& HelpViewer::instance()
{
    return g_override ? *g_override : HelpViewerWindow::service();
}

void HelpViewer::setInstance(HelpViewer* viewer)
{
    g_override = viewer;
}
