#include "viewer/HelpViewerWindow.h"

#include "platform/Accessibility.h"
#include "platform/Placement.h"

#include "platform/Appearance.h"
#include "platform/EventWait.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
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
#include <QStringDecoder>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <numeric>
#include <optional>

namespace {

QPointer<HelpViewerWindow> g_window;
HelpViewerWindow::DesktopOpener g_desktopOpener;

// Text files beyond this size go to the desktop instead of being read whole.
constexpr qint64 MaxShownSize = 32 * 1024 * 1024;

// Titles of anchors within running text are cut to this length.
constexpr int MaxAnchorTitle = 40;

enum class Kind { Html, Text, Other };

struct Loaded
{
    Kind kind = Kind::Other;
    QString text;
};

// Documents, pictures and programs that only their own programs show, by their first bytes.
bool isBinaryDocument(const QByteArray& data)
{
    static const QByteArrayView signatures[] = {
        QByteArrayView("%PDF", 4),                      // PDF
        QByteArrayView("PK\x03\x04", 4),                // Office Open XML, OpenDocument, ZIP
        QByteArrayView("\xD0\xCF\x11\xE0", 4),          // Word, Excel of old
        QByteArrayView("\x00\x01\x00\x00Standard", 12), // Access
        QByteArrayView("?_\x03\x00", 4),                // Windows help
        QByteArrayView("{\\rtf", 5),                    // rich text
        QByteArrayView("\x89PNG", 4),
        QByteArrayView("\xFF\xD8\xFF", 3), // JPEG
        QByteArrayView("GIF8", 4),
        QByteArrayView("II*\x00", 4), // TIFF
        QByteArrayView("MM\x00*", 4),
        QByteArrayView("\x7f"
                       "ELF",
                       4),
    };
    for (QByteArrayView signature : signatures) {
        if (data.startsWith(signature))
            return true;
    }
    return false;
}

// HTML is told by its content: the help file keeps its old ".HLP" name.
bool looksLikeHtml(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && (text.at(i).isSpace() || text.at(i) == QChar(0xfeff)))
        ++i;
    const QStringView rest = text.mid(i);
    return rest.startsWith(u"<!doctype", Qt::CaseInsensitive) || rest.startsWith(u"<html", Qt::CaseInsensitive);
}

// Decodes text as the file's byte order mark, UTF-8 or Shift_JIS (the text files of Japanese
// Windows) says; nullopt for bytes that are no text.
std::optional<QString> decodeText(const QByteArray& data)
{
    if (auto encoding = QStringConverter::encodingForData(data); encoding && *encoding != QStringConverter::Utf8) {
        QStringDecoder decoder(*encoding);
        QString text = decoder(data);
        if (!decoder.hasError())
            return text;
    }
    {
        QStringDecoder utf8(QStringConverter::Utf8);
        QString text = utf8(data);
        if (!utf8.hasError() && !text.contains(QChar(0)))
            return text;
    }
    QStringDecoder sjis("Shift_JIS");
    if (sjis.isValid()) {
        QString text = sjis(data);
        if (!sjis.hasError() && !text.contains(QChar(0)))
            return text;
    }
    return std::nullopt;
}

Loaded load(const QByteArray& data, const QString& path)
{
    if (isBinaryDocument(data))
        return {};
    const QString suffix = QFileInfo(path).suffix().toLower();
    const std::optional<QString> text = decodeText(data);
    if (!text)
        return {};
    if (looksLikeHtml(*text) || suffix == QLatin1String("htm") || suffix == QLatin1String("html")) {
        // A charset named in the page wins over the guess.
        QStringDecoder html = QStringDecoder::decoderForHtml(data);
        if (html.isValid()) {
            QString decoded = html(data);
            if (!html.hasError())
                return {Kind::Html, decoded};
        }
        return {Kind::Html, *text};
    }
    return {Kind::Text, *text};
}

// The name of a file as the caption shows it; paths may come from Windows.
QString fileName(const QString& path)
{
    const qsizetype cut = std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    return path.mid(cut + 1);
}

