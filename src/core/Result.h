#pragma once

#include <QString>

class QLoggingCategory;

// Outcome of an operation that can fail: the caller decides what a failure means (end
// silently, show a message, or skip and go on), so a result is never dropped unread.
struct [[nodiscard]] Result
{
    bool ok = true;
    QString message;

    static Result success() { return {}; }
    static Result failure(const QString& why) { return {false, why}; }
    explicit operator bool() const { return ok; }
};

// A step whose failure is passed over on purpose ("skip it and go on"): nothing is shown,
// the reason goes to the log under the given category.
void skipOnFailure(const Result& result, const QLoggingCategory& category, const char* step);
