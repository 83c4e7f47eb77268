#include "viewer/HelpViewerWindow.h"

#include "viewer/ChmArchive.h"
#include "viewer/OldFiles.h"
#include "viewer/OldFilesWindow.h"
#include "viewer/PdfPane.h"
#include "viewer/PdfText.h"
#include "widgets/Accessibility.h"
#include "widgets/Appearance.h"
#include "widgets/EventWait.h"
#include "widgets/Placement.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QSplitter>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <numeric>

using HelpDocument::Kind;

// The page of an HTML, text or compiled help file. A compiled help file's pages name their
// pictures and style sheets inside the file, where only the viewer can read them.
class ArchiveBrowser : public QTextBrowser
{
public:
    using QTextBrowser::QTextBrowser;
    std::function<QVariant(int type, const QUrl& name)> resources;

    QVariant loadResource(int type, const QUrl& name) override
    {
        if (resources) {
            const QVariant found = resources(type, name);
            if (found.isValid())
                return found;
        }
        return QTextBrowser::loadResource(type, name);
    }
};

namespace {

QPointer<HelpViewerWindow> g_window;
HelpViewerWindow::DesktopOpener g_desktopOpener;

// Text files beyond this size go to the desktop instead of being read whole.
constexpr qint64 MaxShownSize = 32 * 1024 * 1024;
// What is read of a file to tell its kind.
constexpr qint64 HeadSize = 4096;

using HelpDocument::fileName;
using HelpDocument::searchForm;

} // namespace

