#include "viewer/PdfText.h"

#include "core/TextFold.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPdfDocument>
#include <QPdfSelection>

#include <set>

namespace {
// How often, at the most, the window is told of pages read.
constexpr int ReportEveryMs = 40;

bool isSoundMark(QChar c)
{
    const char16_t u = c.unicode();
    return u == 0xFF9E || u == 0xFF9F || u == 0x3099 || u == 0x309A;
}
} // namespace

namespace {

// The readers that may be running, stopped before the program ends: a reader still inside the
// PDF library while the library's own statics go away would take the program down on exit.
std::mutex g_readersMutex;
std::set<PdfText*> g_readers;

void stopAllReaders()
{
    std::set<PdfText*> readers;
    {
        std::lock_guard lock(g_readersMutex);
        readers = g_readers;
    }
    for (PdfText* reader : readers)
        reader->stop();
}

} // namespace

PdfText::PdfText(QObject* parent) : QObject(parent)
{
    static const bool registered = (qAddPostRoutine(stopAllReaders), true);
    Q_UNUSED(registered);
    std::lock_guard lock(g_readersMutex);
    g_readers.insert(this);
}

PdfText::~PdfText()
{
    {
        std::lock_guard lock(g_readersMutex);
        g_readers.erase(this);
    }
    stop();
}

void PdfText::stop()
{
    if (m_stop)
        *m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    m_stop.reset();
}

void PdfText::start(const QString& path)
{
    stop();
    {
        std::lock_guard lock(m_mutex);
        m_pages.clear();
        m_pageCount = 0;
        m_finished = false;
    }
    m_stop = std::make_shared<std::atomic<bool>>(false);
    m_thread = std::thread([this, path, stop = m_stop] { run(path, stop); });
}

int PdfText::pagesRead() const
{
    std::lock_guard lock(m_mutex);
    return int(m_pages.size());
}

PdfText::Page PdfText::fold(const QString& text)
{
    // Character by character, so that every folded character knows where it came from. A
    // character folds as it would in a word: the compatibility forms that PDFs give for some
    // ideographs (the radicals of the Kangxi block) become the ideographs themselves.
    Page page;
    page.length = int(text.size());
    page.folded.reserve(text.size());
    page.origin.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        qsizetype width = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        // A voiced sound mark after its kana ("ｸﾞ", "く\u3099") folds with it into one letter.
        while (i + width < text.size() && isSoundMark(text.at(i + width)))
            ++width;
        const QString folded = TextFold::fold(QStringView(text).mid(i, width));
        for (QChar c : folded) {
            page.folded.append(c);
            page.origin.append(int(i));
        }
        i += width;
    }
    return page;
}

void PdfText::run(const QString& path, std::shared_ptr<std::atomic<bool>> stop)
{
    // A document of its own: the window's is used on the window's thread for showing pages.
    QPdfDocument document;
    document.load(path);
    const int count = document.status() == QPdfDocument::Status::Ready ? document.pageCount() : 0;
    {
        std::lock_guard lock(m_mutex);
        m_pageCount = count;
    }
    QElapsedTimer sinceReport;
    sinceReport.start();
    for (int page = 0; page < count && !*stop; ++page) {
        Page read = fold(document.getAllText(page).text());
        {
            std::lock_guard lock(m_mutex);
            m_pages.append(std::move(read));
        }
        if (sinceReport.elapsed() >= ReportEveryMs || page == 0) {
            sinceReport.restart();
            QMetaObject::invokeMethod(this, &PdfText::progressed, Qt::QueuedConnection);
        }
    }
    {
        std::lock_guard lock(m_mutex);
        m_finished = !*stop;
    }
    QMetaObject::invokeMethod(this, &PdfText::progressed, Qt::QueuedConnection);
}

QVector<PdfText::Hit> PdfText::find(const QString& words, int fromPage, int* searchedTo, int maxHits) const
{
    QVector<Hit> hits;
    const QString needle = fold(words.simplified()).folded;
    std::lock_guard lock(m_mutex);
    if (searchedTo)
        *searchedTo = int(m_pages.size());
    if (needle.isEmpty())
        return hits;
    for (int p = qMax(0, fromPage); p < m_pages.size() && hits.size() < maxHits; ++p)
        hits += findIn(m_pages.at(p), needle, p, maxHits - hits.size());
    return hits;
}

QVector<PdfText::Hit> PdfText::findIn(const Page& page, const QString& needle, int pageIndex, qsizetype maxHits)
{
    QVector<Hit> hits;
    if (needle.isEmpty())
        return hits;
    for (qsizetype at = page.folded.indexOf(needle); at >= 0 && hits.size() < maxHits;
         at = page.folded.indexOf(needle, at + needle.size())) {
        const int start = page.origin.at(at);
        // The hit ends where the next character of the page's own text begins.
        const int last = page.origin.at(at + needle.size() - 1);
        int end = page.length;
        for (qsizetype next = at + needle.size(); next < page.origin.size(); ++next) {
            if (page.origin.at(next) > last) {
                end = page.origin.at(next);
                break;
            }
        }
        hits.append({pageIndex, start, end - start});
    }
    return hits;
}
