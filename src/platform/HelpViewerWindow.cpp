#include "platform/HelpViewerWindow.h"

#include <QFile>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

HelpViewerWindow::HelpViewerWindow(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("HelpViewer"));
    setAttribute(Qt::WA_QuitOnClose, false);
    m_browser = new QTextBrowser(this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_browser);
    resize(640, 480);
}

void HelpViewerWindow::openFile(const QString& path)
{
    m_file = path;
    m_browser->setSource(QUrl::fromLocalFile(path), QTextDocument::HtmlResource);
}

void HelpViewerWindow::showTopic(const QString& topic)
{
    m_browser->scrollToAnchor(topic);
}

HelpViewerWindow* HelpViewerWindow::window()
{
    static QPointer<HelpViewerWindow> one;
    if (!one)
        one = new HelpViewerWindow;
    return one;
}

namespace {
class WindowService final : public HelpViewer
{
public:
    Result showFile(const QString& path) override
    {
        HelpViewerWindow* w = HelpViewerWindow::window();
        w->openFile(path);
        w->show();
        w->raise();
        w->activateWindow();
        return Result::success();
    }
    Result showTopic(const QString& path, const QString& topic) override
    {
        Result r = showFile(path);
        HelpViewerWindow::window()->showTopic(topic);
        return r;
    }
};
} // namespace

HelpViewer& HelpViewerWindow::service()
{
    static WindowService one;
    return one;
}
