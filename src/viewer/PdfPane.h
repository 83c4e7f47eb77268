#pragma once

#include "core/Result.h"
#include "viewer/PdfText.h"

#include <QPointF>
#include <QPolygonF>
#include <QString>
#include <QVector>
#include <QWidget>

#include <optional>

class PdfPage;
class QPdfDocument;
class QScrollArea;

// A PDF in the help viewer: one page at a time, as wide as the pane unless zoomed, the words
// looked for marked where they stand. Its outline is the viewer's index; words that no
// outline entry begins with are looked for in the text, and the pane goes to the first page
// that holds them (F3 and Shift+F3 go on to the next and back to the previous place).
class PdfPane : public QWidget
{
    Q_OBJECT

public:
    struct Entry
    {
        QString title;
        int level = 0;
        int page = 0;
        QPointF location; // on the page, in points
    };

    explicit PdfPane(QWidget* parent = nullptr);
    ~PdfPane() override;

    // Opens a file and shows its first page; a file that is no PDF, damaged, or locked by a
    // password fails with the reason in the user's words.
    Result open(const QString& path);
    void clear();

    int pageCount() const;
    // The page shown, from 0; -1 with no document.
    int page() const { return m_page; }
    void showPage(int page, std::optional<QPointF> location = std::nullopt);
    // 0 while the page is as wide as the pane.
    double zoom() const { return m_zoom; }
    void setZoom(double zoom);
    void zoomIn();
    void zoomOut();
    void fitWidth();

    QVector<Entry> outline() const;

    // Looks for the words and goes to the first place that holds them, once the pages up to it
    // have been read; nextHit() and previousHit() go on from there.
    void find(const QString& words);
    void nextHit();
    void previousHit();
    // Where the reader is: the page, the hit, or why there is none, in the user's words.
    QString where() const;
    // The words looked for last, and how far the search is.
    enum class Search { None, Looking, Found, NotFound };
    Search search() const { return m_search; }
    int hitIndex() const { return m_hit; }
    int hitCount() const { return int(m_hits.size()); }
    bool allHitsKnown() const;
    // The places of the hit shown, on its page, in points.
    QVector<QPolygonF> hitBounds() const { return m_bounds; }

Q_SIGNALS:
    void whereChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void textRead();
    void goToHit(int index);
    void render();
    double fitWidthZoom() const;

    QPdfDocument* m_document = nullptr;
    PdfText* m_text = nullptr;
    QScrollArea* m_scroll = nullptr;
    PdfPage* m_view = nullptr;
    int m_page = -1;
    double m_zoom = 0; // 0: as wide as the pane
    QString m_words;
    Search m_search = Search::None;
    QVector<PdfText::Hit> m_hits;
    int m_searched = 0; // the pages searched for the words so far
    int m_hit = -1;
    QVector<QPolygonF> m_bounds;
};
