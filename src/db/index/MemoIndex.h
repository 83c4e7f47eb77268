#pragma once

#include "core/Result.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>
#include <memory>

class BackgroundTask;
class ChangeJournal;
class Connection;
class IndexSearch;
class MemoChangeHooks;
class MemoIndexWriter;
class QTimer;
namespace MemoIndexFile {
struct Progress;
enum class Verdict;
} // namespace MemoIndexFile

// The full-text index of one memo book, kept current while the program runs.
//
// The memo book's connection notes each memo this program adds, changes or deletes (see
// MemoChangeHooks); the notes are written into the index right after the change has been
// stored, by the index's own connection, so that a save never waits for or fails on the index.
// At every start the index is compared with the memo book in the background (changes made by
// other programs show there) and made anew when it is missing, damaged, of another format or
// stale; meanwhile searches read the memo book itself.
class MemoIndex : public QObject
{
    Q_OBJECT

public:
    // The index of the memo book at bookPath, shared by the windows that have it open.
    static std::shared_ptr<MemoIndex> open(const QString& bookPath);
    ~MemoIndex() override;

    enum class State {
        Unavailable, // no index can be kept here (no memo book, or no room for the index file)
        Checking,    // searches use the index, which is not known to agree with the book yet
        Ready,       // searches use the index, which agreed with the book when last compared
        Building,    // the index is being made; searches read the memo book
        SwappingIn,  // the index just made takes the old one's place; searches read the book
    };
    Q_ENUM(State)
    State state() const { return m_state; }
    QString bookPath() const { return m_bookPath; }
    QString indexPath() const;
    // One line for the display window while the index is being made; empty otherwise.
    QString progressText() const;

    // Writes the changes saved so far into the index (it also happens by itself after each
    // save, once control returns to the event loop).
    void flush();
    // Waits until no comparison, build or write runs any more (for tests and benchmarks).
    bool waitForIdle(int timeoutMs);

    // The IDs of the memos in which every one of the folded words occurs, ascending. The
    // index answers when it can, the memo book itself otherwise.
    Result find(const QStringList& words, QVector<qint64>& ids);
    // The same without reading every memo, only where the answer is known to agree with the
    // memo book: from the index once it has been compared with the book or made from it, or
    // from a reading of the book made for these words, and in either case no other connection
    // has changed the book since. False otherwise, and then the book must be read.
    bool findExactly(const QStringList& words, QVector<qint64>& ids);

    // Whether a search for these words is answered without reading the whole memo book on the
    // calling thread: by the index, from a reading kept for them, or from a book small enough.
    bool answersAtOnce(const QStringList& words);
    // Reads the memo book for these words off the window's thread and keeps the answer for
    // find() and findExactly(); ready runs on owner's thread, unless owner has gone.
    BackgroundTask* readBookFor(QObject* owner, const QStringList& words, std::function<void()> ready);
    // Books with up to this many memos are read on the window's thread: it takes a blink.
    void setReadAtOnceLimit(qint64 memos) { m_readAtOnceLimit = memos; }

Q_SIGNALS:
    void progressChanged();
    void stateChanged(MemoIndex::State state);

private:
    explicit MemoIndex(const QString& bookPath);
    void start();
    bool openIndex();
    void startBuild();
    void startVerify();
    void stopWorker();
    void onBuilt(bool ok);
    void onVerified(MemoIndexFile::Verdict verdict);
    void swapIn();
    void indexBroken(const QString& why);
    void scheduleFlush(int delayMs = 0);
    // The one place where the state changes.
    void setState(State state);
    bool servesFromIndex() const;
    bool busy() const;
    void maybeSettled();

Q_SIGNALS:
    // Emitted when the index may have become idle; waitForIdle looks again.
    void mayBeIdle();

private:
    QString m_bookPath;
    std::shared_ptr<Connection> m_book;
    MemoChangeHooks* m_hooks = nullptr; // the book connection's
    ChangeJournal* m_journal = nullptr; // the book connection's
    std::unique_ptr<IndexSearch> m_search;
    State m_state = State::Unavailable;
    bool m_flushScheduled = false;
    bool m_closing = false;
    std::unique_ptr<MemoIndexWriter> m_writer;

    // The book's version when the running comparison or build began, and so, once it ends
    // well, the version that the index agrees with.
    qint64 m_versionAtStart = -1;
    qint64 m_agreedVersion = -1;
    qint64 m_readAtOnceLimit = 20000;

    std::shared_ptr<MemoIndexFile::Progress> m_progress;
    QPointer<BackgroundTask> m_worker;
    QTimer* m_progressTimer = nullptr;
    QString m_lastProgress;
};