HelpViewerWindow::HelpViewerWindow(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("HelpViewer"));
    Accessibility::markAsWindow(this, false);
    // The viewer never keeps the program running after its last window has closed.
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowIcon(Appearance::programIcon());
    setWindowTitle(QStringLiteral("ヘルプ"));

    m_tabs = new QTabWidget;
    m_tabs->setObjectName(QStringLiteral("tabs"));
    auto* index = new QWidget;
    index->setObjectName(QStringLiteral("indexPage"));
    auto* searchLabel = new QLabel(QStringLiteral("調べたい語を入力してください (Alt+I)"));
    searchLabel->setWordWrap(true);
    m_search = new QLineEdit;
    m_search->setObjectName(QStringLiteral("searchBox"));
    m_search->setAccessibleName(QStringLiteral("調べたい語"));
    auto* listLabel = new QLabel(QStringLiteral("トピックを選んで [表示] を押してください"));
    listLabel->setWordWrap(true);
    m_list = new QListWidget;
    m_list->setObjectName(QStringLiteral("topicList"));
    m_list->setAccessibleName(QStringLiteral("トピック"));
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setTextElideMode(Qt::ElideRight);
    m_display = new QPushButton(QStringLiteral("表示 (Alt+D)"));
    m_display->setObjectName(QStringLiteral("displayButton"));
    m_oldFiles = new QPushButton(QStringLiteral("以前のファイルの場所…"));
    m_oldFiles->setObjectName(QStringLiteral("oldFilesButton"));
    auto* indexLayout = new QVBoxLayout(index);
    indexLayout->addWidget(searchLabel);
    indexLayout->addWidget(m_search);
    indexLayout->addWidget(listLabel);
    indexLayout->addWidget(m_list, 1);
    indexLayout->addWidget(m_display);
    indexLayout->addWidget(m_oldFiles);
    m_tabs->addTab(index, QStringLiteral("索引"));
    // A compiled help file's contents, as its own viewer showed them beside the index.
    m_contents = new QListWidget;
    m_contents->setObjectName(QStringLiteral("contentsList"));
    m_contents->setAccessibleName(QStringLiteral("目次"));
    m_contents->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_contents->setTextElideMode(Qt::ElideRight);

    m_message = new QLabel;
    m_message->setObjectName(QStringLiteral("messageLine"));
    m_message->setWordWrap(true);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_message->setStyleSheet(
        QStringLiteral("QLabel { background: #fff8dc; border: 1px solid #d8c890; padding: 6px; }"));
    m_message->hide();
    m_openFolder = new QPushButton(QStringLiteral("フォルダを開く"));
    m_openFolder->setObjectName(QStringLiteral("openFolderButton"));
    m_openFolder->hide();
    m_browser = new ArchiveBrowser;
    m_browser->setObjectName(QStringLiteral("browser"));
    // Links are followed here: anchors in the page, other pages beside it, the web outside.
    m_browser->setOpenLinks(false);
    m_browser->resources = [this](int type, const QUrl& name) -> QVariant {
        if (m_kind != Kind::Chm || !m_chm || name.scheme().size() > 1)
            return {};
        const QString member = ChmArchive::resolve(m_member, name.toString(QUrl::RemoveFragment));
        if (member.isEmpty() || !m_chm->contains(member))
            return {};
        const QByteArray data = m_chm->read(member);
        if (type == QTextDocument::StyleSheetResource || type == QTextDocument::HtmlResource)
            return HelpDocument::decodeHtml(data);
        return data;
    };
    m_pdf = new PdfPane;
    m_pages = new QStackedWidget;
    // Else a screen reader reads the whole page as the name of the pane around it.
    m_pages->setAccessibleName(QStringLiteral("ファイルの内容"));
    m_pages->addWidget(m_browser);
    m_pages->addWidget(m_pdf);
    m_where = new QLabel;
    m_where->setObjectName(QStringLiteral("whereLine"));
    Accessibility::markAsStatus(m_where);
    auto* page = new QWidget;
    auto* pageLayout = new QVBoxLayout(page);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    auto* messageRow = new QHBoxLayout;
    messageRow->addWidget(m_message, 1);
    messageRow->addWidget(m_openFolder, 0, Qt::AlignTop);
    pageLayout->addLayout(messageRow);
    pageLayout->addWidget(m_pages, 1);
    pageLayout->addWidget(m_where);

    auto* splitter = new QSplitter;
    splitter->addWidget(m_tabs);
    splitter->addWidget(page);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({260, 560});
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(splitter);
    resize(840, 560);

    // Own shortcuts rather than mnemonics: a mnemonic clicks a button only some time later,
    // and keys sent right after must find the topic already displayed.
    auto* toSearch = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_I), this);
    connect(toSearch, &QShortcut::activated, this, [this] {
        m_tabs->setCurrentIndex(0);
        m_search->setFocus(Qt::ShortcutFocusReason);
        m_search->selectAll();
    });
    auto* display = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_D), this);
    connect(display, &QShortcut::activated, this, &HelpViewerWindow::displaySelected);
    // Esc and Ctrl+W close the viewer, as Esc closes the version window and the message boxes.
    for (const QKeySequence& keys : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)})
        connect(new QShortcut(keys, this), &QShortcut::activated, this, &QWidget::close);
    connect(new QShortcut(QKeySequence(Qt::Key_F3), this), &QShortcut::activated, this, &HelpViewerWindow::nextHit);
    connect(new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), this), &QShortcut::activated, this,
            &HelpViewerWindow::previousHit);
    connect(m_display, &QPushButton::clicked, this, &HelpViewerWindow::displaySelected);
    connect(m_oldFiles, &QPushButton::clicked, this, &HelpViewerWindow::chooseOldFilesFolders);
    connect(m_openFolder, &QPushButton::clicked, this, [this] {
        if (!m_folderToOpen.isEmpty() && !openWithDesktop(QUrl::fromLocalFile(m_folderToOpen)))
            setMessage(message() + QStringLiteral("\nフォルダを開くことのできるアプリケーションが見つかりません。"));
    });
    connect(m_search, &QLineEdit::textChanged, this, &HelpViewerWindow::selectNearest);
    connect(m_search, &QLineEdit::returnPressed, this, &HelpViewerWindow::displaySelected);
    connect(m_list, &QListWidget::itemActivated, this, [this] {
        m_chosenInList = true;
        displaySelected();
    });
    connect(m_list, &QListWidget::itemClicked, this, [this] { m_chosenInList = true; });
    connect(m_contents, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        const int row = m_contents->row(item);
        if (row >= 0 && row < m_contentsTopics.size())
            showMember(m_contentsTopics.at(row).member);
    });
    connect(m_browser, &QTextBrowser::anchorClicked, this, &HelpViewerWindow::followLink);
    connect(m_pdf, &PdfPane::whereChanged, this, &HelpViewerWindow::showWhere);
    m_search->installEventFilter(this);
}

