#pragma once

#include <QString>
#include <QStringList>

// What a full-text search statement asks for, handed to its record set beside the statement's
// text: the folded words, and the field the result is sorted by (empty: by ID). The record set
// can then take the keys from the index instead of running the statement; the statement stays
// what runs whenever the index cannot answer, so the two must ask for the same memos.
struct FullTextQuery
{
    QStringList words;
    QString sortField;
    bool descending = false;

    bool operator==(const FullTextQuery&) const = default;
};
