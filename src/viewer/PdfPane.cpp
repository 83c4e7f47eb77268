#include "viewer/PdfPane.h"

#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QPdfBookmarkModel>
#include <QPdfDocument>
#include <QPdfSelection>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QToolButton>
#include <QVBoxLayout>

#include <functional>

// One rendered page, with the places of the hit shown marked on it.
class PdfPage : public QWidget
{
public:
    using QWidget::QWidget;

    void show(const QImage& image, const QVector<QPolygonF>& marks)
    {
        m_image = image;
        m_marks = marks;
        const qreal ratio = image.devicePixelRatio() > 0 ? image.devicePixelRatio() : 1;
        setFixedSize((QSizeF(image.size()) / ratio).toSize());
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        painter.drawImage(QPointF(0, 0), m_image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(QColor(230, 120, 0), 1.5));
        painter.setBrush(QColor(255, 200, 0, 110));
        for (const QPolygonF& mark : std::as_const(m_marks))
            painter.drawPolygon(mark);
    }

private:
    QImage m_image;
    QVector<QPolygonF> m_marks;
};

namespace {

constexpr double ZoomStep = 1.25;
constexpr double MinZoom = 0.25;
constexpr double MaxZoom = 8.0;
constexpr int Margin = 12;

QString loadFailure(QPdfDocument::Error error)
{
    switch (error) {
    case QPdfDocument::Error::IncorrectPassword:
        return QStringLiteral("この PDF はパスワードで保護されているため、表示できません。");
    case QPdfDocument::Error::UnsupportedSecurityScheme:
        return QStringLiteral("この PDF は、ここでは開けない方式で保護されているため、表示できません。");
    case QPdfDocument::Error::FileNotFound:
        return QStringLiteral("ファイルが見つかりません。");
    case QPdfDocument::Error::InvalidFileFormat:
        return QStringLiteral("PDF ファイルが壊れているため、表示できません。");
    default:
        return QStringLiteral("PDF ファイルを読み込めません。");
    }
}

// Beyond this size a file is opened only when it ends as a whole PDF ends.
constexpr qint64 RepairableSize = 32 * 1024 * 1024;

bool hasTrailer(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() <= RepairableSize)
        return true; // small enough to be read whole; the reader says what is wrong with it
    constexpr qint64 Tail = 4096;
    if (!file.seek(file.size() - Tail))
        return false;
    return file.read(Tail).contains("%%EOF");
}

} // namespace

PdfPane::PdfPane(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("pdfPane"));
    m_document = new QPdfDocument(this);
    m_text = new PdfText(this);
    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("pdfPage"));
    m_scroll->setAccessibleName(QStringLiteral("PDF のページ"));
    m_scroll->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_scroll->setBackgroundRole(QPalette::Dark);
    m_view = new PdfPage;
    m_scroll->setWidget(m_view);
    m_scroll->setFocusPolicy(Qt::StrongFocus);

    // The page turns and the zoom for the mouse, beside their keys.
    auto button = [](const QString& text, const QString& name, const QString& keys) {
        auto* b = new QToolButton;
        b->setText(text);
        b->setObjectName(name);
        b->setToolTip(text + QStringLiteral(" (") + keys + QLatin1Char(')'));
        b->setAutoRaise(true);
        b->setToolButtonStyle(Qt::ToolButtonTextOnly);
        return b;
    };
    QToolButton* previous =
        button(QStringLiteral("前のページ"), QStringLiteral("previousPageButton"), QStringLiteral("PageUp"));
    QToolButton* next =
        button(QStringLiteral("次のページ"), QStringLiteral("nextPageButton"), QStringLiteral("PageDown"));
    QToolButton* smaller = button(QStringLiteral("縮小"), QStringLiteral("zoomOutButton"), QStringLiteral("Ctrl+-"));
    QToolButton* larger = button(QStringLiteral("拡大"), QStringLiteral("zoomInButton"), QStringLiteral("Ctrl++"));
    QToolButton* fit =
        button(QStringLiteral("幅に合わせる"), QStringLiteral("fitWidthButton"), QStringLiteral("Ctrl+0"));
    connect(previous, &QToolButton::clicked, this, [this] { showPage(m_page - 1); });
    connect(next, &QToolButton::clicked, this, [this] { showPage(m_page + 1); });
    connect(smaller, &QToolButton::clicked, this, &PdfPane::zoomOut);
    connect(larger, &QToolButton::clicked, this, &PdfPane::zoomIn);
    connect(fit, &QToolButton::clicked, this, &PdfPane::fitWidth);
    // Wherever the focus is in the viewer, while a PDF is shown.
    const auto shortcut = [this](QKeySequence keys, void (PdfPane::*slot)()) {
        connect(new QShortcut(keys, this), &QShortcut::activated, this, slot);
    };
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Plus), &PdfPane::zoomIn);
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Equal), &PdfPane::zoomIn);
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Minus), &PdfPane::zoomOut);
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_0), &PdfPane::fitWidth);

    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(0, 0, 0, 0);
    for (QToolButton* b : {previous, next, smaller, larger, fit})
        bar->addWidget(b);
    bar->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(bar);
    layout->addWidget(m_scroll);
    m_scroll->installEventFilter(this);
    m_scroll->viewport()->installEventFilter(this);
    connect(m_text, &PdfText::progressed, this, &PdfPane::textRead);
}