HelpViewerWindow::~HelpViewerWindow() = default;

void HelpViewerWindow::openFile(const QString& path)
{
    m_file = path;
    clearPage();
    setWindowTitle(path.isEmpty() ? QStringLiteral("ヘルプ") : QStringLiteral("ヘルプ - ") + fileName(path));
    const QString notice = std::exchange(m_notice, QString());
    if (path.isEmpty()) {
        setMessage(QStringLiteral("表示するファイルが指定されていません。"));
    } else if (const QString local = localPath(path); !local.isEmpty()) {
        m_shownPath = local;
        openLocal(local);
    }
    if (!notice.isEmpty())
        setMessage(message().isEmpty() ? notice : notice + QLatin1Char('\n') + message());
    showWhere();
}

QString HelpViewerWindow::localPath(const QString& path)
{
    if (!OldFiles::isWindowsPath(path))
        return path;
    OldFiles::Resolution found = OldFiles::resolve(path);
    // The first time a file of a drive or share is looked for, the user says where its files are.
    if (found.found == OldFiles::Found::NoRoot && !OldFilesWindow::askForRoot(path).isEmpty())
        found = OldFiles::resolve(path);
    if (found.found == OldFiles::Found::Resolved || found.found == OldFiles::Found::Local)
        return found.path;
    QString why = found.why;
    if (why.isEmpty())
        why = QStringLiteral("ファイル「%1」が見つかりません。").arg(path);
    setMessage(why + QStringLiteral("\n以前のファイルのあるフォルダは「以前のファイルの場所…」で選べます。"));
    return {};
}

void HelpViewerWindow::openLocal(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        setMessage(QStringLiteral("ファイル「%1」が見つかりません。").arg(path));
        return;
    }
    if (info.isDir()) {
        setMessage(QStringLiteral("「%1」はファイルではなくフォルダーです。").arg(path));
        return;
    }
    if (info.size() == 0) {
        setMessage(QStringLiteral("ファイル「%1」は空で、表示する内容がありません。").arg(path));
        return;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        setMessage(QStringLiteral("ファイル「%1」を読み込めません。").arg(path));
        return;
    }
    const QByteArray head = file.read(HeadSize);
    switch (HelpDocument::kindOf(head, path)) {
    case Kind::Pdf:
        openPdf(path);
        return;
    case Kind::Chm:
        openArchive(path);
        return;
    case Kind::Html:
    case Kind::Text:
        break;
    case Kind::Other:
        cannotShow(path, head);
        return;
    }
    if (info.size() > MaxShownSize) {
        cannotShow(path, head);
        return;
    }
    const HelpDocument::Loaded loaded = HelpDocument::load(head + file.readAll(), path);
    if (loaded.kind == Kind::Other) {
        cannotShow(path, head);
        return;
    }
    // Pictures and pages named in the file are looked for beside it.
    m_browser->setSearchPaths({info.absolutePath()});
    showText(loaded.text, loaded.kind == Kind::Html);
}

