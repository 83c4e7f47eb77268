#pragma once

#include "core/Result.h"

#include <QString>

class RecordSet;

// What the editing windows do when the typing in their controls could not be written: the
// user is told why in words that fit the cause, and chooses what becomes of the typing where
// there is a choice to make.
namespace StoreFailure {

enum class Outcome {
    Stored,  // stored over another running copy's version, as the user chose
    Dropped, // the other copy's version is shown instead (the typing copied, if chosen)
    Kept,    // still in the controls, as it was typed; the command ends
};

// After writing `recordSet`'s pending edits failed. A record that another running copy
// changed or deleted meanwhile asks whose version to keep; a memo book in use by another
// program says so; any other refusal shows `message` (with words on a full disk), or
// nothing when `message` is empty.
Outcome resolve(RecordSet& recordSet, const Result& failure, const QString& message);

// Before a window closes with typing that could not be written: a conflict asks as resolve()
// does, and only storing the typing lets the window close; any other refusal says that the
// typing could not be stored and asks whether to close without it. True when the window may
// close; the typing is then stored or forgotten.
bool resolveOnClosing(RecordSet& recordSet, const Result& failure);

// The texts of the questions and their buttons, in order.
QString conflictText(bool deleted);
QStringList conflictChoices(bool deleted);
QString closingText(const Result& failure);
QStringList closingChoices();

} // namespace StoreFailure
