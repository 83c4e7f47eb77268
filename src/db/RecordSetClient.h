#pragma once

#include <QList>
#include <QString>
#include <QVariant>

#include <utility>

using FieldEdit = std::pair<QString, QVariant>;

// Something that shows the current record of a record set and may hold pending edits of
// its fields: a bound control or the grid.
class RecordSetClient
{
public:
    virtual ~RecordSetClient() = default;
    // Adds the fields that have a pending edit, with their new values.
    virtual void collectPending(QList<FieldEdit>& edits) const = 0;
    // The pending edits have been written.
    virtual void clearPending() = 0;
    // Shows the current record (empty when there is none), dropping pending edits.
    virtual void showCurrent() = 0;
};