PdfPane::~PdfPane() = default;

Result PdfPane::open(const QString& path)
{
    clear();
    // A large file without its trailer at the end would be read whole to rebuild its table of
    // objects, for minutes, before the window could answer again.
    if (!hasTrailer(path))
        return Result::failure(QStringLiteral("PDF ファイルが途中で切れているか壊れているため、表示できません。"));
    const QPdfDocument::Error error = m_document->load(path);
    if (error != QPdfDocument::Error::None || m_document->pageCount() <= 0) {
        m_document->close();
        return Result::failure(error == QPdfDocument::Error::None ? loadFailure(QPdfDocument::Error::InvalidFileFormat)
                                                                  : loadFailure(error));
    }
    // The first page is shown before any text is read; the text follows on a thread of its own.
    showPage(0);
    m_text->start(QFileInfo(path).absoluteFilePath());
    return Result::success();
}

void PdfPane::clear()
{
    m_text->stop();
    m_document->close();
    m_page = -1;
    m_zoom = 0;
    m_words.clear();
    m_search = Search::None;
    m_hits.clear();
    m_searched = 0;
    m_hit = -1;
    m_bounds.clear();
    m_view->show(QImage(), {});
    Q_EMIT whereChanged();
}

int PdfPane::pageCount() const
{
    return m_document->status() == QPdfDocument::Status::Ready ? m_document->pageCount() : 0;
}

double PdfPane::fitWidthZoom() const
{
    const QSizeF points = m_document->pagePointSize(qMax(0, m_page));
    const int room = m_scroll->viewport()->width() - 2 * Margin;
    return points.width() > 0 && room > 0 ? qBound(MinZoom, room / points.width(), MaxZoom) : 1.0;
}

void PdfPane::setZoom(double zoom)
{
    m_zoom = qBound(MinZoom, zoom, MaxZoom);
    render();
    Q_EMIT whereChanged();
}

void PdfPane::zoomIn()
{
    setZoom((m_zoom > 0 ? m_zoom : fitWidthZoom()) * ZoomStep);
}

void PdfPane::zoomOut()
{
    setZoom((m_zoom > 0 ? m_zoom : fitWidthZoom()) / ZoomStep);
}

void PdfPane::fitWidth()
{
    m_zoom = 0;
    render();
    Q_EMIT whereChanged();
}

void PdfPane::showPage(int page, std::optional<QPointF> location)
{
    if (page < 0 || page >= pageCount())
        return;
    m_page = page;
    if (m_hit < 0 || m_hit >= m_hits.size() || m_hits.at(m_hit).page != page)
        m_bounds.clear();
    render();
    const double zoom = m_zoom > 0 ? m_zoom : fitWidthZoom();
    if (location)
        m_scroll->verticalScrollBar()->setValue(int(location->y() * zoom) - Margin);
    else
        m_scroll->verticalScrollBar()->setValue(0);
    Q_EMIT whereChanged();
}

void PdfPane::render()
{
    if (m_page < 0 || m_page >= pageCount()) {
        m_view->show(QImage(), {});
        return;
    }
    const double zoom = m_zoom > 0 ? m_zoom : fitWidthZoom();
    const qreal ratio = devicePixelRatioF();
    const QSizeF points = m_document->pagePointSize(m_page);
    QImage image = m_document->render(m_page, (points * zoom * ratio).toSize());
    image.setDevicePixelRatio(ratio);
    QVector<QPolygonF> marks;
    for (const QPolygonF& bound : std::as_const(m_bounds)) {
        QPolygonF scaled;
        for (const QPointF& p : bound)
            scaled.append(p * zoom);
        marks.append(scaled);
    }
    m_view->show(image, marks);
}

