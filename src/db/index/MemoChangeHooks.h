#pragma once

#include "core/Result.h"
#include "db/MemoSearch.h"
#include "db/index/ChangeJournal.h"

struct sqlite3;

// What the memo book's connection does for the full-text index: temporary triggers note every
// change of a memo in the journal, whether or not an index is open, so that no save is missed;
// and the connection's statements get the full-text search, answered by the index when one
// has attached itself and by a reading of the memo book otherwise. Owned by the connection.
class MemoChangeHooks
{
public:
    explicit MemoChangeHooks(sqlite3* db);
    ~MemoChangeHooks();
    MemoChangeHooks(const MemoChangeHooks&) = delete;
    MemoChangeHooks& operator=(const MemoChangeHooks&) = delete;

    // Makes the triggers, unless they are there; fails while the book has no memo table.
    Result watch();
    ChangeJournal& journal() { return m_journal; }

    // Writes the changes noted and not yet written into the index file, when there is one, as
    // the connection closes with no index open to take them; one that does not fit leaves the
    // file as it was, to be found stale at the next start.
    Result writeInto(const QString& indexPath);

    // The index's answers to the connection's searches; empty finders give them back to the book.
    void setFinders(MemoSearch::Finder finder, MemoSearch::ExactFinder exactFinder);

private:
    sqlite3* m_db;
    ChangeJournal m_journal;
    MemoSearch::Finder m_finder;      // installed with the connection
    MemoSearch::ExactFinder m_exact;  // installed with the connection
    MemoSearch::Finder m_indexFinder; // the index's, while one is attached
    MemoSearch::ExactFinder m_indexExact;
};
