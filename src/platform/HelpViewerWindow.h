#pragma once

#include "platform/HelpViewer.h"

#include <QPointer>
#include <QWidget>

class QTextBrowser;

// The program's own help viewer window (one for the whole program).
class HelpViewerWindow : public QWidget
{
    Q_OBJECT

public:
    explicit HelpViewerWindow(QWidget* parent = nullptr);

    void openFile(const QString& path);
    void showTopic(const QString& topic);
    QString currentFile() const { return m_file; }

    // The one window, made on first use.
    static HelpViewerWindow* window();
    static HelpViewer& service();

private:
    QTextBrowser* m_browser = nullptr;
    QString m_file;
};