void HelpViewerWindow::clearPage()
{
    setMessage(QString());
    m_openFolder->hide();
    m_folderToOpen.clear();
    m_shownPath.clear();
    m_browser->clear();
    m_browser->setExtraSelections({});
    m_pdf->clear();
    m_chm.reset();
    m_member.clear();
    m_kind = Kind::Other;
    m_topics.clear();
    m_contentsTopics.clear();
    m_list->clear();
    m_contents->clear();
    const int contentsTab = m_tabs->indexOf(m_contents);
    if (contentsTab >= 0)
        m_tabs->removeTab(contentsTab);
    m_displayed = -1;
    m_chosenInList = false;
    m_words.clear();
    m_hits.clear();
    m_hit = -1;
    m_pages->setCurrentWidget(m_browser);
    const QSignalBlocker blocker(m_search);
    m_search->clear();
}

void HelpViewerWindow::setMessage(const QString& text)
{
    m_message->setText(text);
    m_message->setVisible(!text.isEmpty());
}

QString HelpViewerWindow::message() const
{
    return m_message->text();
}

QString HelpViewerWindow::where() const
{
    return m_where->text();
}

void HelpViewerWindow::showWhere()
{
    // The file, and in it the page or topic and the words' hit; or why nothing is shown.
    QStringList parts;
    if (!m_file.isEmpty())
        parts.append(fileName(m_file));
    if (m_kind == Kind::Pdf) {
        parts.append(m_pdf->where());
    } else if (m_kind != Kind::Other) {
        if (m_displayed >= 0 && m_displayed < m_topics.size())
            parts.append(QStringLiteral("「%1」").arg(m_topics.at(m_displayed).title));
        else if (m_kind == Kind::Chm && m_words.isEmpty() && !m_browser->documentTitle().isEmpty())
            parts.append(QStringLiteral("「%1」").arg(m_browser->documentTitle()));
        if (!m_words.isEmpty())
            parts.append(m_hits.isEmpty()
                             ? QStringLiteral("「%1」は見つかりません").arg(m_words)
                             : QStringLiteral("「%1」%2 件中 %3 件目").arg(m_words).arg(m_hits.size()).arg(m_hit + 1));
    } else if (!message().isEmpty()) {
        parts.append(QStringLiteral("表示できません"));
    }
    parts.removeAll(QString());
    Accessibility::announce(m_where, parts.join(QStringLiteral("　")));
}

void HelpViewerWindow::showText(const QString& text, bool isHtml)
{
    m_kind = isHtml ? Kind::Html : Kind::Text;
    m_pages->setCurrentWidget(m_browser);
    if (isHtml)
        m_browser->setHtml(HelpDocument::withStyleSheetTypes(text));
    else
        m_browser->setPlainText(text);
    m_topics = HelpDocument::readTopics(*m_browser->document());
    fillIndex();
    m_browser->verticalScrollBar()->setValue(0);
}

void HelpViewerWindow::fillIndex()
{
    // Sections stand indented under their chapters.
    const int top = std::accumulate(m_topics.cbegin(), m_topics.cend(), 6, [](int least, const Topic& t) {
        return t.level > 0 ? std::min(least, t.level) : least;
    });
    m_list->clear();
    for (const Topic& topic : std::as_const(m_topics)) {
        const int indent = topic.level > 0 ? topic.level - top : 1;
        auto* item = new QListWidgetItem(QString(qMax(0, indent), QChar(0x3000)) + topic.title, m_list);
        item->setToolTip(topic.title);
        if (indent == 0) {
            QFont bold = item->font();
            bold.setBold(true);
            item->setFont(bold);
        }
    }
    if (!m_topics.isEmpty())
        m_list->setCurrentRow(0);
}

void HelpViewerWindow::openPdf(const QString& path)
{
    const Result opened = m_pdf->open(path);
    if (!opened) {
        setMessage(QStringLiteral("「%1」を表示できません。").arg(fileName(path)) + QLatin1Char('\n') + opened.message);
        m_kind = Kind::Other;
        return;
    }
    m_kind = Kind::Pdf;
    m_pages->setCurrentWidget(m_pdf);
    // The outline is the index, as a help file's topics are.
    m_topics.clear();
    for (const PdfPane::Entry& entry : m_pdf->outline()) {
        Topic topic;
        topic.title = entry.title;
        topic.level = entry.level + 1;
        topic.page = entry.page;
        topic.location = entry.location;
        m_topics.append(topic);
    }
    fillIndex();
}