// Index search compares without regard to Latin letter case or to the width of kana and
// Latin letters ("ｷｰﾜｰﾄﾞ" finds "キーワード").
QString searchForm(const QString& text)
{
    return text.normalized(QString::NormalizationForm_KC).toCaseFolded();
}

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
    auto* indexLayout = new QVBoxLayout(index);
    indexLayout->addWidget(searchLabel);
    indexLayout->addWidget(m_search);
    indexLayout->addWidget(listLabel);
    indexLayout->addWidget(m_list, 1);
    indexLayout->addWidget(m_display);
    m_tabs->addTab(index, QStringLiteral("索引"));

    m_message = new QLabel;
    m_message->setObjectName(QStringLiteral("messageLine"));
    m_message->setWordWrap(true);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_message->setStyleSheet(
        QStringLiteral("QLabel { background: #fff8dc; border: 1px solid #d8c890; padding: 6px; }"));
    m_message->hide();
    m_browser = new QTextBrowser;
    m_browser->setObjectName(QStringLiteral("browser"));
    // Links are followed here: anchors in the page, other pages beside it, the web outside.
    m_browser->setOpenLinks(false);
    auto* page = new QWidget;
    auto* pageLayout = new QVBoxLayout(page);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    pageLayout->addWidget(m_message);
    pageLayout->addWidget(m_browser, 1);

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
    connect(m_display, &QPushButton::clicked, this, &HelpViewerWindow::displaySelected);
    connect(m_search, &QLineEdit::textChanged, this, &HelpViewerWindow::selectNearest);
    connect(m_search, &QLineEdit::returnPressed, this, &HelpViewerWindow::displaySelected);
    connect(m_list, &QListWidget::itemActivated, this, [this] { displaySelected(); });
    connect(m_browser, &QTextBrowser::anchorClicked, this, &HelpViewerWindow::followLink);
    m_search->installEventFilter(this);
}

void HelpViewerWindow::openFile(const QString& path)
{
    m_file = path;
    clearPage();
    setWindowTitle(path.isEmpty() ? QStringLiteral("ヘルプ") : QStringLiteral("ヘルプ - ") + fileName(path));

    if (path.isEmpty()) {
        setMessage(QStringLiteral("表示するファイルが指定されていません。"));
        return;
    }
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
    if (info.size() > MaxShownSize) {
        handOver(path);
        return;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        setMessage(QStringLiteral("ファイル「%1」を読み込めません。").arg(path));
        return;
    }
    const Loaded loaded = load(file.readAll(), path);
    if (loaded.kind == Kind::Other) {
        handOver(path);
        return;
    }
    // Pictures and pages named in the file are looked for beside it.
    m_browser->setSearchPaths({info.absolutePath()});
    showDocument(loaded.text, loaded.kind == Kind::Html);
}

void HelpViewerWindow::clearPage()
{
    setMessage(QString());
    m_browser->clear();
    m_topics.clear();
    m_list->clear();
    m_displayed = -1;
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

void HelpViewerWindow::showDocument(const QString& text, bool isHtml)
{
    if (isHtml)
        m_browser->setHtml(text);
    else
        m_browser->setPlainText(text);
    m_topics = readTopics(*m_browser->document());
    // Sections stand indented under their chapters.
    const int top = std::accumulate(m_topics.cbegin(), m_topics.cend(), 6, [](int least, const Topic& t) {
        return t.level > 0 ? std::min(least, t.level) : least;
    });
    for (const Topic& topic : std::as_const(m_topics)) {
        const int indent = topic.level > 0 ? topic.level - top : 1;
        auto* item = new QListWidgetItem(QString(indent, QChar(0x3000)) + topic.title, m_list);
        item->setToolTip(topic.title);
        if (indent == 0) {
            QFont bold = item->font();
            bold.setBold(true);
            item->setFont(bold);
        }
    }
    if (!m_topics.isEmpty())
        m_list->setCurrentRow(0);
    m_browser->verticalScrollBar()->setValue(0);
}

QList<HelpViewerWindow::Topic> HelpViewerWindow::readTopics(const QTextDocument& document)
{
    QList<Topic> topics;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        QStringList anchors;
        QList<Topic> anchored;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid())
                continue;
            const QStringList names = fragment.charFormat().anchorNames();
            for (const QString& name : names) {
                anchors.append(name);
                // Named by the words that follow it on its line, else by its name.
                const QString text =
                    block.text().mid(fragment.position() - block.position()).simplified().left(MaxAnchorTitle);
                anchored.append({text.isEmpty() ? name : text, {name}, fragment.position()});
            }
        }
        const QString heading = block.text().simplified();
        const int level = block.blockFormat().headingLevel();
        if (level > 0 && !heading.isEmpty())
            topics.append({heading, anchors, block.position(), level});
        else
            topics.append(anchored);
    }
    return topics;
}

