#pragma once

#include "core/Result.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>
#include <thread>

class Connection;
class MemoIndexWriter;
class QTimer;
struct sqlite3;
namespace MemoIndexFile {
struct Progress;
enum class Verdict;
} // namespace MemoIndexFile

// The full-text index of one memo book, kept current while the program runs.
//
// The memo book's shared connection gets temporary triggers that note each memo this program
// adds, changes or deletes; the notes are written into the index right after the change has
// been stored, by the index's own connection, so that a save never waits for or fails on
// the index. At every start a worker thread compares the index with the memo book (changes
// made by other programs show there) and makes it anew when it is missing, damaged, of
// another format or stale; meanwhile searches read the memo book itself.
class MemoIndex : public QObject
{
    Q_OBJECT

public:
    // The index of the memo book at bookPath, shared by the windows that have it open.
    static std::shared_ptr<MemoIndex> open(const QString& bookPath);
    ~MemoIndex() override;

    enum class State {
        Unavailable, // no index can be kept here (no memo book, or no room for the index file)
        Ready,       // searches use the index (it may be being compared with the memo book)
        Building,    // the index is being made; searches read the memo book
    };
    State state() const { return m_state; }
    QString bookPath() const { return m_bookPath; }
    QString indexPath() const;
    // One line for the display window while the index is being made; empty otherwise.
    QString progressText() const;

    // Writes the changes saved so far into the index (it also happens by itself after each
    // save, once control returns to the event loop).
    void flush();
    // Waits until no comparison or build runs any more (for tests and benchmarks).
    bool waitForIdle(int timeoutMs);

    // The IDs of the memos in which every one of the folded words occurs, ascending. The
    // index answers when it is ready, the memo book itself otherwise.
    Result find(const QStringList& words, QVector<qint64>& ids);
    // The same from the index alone, only while it is known to agree with the memo book: it
    // has been compared with the book or made from it, and no other connection has changed the
    // book since. False otherwise, and then the book must be read.
    bool findExactly(const QStringList& words, QVector<qint64>& ids);

Q_SIGNALS:
    void progressChanged();

private:
    explicit MemoIndex(const QString& bookPath);
    void start();
    void installHooks();
    void removeHooks();
    bool openIndex();
    void closeIndex();
    void startBuild();
    void startVerify();
    void joinWorker();
    void onBuilt(bool ok);
    void onVerified(MemoIndexFile::Verdict verdict);
    void swapIn();
    void indexBroken(const QString& why);
    void scheduleFlush(int delayMs = 0);
    void noteChange(qint64 id, const QByteArray* oldBody);
    bool inFlux(qint64 id);
    quint64 changesWritten();
    Result readCurrent(qint64 id, QByteArray& body, bool& exists);
    Result queryIndex(const QStringList& words, QVector<qint64>& ids);
    void setState(State state);
    // Counts the changes that other connections have committed to the memo book.
    qint64 bookVersion() const;

    friend struct MemoIndexHooks;

    struct Pending
    {
        QList<QByteArray> oldBodies;
        quint64 serial = 0; // the latest note of a change of the memo
        quint64 sent = 0;   // the note that the writer has been given
    };
    void moveToReplay(const QHash<qint64, Pending>& taken);

    QString m_bookPath;
    std::shared_ptr<Connection> m_book;
    sqlite3* m_db = nullptr;      // the index, on this thread
    sqlite3* m_upperDb = nullptr; // the index, for the upper half of a search's IDs
    State m_state = State::Unavailable;
    bool m_flushScheduled = false;
    bool m_closing = false;

    QMutex m_mutex; // guards m_pending and m_changes, which the worker and the writer use
    QHash<qint64, Pending> m_pending;
    quint64 m_changes = 0;
    quint64 m_serial = 0;
    std::unique_ptr<MemoIndexWriter> m_writer;
    // Changes since the build began, written into the new index before it takes over.
    QHash<qint64, Pending> m_replay;

    // The memo book's version when the running comparison or build began, and when the index
    // was last found to agree with it (-1: not known to agree).
    qint64 m_startedAtVersion = -1;
    qint64 m_agreedAtVersion = -1;

    std::unique_ptr<MemoIndexFile::Progress> m_progress;
    std::thread m_worker;
    bool m_workerRunning = false;
    QTimer* m_progressTimer = nullptr;
    QString m_lastProgress;
};
