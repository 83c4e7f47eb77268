#pragma once

#include "platform/HelpViewer.h"
#include "viewer/HelpDocument.h"

#include <QList>
#include <QStringList>
#include <QTextCursor>
#include <QWidget>

#include <functional>
#include <memory>

class ArchiveBrowser;
class ChmArchive;
class PdfPane;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QStackedWidget;
class QTabWidget;
class QTextDocument;
class QUrl;

// The program's own help viewer, in place of the system help viewer: one window for the whole
// program that shows an HTML or plain-text file, a PDF or a compiled HTML help file (.chm), with
// an index tab "索引" of the file's topics: HTML headings and named anchors, a PDF's outline, a
// help file's keyword index (its contents beside it, "目次"). Alt+I puts the focus into the
// index's search box, typing there selects the nearest topic, Alt+D displays it; words that no
// topic begins with are looked for in the text and shown where they first stand, F3 and Shift+F3
// going on to the next and back. A line under the page says where the reader is.
//
// The old program's files, named by Windows paths, are looked for where the user says they
// are now. A file that it cannot show goes to the desktop's default application; a file that
// nothing here shows is described, with a button that opens its folder.
//
// It is not one of the program's windows: it does not keep the program running and does not
// count as a window that the user comes back from.
class HelpViewerWindow : public QWidget
{
    Q_OBJECT

public:
    using Topic = HelpDocument::Topic;

    explicit HelpViewerWindow(QWidget* parent = nullptr);
    ~HelpViewerWindow() override;

    // Shows a file in place of the one shown; an empty or missing path shows a line that
    // says what is missing.
    void openFile(const QString& path);
    // Displays the topic that carries this anchor name; false when the file has none.
    bool showTopic(const QString& anchor);
    // Shows, raises and activates the window and waits until the focus is in it, so that
    // keys sent next land here; false when it did not get the focus in time.
    bool showAndWaitForFocus(int timeoutMs = 2000);
    // A word to the user shown with the next file opened (what could not be done instead).
    void setNotice(const QString& text) { m_notice = text; }

    QString currentFile() const { return m_file; }
    // The file shown, where a Windows path of the old program has been found.
    QString shownPath() const { return m_shownPath; }
    HelpDocument::Kind shownKind() const { return m_kind; }
    QList<Topic> topics() const { return m_topics; }
    // The topic last displayed, -1 for none.
    int displayedTopic() const { return m_displayed; }
    // The line above the page that says why nothing or something else is shown.
    QString message() const;
    // The line under the page that says where the reader is.
    QString where() const;
    // The words looked for in the text: their hits, and the one shown (-1 for none).
    int hitCount() const;
    int currentHit() const;
    PdfPane* pdfPane() const { return m_pdf; }

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
    void showWhere();
    // Where a Windows path of the old program stands here; empty (and the reason shown) when
    // it is not found.
    QString localPath(const QString& path);
    void openLocal(const QString& path);
    void showText(const QString& text, bool isHtml);
    void openArchive(const QString& path);
    void showMember(const QString& member);
    void openPdf(const QString& path);
    void fillIndex();
    void selectNearest(const QString& typed);
    void displaySelected();
    void displayTopic(int index);
    void findInText(const QString& words);
    void markHits();
    void goToHit(int index);
    void nextHit();
    void previousHit();
    void cannotShow(const QString& path, const QByteArray& head);
    void followLink(const QUrl& url);
    void chooseOldFilesFolders();
    // A file that was not found is shown once a folder has been chosen where it is.
    void openAgainIfFound();
    bool hasFocusHere() const;

    QTabWidget* m_tabs = nullptr;
    QLineEdit* m_search = nullptr;
    QListWidget* m_list = nullptr;
    QListWidget* m_contents = nullptr;
    QPushButton* m_display = nullptr;
    QPushButton* m_oldFiles = nullptr;
    QLabel* m_message = nullptr;
    QPushButton* m_openFolder = nullptr;
    QStackedWidget* m_pages = nullptr;
    ArchiveBrowser* m_browser = nullptr;
    PdfPane* m_pdf = nullptr;
    QLabel* m_where = nullptr;

    QString m_file;
    QString m_shownPath;
    QString m_notice;
    QString m_folderToOpen;
    HelpDocument::Kind m_kind = HelpDocument::Kind::Other;
    std::unique_ptr<ChmArchive> m_chm;
    QString m_member;
    QList<Topic> m_topics;
    QList<Topic> m_contentsTopics;
    int m_displayed = -1;
    // The user chose the topic in the list, not the typing in the search box.
    bool m_chosenInList = false;
    QString m_words;
    QList<QTextCursor> m_hits;
    int m_hit = -1;
    bool m_placed = false;
};
