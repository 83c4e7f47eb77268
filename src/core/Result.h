#pragma once

#include <QString>

class QLoggingCategory;

// Outcome of an operation that can fail: the caller decides what a failure means (end
// silently, show a message, or skip and go on), so a result is never dropped unread.
struct [[nodiscard]] Result
{
    // Why a failure happened, where the user is told something of their own about it.
    enum class Cause {
        None,
        Other,
        Busy,     // another program held the memo book beyond the busy timeout
        Changed,  // another running copy changed the record since it was read
        Deleted,  // another running copy deleted the record since it was read
        DiskFull, // no room left on the disk
    };

    bool ok = true;
    QString message;
    Cause cause = Cause::None;

    static Result success() { return {}; }
    static Result failure(const QString& why, Cause cause = Cause::Other) { return {false, why, cause}; }
    explicit operator bool() const { return ok; }
    // Another running copy changed or deleted what a write expected to find.
    bool isConflict() const { return cause == Cause::Changed || cause == Cause::Deleted; }
};

// A step whose failure is passed over on purpose ("skip it and go on"): nothing is shown,
// the reason goes to the log under the given category.
void skipOnFailure(const Result& result, const QLoggingCategory& category, const char* step);
