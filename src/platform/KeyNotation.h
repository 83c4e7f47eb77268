#pragma once

#include <QString>

// The keystroke notation: "%" Alt, "+" Shift, "^" Ctrl, "~" Enter, braced key names such
// as "{F1}" and "{+}", and groups in parentheses.
namespace KeyNotation {

// The notation that types text literally: every character with a meaning of its own in
// the notation is put in braces ("C++" becomes "C{+}{+}").
QString escape(const QString& text);

} // namespace KeyNotation
