#pragma once

#include "db/BusyWait.h"
#include "db/Connection.h"

#include <QFile>
#include <QList>
#include <QString>
#include <QThread>

#include <sqlite3.h>

#include <future>

// The busy wait's timeout (and watcher) for one test, put back afterwards.
struct BusyWaitFor
{
    explicit BusyWaitFor(int ms, QList<bool>* indications = nullptr)
    {
        BusyWait::setTimeoutMs(ms);
        if (indications)
            BusyWait::setHook([indications](bool waiting) { indications->append(waiting); });
    }
    ~BusyWaitFor()
    {
        BusyWait::setHook({});
        BusyWait::setTimeoutMs(BusyWait::TimeoutMs);
    }
    BusyWaitFor(const BusyWaitFor&) = delete;
    BusyWaitFor& operator=(const BusyWaitFor&) = delete;
};

// Another program holding the memo book locked until released or, with a time given, for that
// long: exclusively (neither reading nor writing allowed), or for its own writing only.
class Lock
{
public:
    enum class Kind { Exclusive, Writing };
    explicit Lock(const QString& path, Kind kind = Kind::Exclusive)
    {
        sqlite3_open(QFile::encodeName(path).constData(), &m_db);
        // The program's own readers (the full-text index checking the book) may be reading.
        sqlite3_busy_timeout(m_db, 10000);
        m_ok = sqlite3_exec(m_db, kind == Kind::Exclusive ? "BEGIN EXCLUSIVE" : "BEGIN IMMEDIATE", nullptr, nullptr,
                            nullptr) == SQLITE_OK;
    }
    ~Lock() { release(); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
    bool isHeld() const { return m_ok; }
    void release()
    {
        if (m_releasing.valid())
            m_releasing.wait();
        sqlite3_close(m_db); // ends the transaction
        m_db = nullptr;
    }
    void releaseAfter(int ms)
    {
        m_releasing = std::async(std::launch::async, [this, ms] {
            QThread::msleep(ms);
            sqlite3_close(m_db);
            m_db = nullptr;
        });
    }

private:
    sqlite3* m_db = nullptr;
    bool m_ok = false;
    std::future<void> m_releasing;
};
