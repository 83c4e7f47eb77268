#pragma once

#include "core/Result.h"

#include <QString>
#include <QStringList>

// The fixed messages of the editing windows. Lines are joined with a carriage return and
// a line feed.
namespace Messages {

QString lines(const QStringList& lines);

// After a failed save (and a failed storing of the entry fields).
extern const QString SaveFailure;
// The same for the date box, which has no cancel to offer.
extern const QString SaveFailureDateBox;
extern const QString AddFailure;
extern const QString DeleteQuestion;
extern const QString DeleteTitle;

// Another program holds the memo book beyond the wait: nothing was done, and trying again
// later will work.
extern const QString InUse;
// Added to a failure message when the disk has no room left.
extern const QString DiskFullWords;
// A failure message with what the user can do about its cause: a full disk says so.
QString because(const QString& message, const Result& failure);

// A warning: exclamation icon, an OK button, the program's title.
void warn(const QString& text);
// The delete confirmation; true when the user answers Yes.
bool confirmDelete();

} // namespace Messages
