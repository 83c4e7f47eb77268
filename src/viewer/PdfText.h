#pragma once

#include <QObject>
#include <QString>
#include <QVector>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

// The text of a PDF's pages, read on a thread of its own from the first page on, so that the
// window shows the first page at once and a search finds what has been read so far. Each page's
// text is kept folded as TextFold folds it, with where each folded character came from, so that
// a hit can be shown where it stands on the page.
class PdfText : public QObject
{
    Q_OBJECT

public:
    struct Page
    {
        QString folded;
        QVector<int> origin; // for each folded character, its index in the page's own text
        int length = 0;      // of the page's own text
    };
    struct Hit
    {
        int page = -1;
        int start = 0; // in the page's own text
        int length = 0;
    };

    explicit PdfText(QObject* parent = nullptr);
    ~PdfText() override;

    // Starts reading a file's pages; what was read of another file is forgotten.
    void start(const QString& path);
    void stop();

    int pagesRead() const;
    int pageCount() const { return m_pageCount; }
    bool finished() const { return m_finished; }

    // The hits of the folded words in the pages read so far from fromPage on, in page order;
    // searchedTo is told the page after the last one searched.
    QVector<Hit> find(const QString& words, int fromPage = 0, int* searchedTo = nullptr, int maxHits = 100000) const;
    // The text folded as the pages are, with the same per-character map.
    static Page fold(const QString& text);
    // The places of a folded needle in a folded page, in the page's own text.
    static QVector<Hit> findIn(const Page& page, const QString& needle, int pageIndex = 0, qsizetype maxHits = 100000);

Q_SIGNALS:
    // More pages have been read (on the window's thread).
    void progressed();

private:
    void run(const QString& path, std::shared_ptr<std::atomic<bool>> stop);

    mutable std::mutex m_mutex;
    QVector<Page> m_pages;
    int m_pageCount = 0;
    bool m_finished = false;
    std::thread m_thread;
    std::shared_ptr<std::atomic<bool>> m_stop;
};
