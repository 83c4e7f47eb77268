#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMutex>

#include <functional>

// The changes of memos that this program has stored and the index has not taken in yet.
//
// Each change of a memo is noted with a serial and the memo's text before the change; the
// texts are kept because the index may hold any of them and only the one it holds may be taken
// out. A note stays until the writer reports it written, unless the memo changed again
// meanwhile. While the index is being made, the notes are kept for the replay into the new
// index instead. The writer and the comparison at start-up read it from their own threads.
class ChangeJournal
{
public:
    struct Entry
    {
        qint64 id = 0;
        QList<QByteArray> oldBodies; // every text the memo had before its noted changes
        quint64 serial = 0;          // the latest note of a change of the memo
    };

    // Notes a change of a memo; oldBody is its text before the change, none for a memo added.
    void note(qint64 id, const QByteArray* oldBody);
    // Told on the noting thread after each note, outside the journal's lock.
    void setListener(std::function<void(qint64 id)> listener);

    // The changes that the writer has not been given in their latest version.
    QList<Entry> unsent() const;
    // Every change noted and not yet settled.
    QList<Entry> all() const;
    // The writer has been given these changes.
    void markSent(const QList<Entry>& sent);
    // The writer's report: a change written is settled unless its memo changed again since;
    // a write that failed settles all it was given, for the index is then made anew.
    void written(const QList<QPair<qint64, quint64>>& changes, bool ok);
    // Changes the index will not take, settled unless noted again since; with keepForReplay
    // (the index is being made) the texts are kept for the replay into the new index.
    void settle(const QList<Entry>& taken, bool keepForReplay);

    // The changes kept for the replay, and no more of them.
    QHash<qint64, QList<QByteArray>> takeReplay();
    void clearReplay();

    bool contains(qint64 id) const;
    QList<qint64> ids() const;
    bool isEmpty() const;
    // Counts the settlements, so that a comparison that read a memo while its change was
    // written can tell it has to read it again.
    quint64 settlements() const;

private:
    struct Pending
    {
        QList<QByteArray> oldBodies;
        quint64 serial = 0;
        quint64 sent = 0;
    };

    mutable QMutex m_mutex;
    QHash<qint64, Pending> m_pending;
    QHash<qint64, QList<QByteArray>> m_replay;
    quint64 m_serial = 0;
    quint64 m_settlements = 0;
    std::function<void(qint64)> m_listener;
};