void HelpViewerWindow::openArchive(const QString& path)
{
    Result opened;
    m_chm = ChmArchive::open(path, &opened);
    if (!m_chm) {
        setMessage(QStringLiteral("「%1」は壊れているか、HTML ヘルプのファイルではないため、表示できません。")
                       .arg(fileName(path)));
        return;
    }
    m_kind = Kind::Chm;
    auto topicsOf = [](const QList<ChmArchive::Entry>& entries) {
        QList<Topic> topics;
        for (const ChmArchive::Entry& entry : entries) {
            Topic topic;
            topic.title = entry.name;
            topic.level = entry.level + 1;
            topic.member = entry.local;
            topics.append(topic);
        }
        return topics;
    };
    // The keyword index is the index, as in the help file's own viewer; without one, the contents.
    m_contentsTopics = topicsOf(m_chm->contents());
    m_topics = topicsOf(m_chm->keywordIndex());
    if (m_topics.isEmpty())
        m_topics = m_contentsTopics;
    for (const Topic& topic : std::as_const(m_contentsTopics))
        new QListWidgetItem(QString(qMax(0, topic.level - 1), QChar(0x3000)) + topic.title, m_contents);
    if (!m_contentsTopics.isEmpty())
        m_tabs->addTab(m_contents, QStringLiteral("目次"));
    fillIndex();
    showMember(m_chm->defaultTopic());
}

void HelpViewerWindow::showMember(const QString& member)
{
    if (!m_chm || member.isEmpty())
        return;
    const QString page = member.section(QLatin1Char('#'), 0, 0);
    const QString anchor = member.section(QLatin1Char('#'), 1);
    if (!page.isEmpty() && QString::compare(page, m_member.section(QLatin1Char('#'), 0, 0), Qt::CaseInsensitive) != 0) {
        Result read;
        const QByteArray data = m_chm->read(page, &read);
        if (!read) {
            setMessage(QStringLiteral("ヘルプファイルの中のページ「%1」を読み込めません。").arg(page));
            return;
        }
        m_member = page;
        m_pages->setCurrentWidget(m_browser);
        m_browser->setExtraSelections({});
        m_hits.clear();
        m_browser->setHtml(HelpDocument::withStyleSheetTypes(HelpDocument::decodeHtml(data)));
        m_browser->verticalScrollBar()->setValue(0);
    }
    if (!anchor.isEmpty())
        m_browser->scrollToAnchor(anchor);
    showWhere();
}

QList<HelpViewerWindow::Topic> HelpViewerWindow::indexOf(const QByteArray& data, const QString& path)
{
    const HelpDocument::Loaded loaded = HelpDocument::load(data, path);
    if (loaded.kind == Kind::Other)
        return {};
    QTextDocument document;
    if (loaded.kind == Kind::Html)
        document.setHtml(loaded.text);
    else
        document.setPlainText(loaded.text);
    return HelpDocument::readTopics(document);
}

void HelpViewerWindow::selectNearest(const QString& typed)
{
    m_chosenInList = false;
    if (m_topics.isEmpty())
        return;
    if (typed.isEmpty()) {
        m_list->setCurrentRow(0);
        return;
    }
    QStringList titles;
    for (const Topic& topic : std::as_const(m_topics))
        titles.append(searchForm(topic.title));
    // The topic that shares the longest beginning with what was typed, the first of equals.
    for (qsizetype length = typed.size(); length > 0; --length) {
        const QString prefix = searchForm(typed.left(length));
        for (int i = 0; i < titles.size(); ++i) {
            if (titles.at(i).startsWith(prefix)) {
                m_list->setCurrentRow(i);
                m_list->scrollToItem(m_list->item(i));
                return;
            }
        }
    }
    m_list->setCurrentRow(-1);
}

