#pragma once

#include "core/Result.h"

#include <QList>
#include <QString>
#include <qnamespace.h>

// The keystroke notation: "%" Alt, "+" Shift, "^" Ctrl, "~" Enter, braced key names such
// as "{F1}" and "{+}", "{LEFT 3}" for a key pressed three times, and groups in parentheses
// ("+(ab)" holds Shift down for both keys). Any other character types itself.
namespace KeyNotation {

// One key press: a Qt key code (Qt::Key_unknown for a character that has none, such as
// Japanese text), the modifiers held down, and the text that the key types.
struct Key
{
    int key = 0;
    Qt::KeyboardModifiers modifiers;
    QString text;

    bool operator==(const Key& other) const = default;
};

// Parses the whole text; malformed text ("{", "{F99}", "%" at the end, unbalanced
// parentheses) fails with a message that names the fault and its position, and leaves
// keys empty.
Result parse(const QString& notation, QList<Key>* keys);

// The notation that types text literally: every character with a meaning of its own in
// the notation is put in braces ("C++" becomes "C{+}{+}").
QString escape(const QString& text);

} // namespace KeyNotation
