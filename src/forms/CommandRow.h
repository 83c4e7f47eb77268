#pragma once

#include "core/Result.h"

#include <array>
#include <functional>

class QWidget;
class RecordSet;

// The command row that the editing windows share: first, previous, next, last, save,
// cancel, add, delete and help, on the window's main record set, each ending with the
// window's list refresh where it should. Each command applies its own failure policy:
// the moves and delete end silently, save and add show their message; whatever the command,
// typing that another running copy's change stands in the way of asks whose version to keep,
// and a memo book held by another program is said to be in use.
class CommandRow
{
public:
    CommandRow(RecordSet* main, std::function<void()> refreshLists);

    void first();
    void previous();
    void next();
    void last();
    void save();
    void cancel();
    void add();
    void deleteRecord();
    // Presses F1, as if the user had, which opens the window's help.
    static void help();

    using Command = void (CommandRow::*)();
    // The window's buttons for first, previous, next, last, save, cancel and delete, by their
    // names among the children of `client`. `run`, when given, runs each command (so that a
    // window can finish an edit first); otherwise the command runs alone.
    void connectButtons(QWidget* client, const std::array<const char*, 7>& names,
                        std::function<void(Command)> run = {});

    // Previous, staying on the first record at the start.
    static Result previousOrFirst(RecordSet& recordSet);
    // Next, staying on the last record at the end.
    static Result nextOrLast(RecordSet& recordSet);
    // Stores the pending edits and shows the same record again, read anew.
    static Result confirmByMoving(RecordSet& recordSet);

private:
    // Runs a command's steps. On success the lists are read again; a failure is told as its
    // cause asks (a conflict asks whose version to keep, a memo book in use says so) or with
    // failureMessage, or passes silently when that is empty.
    void perform(const std::function<Result()>& steps, const QString& failureMessage);

    RecordSet* m_main;
    std::function<void()> m_refreshLists;
};
