#include "db/index/ChangeJournal.h"

#include <QMutexLocker>

namespace {

void addOnce(QList<QByteArray>& bodies, const QByteArray& body)
{
    if (!bodies.contains(body))
        bodies.append(body);
}

} // namespace

void ChangeJournal::note(qint64 id, const QByteArray* oldBody)
{
    std::function<void(qint64)> listener;
    {
        QMutexLocker lock(&m_mutex);
        Pending& pending = m_pending[id];
        pending.serial = ++m_serial;
        if (oldBody)
            addOnce(pending.oldBodies, *oldBody);
        listener = m_listener;
    }
    if (listener)
        listener(id);
}

void ChangeJournal::setListener(std::function<void(qint64)> listener)
{
    QMutexLocker lock(&m_mutex);
    m_listener = std::move(listener);
}

QList<ChangeJournal::Entry> ChangeJournal::unsent() const
{
    QMutexLocker lock(&m_mutex);
    QList<Entry> entries;
    for (auto it = m_pending.cbegin(); it != m_pending.cend(); ++it) {
        if (it->sent != it->serial)
            entries.append({it.key(), it->oldBodies, it->serial});
    }
    return entries;
}

QList<ChangeJournal::Entry> ChangeJournal::all() const
{
    QMutexLocker lock(&m_mutex);
    QList<Entry> entries;
    for (auto it = m_pending.cbegin(); it != m_pending.cend(); ++it)
        entries.append({it.key(), it->oldBodies, it->serial});
    return entries;
}

void ChangeJournal::markSent(const QList<Entry>& sent)
{
    QMutexLocker lock(&m_mutex);
    for (const Entry& entry : sent) {
        auto it = m_pending.find(entry.id);
        if (it != m_pending.end())
            it->sent = entry.serial;
    }
}

void ChangeJournal::written(const QList<QPair<qint64, quint64>>& changes, bool ok)
{
    QMutexLocker lock(&m_mutex);
    for (const auto& [id, serial] : changes) {
        auto it = m_pending.find(id);
        if (it != m_pending.end() && (!ok || it->serial == serial))
            m_pending.erase(it);
    }
    ++m_settlements;
}

void ChangeJournal::settle(const QList<Entry>& taken, bool keepForReplay)
{
    QMutexLocker lock(&m_mutex);
    for (const Entry& entry : taken) {
        if (keepForReplay) {
            QList<QByteArray>& replay = m_replay[entry.id];
            for (const QByteArray& old : entry.oldBodies)
                addOnce(replay, old);
        }
        auto it = m_pending.find(entry.id);
        if (it != m_pending.end() && it->serial == entry.serial)
            m_pending.erase(it);
    }
    ++m_settlements;
}

QHash<qint64, QList<QByteArray>> ChangeJournal::takeReplay()
{
    QMutexLocker lock(&m_mutex);
    return std::exchange(m_replay, {});
}

void ChangeJournal::clearReplay()
{
    QMutexLocker lock(&m_mutex);
    m_replay.clear();
}

bool ChangeJournal::contains(qint64 id) const
{
    QMutexLocker lock(&m_mutex);
    return m_pending.contains(id);
}

QList<qint64> ChangeJournal::ids() const
{
    QMutexLocker lock(&m_mutex);
    return m_pending.keys();
}

bool ChangeJournal::isEmpty() const
{
    QMutexLocker lock(&m_mutex);
    return m_pending.isEmpty();
}

quint64 ChangeJournal::settlements() const
{
    QMutexLocker lock(&m_mutex);
    return m_settlements;
}