QVector<PdfPane::Entry> PdfPane::outline() const
{
    QVector<Entry> entries;
    QPdfBookmarkModel model;
    model.setDocument(m_document);
    // Depth first, as the outline reads.
    std::function<void(const QModelIndex&)> walk = [&](const QModelIndex& parent) {
        for (int row = 0; row < model.rowCount(parent); ++row) {
            const QModelIndex index = model.index(row, 0, parent);
            entries.append({index.data(int(QPdfBookmarkModel::Role::Title)).toString().simplified(),
                            index.data(int(QPdfBookmarkModel::Role::Level)).toInt(),
                            index.data(int(QPdfBookmarkModel::Role::Page)).toInt(),
                            index.data(int(QPdfBookmarkModel::Role::Location)).toPointF()});
            walk(index);
        }
    };
    walk(QModelIndex());
    return entries;
}

void PdfPane::find(const QString& words)
{
    m_words = words.simplified();
    m_hits.clear();
    m_searched = 0;
    m_hit = -1;
    m_bounds.clear();
    m_search = m_words.isEmpty() ? Search::None : Search::Looking;
    textRead();
}

bool PdfPane::allHitsKnown() const
{
    return m_text->finished();
}

void PdfPane::textRead()
{
    if (m_search == Search::None || m_words.isEmpty())
        return;
    // The hits of the pages read since the last look are added to those known.
    m_hits += m_text->find(m_words, m_searched, &m_searched);
    if (m_hit < 0 && !m_hits.isEmpty()) {
        m_search = Search::Found;
        goToHit(0);
        return;
    }
    if (m_hits.isEmpty() && m_text->finished())
        m_search = Search::NotFound;
    Q_EMIT whereChanged();
}

void PdfPane::goToHit(int index)
{
    if (index < 0 || index >= m_hits.size())
        return;
    m_hit = index;
    const PdfText::Hit& hit = m_hits.at(index);
    m_bounds = m_document->getSelectionAtIndex(hit.page, hit.start, hit.length).bounds();
    const QPointF at = m_bounds.isEmpty() ? QPointF() : m_bounds.first().boundingRect().topLeft();
    // A little of what comes before the hit stays in sight.
    showPage(hit.page, QPointF(at.x(), qMax(0.0, at.y() - 36)));
}

void PdfPane::nextHit()
{
    if (!m_hits.isEmpty())
        goToHit((m_hit + 1) % int(m_hits.size()));
}

void PdfPane::previousHit()
{
    if (!m_hits.isEmpty())
        goToHit((m_hit - 1 + int(m_hits.size())) % int(m_hits.size()));
}

QString PdfPane::where() const
{
    if (m_page < 0)
        return {};
    QString text = QStringLiteral("ページ %1 / %2").arg(m_page + 1).arg(pageCount());
    switch (m_search) {
    case Search::None:
        break;
    case Search::Looking:
        text += QStringLiteral("　「%1」を探しています…").arg(m_words);
        break;
    case Search::Found:
        text += m_text->finished()
                    ? QStringLiteral("　「%1」%2 件中 %3 件目").arg(m_words).arg(m_hits.size()).arg(m_hit + 1)
                    : QStringLiteral("　「%1」%2 件目").arg(m_words).arg(m_hit + 1);
        break;
    case Search::NotFound:
        text += QStringLiteral("　「%1」は見つかりません").arg(m_words);
        break;
    }
    return text;
}

void PdfPane::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (m_zoom <= 0)
        render();
}

bool PdfPane::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        QScrollBar* bar = m_scroll->verticalScrollBar();
        const bool ctrl = key->modifiers() & Qt::ControlModifier;
        // Past the end of a page the next one comes, as in a book.
        if (key->key() == Qt::Key_PageDown && bar->value() >= bar->maximum() && m_page + 1 < pageCount()) {
            showPage(m_page + 1);
            return true;
        }
        if (key->key() == Qt::Key_PageUp && bar->value() <= bar->minimum() && m_page > 0) {
            showPage(m_page - 1);
            bar->setValue(bar->maximum());
            return true;
        }
        if (key->key() == Qt::Key_Home && ctrl) {
            showPage(0);
            return true;
        }
        if (key->key() == Qt::Key_End && ctrl) {
            showPage(pageCount() - 1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
