#pragma once

#include "platform/HelpViewer.h"

#include <QList>
#include <QStringList>
#include <QWidget>

#include <functional>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTabWidget;
class QTextDocument;
class QTextBrowser;
class QUrl;

// The program's own help viewer, in place of the system help viewer: one window for the
// whole program that shows an HTML or plain-text file, with an index tab "索引" of the
// file's topics (headings and named anchors). Alt+I puts the focus into the index's search
// box, typing there selects the nearest topic, Alt+D displays it. A file that it cannot
// show goes to the desktop's default application.
//
// It is not one of the program's windows: it does not keep the program running and does
// not count as a window that the user comes back from.
class HelpViewerWindow : public QWidget
{
    Q_OBJECT

public:
    struct Topic
    {
        QString title;
        QStringList anchors;
        int position = 0; // in the document
        int level = 0;    // heading level, 0 for an anchor outside a heading
    };

    explicit HelpViewerWindow(QWidget* parent = nullptr);

    // Shows a file in place of the one shown; an empty or missing path shows a line that
    // says what is missing.
    void openFile(const QString& path);
    // Displays the topic that carries this anchor name; false when the file has none.
    bool showTopic(const QString& anchor);
    // Shows, raises and activates the window and waits until the focus is in it, so that
    // keys sent next land here; false when it did not get the focus in time.
    bool showAndWaitForFocus(int timeoutMs = 2000);

    QString currentFile() const { return m_file; }
    QList<Topic> topics() const { return m_topics; }
    // The topic last displayed, -1 for none.
    int displayedTopic() const { return m_displayed; }
    // The line above the page that says why nothing or something else is shown.
    QString message() const;

    // The index of a document: its headings, and the named anchors outside headings.
    static QList<Topic> readTopics(const QTextDocument& document);
    // The index of a file's content as the viewer would show it; empty for a file that it
    // hands to another program.
    static QList<Topic> indexOf(const QByteArray& data, const QString& path);

    // The one window, made on first use.
    static HelpViewerWindow* window();
    // The window if it has been made.
    static HelpViewerWindow* existing();
    static HelpViewer& service();
    // Makes this window the program's help viewer (HelpViewer::real()); once, at start.
    static void install();

    // Hands a file to the desktop's default application (QDesktopServices::openUrl unless
    // replaced; nullptr restores it). Returns whether an application took it.
    using DesktopOpener = std::function<bool(const QUrl&)>;
    static void setDesktopOpener(DesktopOpener opener);
    static bool openWithDesktop(const QUrl& url);

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void clearPage();
    void setMessage(const QString& text);
    void showDocument(const QString& html, bool isHtml);
    void selectNearest(const QString& typed);
    void displaySelected();
    void displayTopic(int index);
    void handOver(const QString& path);
    void followLink(const QUrl& url);
    bool hasFocusHere() const;

    QTabWidget* m_tabs = nullptr;
    QLineEdit* m_search = nullptr;
    QListWidget* m_list = nullptr;
    QPushButton* m_display = nullptr;
    QLabel* m_message = nullptr;
    QTextBrowser* m_browser = nullptr;
    QString m_file;
    QList<Topic> m_topics;
    int m_displayed = -1;
    bool m_placed = false;
};