void HelpViewerWindow::displaySelected()
{
    const int row = m_list->currentRow();
    const QString typed = m_search->text();
    // A topic chosen in the list is shown; so is one that begins with all that was typed.
    if (row >= 0 && row < m_topics.size() &&
        (m_chosenInList || typed.isEmpty() || searchForm(m_topics.at(row).title).startsWith(searchForm(typed)))) {
        displayTopic(row);
        return;
    }
    // No topic begins with the words: they are looked for in the text itself.
    if (!typed.simplified().isEmpty())
        findInText(typed);
}

void HelpViewerWindow::displayTopic(int index)
{
    const Topic& topic = m_topics.at(index);
    m_displayed = index;
    m_words.clear();
    m_hits.clear();
    m_hit = -1;
    m_browser->setExtraSelections({});
    if (m_list->currentRow() != index)
        m_list->setCurrentRow(index);
    if (m_kind == Kind::Pdf) {
        m_pdf->showPage(topic.page, topic.location);
        showWhere();
        return;
    }
    if (m_kind == Kind::Chm) {
        showMember(topic.member);
        return;
    }
    QTextCursor cursor(m_browser->document());
    cursor.setPosition(topic.position);
    m_browser->setTextCursor(cursor);
    if (!topic.anchors.isEmpty()) {
        m_browser->scrollToAnchor(topic.anchors.first());
    } else {
        // A heading without an anchor: its line goes to the top of the page.
        QScrollBar* bar = m_browser->verticalScrollBar();
        bar->setValue(bar->value() + m_browser->cursorRect(cursor).top());
    }
    showWhere();
}

bool HelpViewerWindow::showTopic(const QString& anchor)
{
    for (Qt::CaseSensitivity cs : {Qt::CaseSensitive, Qt::CaseInsensitive}) {
        for (int i = 0; i < m_topics.size(); ++i) {
            if (m_topics.at(i).anchors.contains(anchor, cs)) {
                displayTopic(i);
                return true;
            }
        }
    }
    return false;
}

void HelpViewerWindow::findInText(const QString& words)
{
    m_displayed = -1;
    m_words = words.simplified();
    m_hits.clear();
    m_hit = -1;
    if (m_kind == Kind::Pdf) {
        m_pdf->find(m_words);
        showWhere();
        return;
    }
    if (m_kind == Kind::Chm && m_chm) {
        // The first page of the help file that holds the words, in the order of its contents.
        const QString needle = PdfText::fold(m_words).folded;
        auto holds = [this, &needle](const QString& member) {
            const PdfText::Page page =
                PdfText::fold(QTextDocumentFragment::fromHtml(
                                  HelpDocument::decodeHtml(m_chm->read(member.section(QLatin1Char('#'), 0, 0))))
                                  .toPlainText());
            return page.folded.contains(needle);
        };
        QStringList pages;
        if (!m_member.isEmpty())
            pages.append(m_member);
        for (const Topic& topic : std::as_const(m_contentsTopics))
            pages.append(topic.member.section(QLatin1Char('#'), 0, 0));
        for (const QString& member : std::as_const(pages)) {
            if (!member.isEmpty() && holds(member)) {
                showMember(member);
                break;
            }
        }
    }
    // The words' places in the page shown, folded as a PDF's text is.
    const PdfText::Page page = PdfText::fold(m_browser->document()->toPlainText());
    for (const PdfText::Hit& found : PdfText::findIn(page, PdfText::fold(m_words).folded)) {
        QTextCursor hit(m_browser->document());
        hit.setPosition(found.start);
        hit.setPosition(found.start + qMax(1, found.length), QTextCursor::KeepAnchor);
        m_hits.append(hit);
    }
    if (m_hits.isEmpty()) {
        m_browser->setExtraSelections({});
        showWhere();
        return;
    }
    goToHit(0);
}

