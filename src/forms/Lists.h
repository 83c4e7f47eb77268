#pragma once

#include "core/Result.h"

#include <QString>

#include <initializer_list>

class RecordSet;

// The drop-down lists of a window: each list record set with the statement it runs.
namespace Lists {

struct Source
{
    RecordSet* list;
    QString statement;
};

enum class OnFailure {
    SkipAndGoOn, // a list that fails keeps what it showed; the next one still runs
    Stop,        // the first failure ends the run (a window's load)
};

// Gives each list its statement and runs it, in the order given; the first failure is
// returned, after the others have run when they skip failures.
Result run(std::initializer_list<Source> lists, OnFailure policy);

} // namespace Lists