QList<HelpViewerWindow::Topic> HelpViewerWindow::indexOf(const QByteArray& data, const QString& path)
{
    const Loaded loaded = load(data, path);
    if (loaded.kind == Kind::Other)
        return {};
    QTextDocument document;
    if (loaded.kind == Kind::Html)
        document.setHtml(loaded.text);
    else
        document.setPlainText(loaded.text);
    return readTopics(document);
}

void HelpViewerWindow::selectNearest(const QString& typed)
{
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
    if (row >= 0 && row < m_topics.size()) {
        displayTopic(row);
        return;
    }
    // No topic fits (a plain-text file has none): look for the words in the page itself.
    const QString typed = m_search->text();
    if (typed.isEmpty())
        return;
    QTextCursor start(m_browser->document());
    m_browser->setTextCursor(start);
    if (m_browser->find(typed))
        m_displayed = -1;
}

void HelpViewerWindow::displayTopic(int index)
{
    const Topic& topic = m_topics.at(index);
    m_displayed = index;
    if (m_list->currentRow() != index)
        m_list->setCurrentRow(index);
    QTextCursor cursor(m_browser->document());
    cursor.setPosition(topic.position);
    m_browser->setTextCursor(cursor);
    if (!topic.anchors.isEmpty()) {
        m_browser->scrollToAnchor(topic.anchors.first());
        return;
    }
    // A heading without an anchor: its line goes to the top of the page.
    QScrollBar* bar = m_browser->verticalScrollBar();
    bar->setValue(bar->value() + m_browser->cursorRect(cursor).top());
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

void HelpViewerWindow::handOver(const QString& path)
{
    const QUrl url = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
    if (openWithDesktop(url))
        setMessage(QStringLiteral("「%1」はこのビューアーでは表示できないため、既定のアプリケーションで開きました。")
                       .arg(path));
    else
        setMessage(
            QStringLiteral("「%1」はこのビューアーでは表示できず、開くことのできるアプリケーションも見つかりません。")
                .arg(path));
}

void HelpViewerWindow::followLink(const QUrl& url)
{
    const QString scheme = url.scheme();
    if (!scheme.isEmpty() && scheme != QLatin1String("file")) {
        if (!openWithDesktop(url))
            setMessage(
                QStringLiteral("「%1」を開くことのできるアプリケーションが見つかりません。").arg(url.toString()));
        return;
    }
    const QString target = url.isLocalFile() ? url.toLocalFile() : url.path();
    if (!target.isEmpty()) {
        const QString path = QFileInfo(target).isAbsolute() ? target : QFileInfo(m_file).dir().filePath(target);
        if (QFileInfo(path) != QFileInfo(m_file))
            openFile(path);
    }
    if (url.hasFragment() && !showTopic(url.fragment()))
        m_browser->scrollToAnchor(url.fragment());
}

bool HelpViewerWindow::eventFilter(QObject* watched, QEvent* event)
{
    // The arrow keys in the search box walk through the topic list.
    if (watched == m_search && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp || key == Qt::Key_PageDown) {
            QCoreApplication::sendEvent(m_list, event);
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
    else
        show();
    raise();
    activateWindow();
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