void HelpViewerWindow::markHits()
{
    QList<QTextEdit::ExtraSelection> marks;
    for (int i = 0; i < m_hits.size(); ++i) {
        QTextEdit::ExtraSelection mark;
        mark.cursor = m_hits.at(i);
        mark.format.setBackground(i == m_hit ? QColor(255, 165, 0) : QColor(255, 235, 120));
        mark.format.setForeground(Qt::black);
        marks.append(mark);
    }
    m_browser->setExtraSelections(marks);
}

void HelpViewerWindow::goToHit(int index)
{
    if (index < 0 || index >= m_hits.size())
        return;
    m_hit = index;
    markHits();
    // The caret at the hit's beginning, where a screen reader starts reading.
    QTextCursor at = m_hits.at(index);
    at.setPosition(at.selectionStart());
    m_browser->setTextCursor(at);
    m_browser->ensureCursorVisible();
    showWhere();
}

void HelpViewerWindow::nextHit()
{
    if (m_kind == Kind::Pdf) {
        m_pdf->nextHit();
        return;
    }
    if (!m_hits.isEmpty())
        goToHit((m_hit + 1) % int(m_hits.size()));
}

void HelpViewerWindow::previousHit()
{
    if (m_kind == Kind::Pdf) {
        m_pdf->previousHit();
        return;
    }
    if (!m_hits.isEmpty())
        goToHit((m_hit - 1 + int(m_hits.size())) % int(m_hits.size()));
}

int HelpViewerWindow::hitCount() const
{
    return m_kind == Kind::Pdf ? m_pdf->hitCount() : int(m_hits.size());
}

int HelpViewerWindow::currentHit() const
{
    return m_kind == Kind::Pdf ? m_pdf->hitIndex() : m_hit;
}

void HelpViewerWindow::cannotShow(const QString& path, const QByteArray& head)
{
    // The desktop may know a program for it; else the user is told what it is and where.
    const QUrl url = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
    if (openWithDesktop(url)) {
        setMessage(QStringLiteral("「%1」はこのビューアーでは表示できないため、既定のアプリケーションで開きました。")
                       .arg(path));
        return;
    }
    m_folderToOpen = QFileInfo(path).absolutePath();
    setMessage(QStringLiteral("「%1」は%2で、ここでは表示できず、開くことのできるアプリケーションもありません。")
                   .arg(fileName(path), HelpDocument::kindName(path, head)) +
               QStringLiteral("\nファイルの場所：") + QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()));
    m_openFolder->show();
}

void HelpViewerWindow::followLink(const QUrl& url)
{
    const QString scheme = url.scheme();
    if (m_kind == Kind::Chm && m_chm && (scheme.isEmpty() || scheme.size() == 1)) {
        // A page or picture inside the help file.
        const QString member = ChmArchive::resolve(m_member, url.toString());
        if (!member.isEmpty() && m_chm->contains(member.section(QLatin1Char('#'), 0, 0))) {
            // The reader has left the topic of the index for the page the link leads to.
            m_displayed = -1;
            m_words.clear();
            showMember(member);
        } else if (url.hasFragment() && url.path().isEmpty())
            m_browser->scrollToAnchor(url.fragment());
        return;
    }
    if (!scheme.isEmpty() && scheme != QLatin1String("file")) {
        if (!openWithDesktop(url))
            setMessage(
                QStringLiteral("「%1」を開くことのできるアプリケーションが見つかりません。").arg(url.toString()));
        return;
    }
    const QString target = url.isLocalFile() ? url.toLocalFile() : url.path();
    if (!target.isEmpty()) {
        const QString path = QFileInfo(target).isAbsolute()
                                 ? target
                                 : QFileInfo(m_shownPath.isEmpty() ? m_file : m_shownPath).dir().filePath(target);
        if (QFileInfo(path) != QFileInfo(m_shownPath))
            openFile(path);
    }
    if (url.hasFragment() && !showTopic(url.fragment()))
        m_browser->scrollToAnchor(url.fragment());
}

