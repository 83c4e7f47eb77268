#include "platform/HelpViewer.h"

#include "platform/HelpViewerWindow.h"

namespace {
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

HelpViewer& HelpViewer::real()
{
    return HelpViewerWindow::service();
}
