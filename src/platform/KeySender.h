#pragma once

#include "core/Service.h"

#include "core/Result.h"

// Sends keystrokes, written in the keystroke notation ("%" Alt, "+" Shift, "^" Ctrl,
// "~" Enter, "{F1}", "{+}", groups in parentheses), to the program's focused widget.
class KeySender : public Service<KeySender>
{
public:
    virtual ~KeySender() = default;
    // With wait, returns only when the keys have been processed.
    virtual Result send(const QString& keys, bool wait) = 0;

    // The real one, whatever instance is set.
    static KeySender& real();
};
