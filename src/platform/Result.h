#pragma once

#include <QString>

// Outcome of an operation that can fail: the caller decides what a failure means
// (end silently, show a message, or skip and go on).
struct Result
{
    bool ok = true;
    QString message;

    static Result success() { return {}; }
    static Result failure(const QString& why) { return {false, why}; }
    explicit operator bool() const { return ok; }
};