void HelpViewerWindow::chooseOldFilesFolders()
{
    OldFilesWindow* chooser = OldFilesWindow::showWindow(this);
    // A file that was not found may be there once a folder is chosen.
    connect(chooser, &QDialog::finished, this, &HelpViewerWindow::openAgainIfFound, Qt::UniqueConnection);
}

void HelpViewerWindow::openAgainIfFound()
{
    if (!m_file.isEmpty() && m_shownPath.isEmpty() && OldFiles::resolve(m_file).found == OldFiles::Found::Resolved)
        openFile(m_file);
}

bool HelpViewerWindow::eventFilter(QObject* watched, QEvent* event)
{
    // The arrow keys in the search box walk through the topic list.
    if (watched == m_search && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp || key == Qt::Key_PageDown) {
            QCoreApplication::sendEvent(m_list, event);
            m_chosenInList = true;
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void HelpViewerWindow::showEvent(QShowEvent* event)
{
    // At its first showing the viewer goes to the right of the screen, beside the program's
    // windows, which open towards the top left.
    if (!m_placed) {
        m_placed = true;
        if (const QScreen* screen = Placement::programScreen()) {
            // On a small or scaled screen the viewer is made smaller, to be wholly on it.
            const QRect free = screen->availableGeometry();
            resize(size().boundedTo(free.size() - QSize(16, 56)));
            const QSize outer = size() + QSize(8, 32);
            move(free.right() - outer.width() - 16 > free.left() ? free.right() - outer.width() - 16 : free.left(),
                 free.top() + 40 + outer.height() <= free.bottom() ? free.top() + 40 : free.top());
            Placement::fitOnScreen(this);
        }
    }
    QWidget::showEvent(event);
}

bool HelpViewerWindow::hasFocusHere() const
{
    const QWidget* focus = QApplication::focusWidget();
    return QApplication::activeWindow() == this && focus && focus->window() == this;
}

bool HelpViewerWindow::showAndWaitForFocus(int timeoutMs)
{
    if (isMinimized())
        showNormal();
    Placement::bringToFront(this);
    // The index's search box takes the focus when nothing in the window has had it yet.
    if (!focusWidget())
        m_search->setFocus(Qt::OtherFocusReason);
    return EventWait::untilFocus([this] { return hasFocusHere(); }, timeoutMs);
}

HelpViewerWindow* HelpViewerWindow::window()
{
    if (!g_window)
        g_window = new HelpViewerWindow;
    return g_window;
}

HelpViewerWindow* HelpViewerWindow::existing()
{
    return g_window;
}

void HelpViewerWindow::setDesktopOpener(DesktopOpener opener)
{
    g_desktopOpener = std::move(opener);
}

bool HelpViewerWindow::openWithDesktop(const QUrl& url)
{
    return g_desktopOpener ? g_desktopOpener(url) : QDesktopServices::openUrl(url);
}

namespace {

class WindowService final : public HelpViewer
{
public:
    Result showFile(const QString& path) override
    {
        HelpViewerWindow* w = HelpViewerWindow::window();
        w->openFile(path);
        // Keys sent after the start must reach the viewer, not the window active before.
        if (!w->showAndWaitForFocus())
            return Result::failure(QStringLiteral("the help viewer did not get the focus"));
        return Result::success();
    }

    Result showTopic(const QString& path, const QString& topic) override
    {
        const Result shown = showFile(path);
        HelpViewerWindow::window()->showTopic(topic);
        return shown;
    }

    void setNotice(const QString& text) override { HelpViewerWindow::window()->setNotice(text); }
};

} // namespace

HelpViewer& HelpViewerWindow::service()
{
    static WindowService one;
    return one;
}

void HelpViewerWindow::install()
{
    HelpViewer::setReal(&service());
}
