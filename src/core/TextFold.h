#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

// The form in which the program compares texts when it looks for words in them: compatibility
// forms unified (full-width letters and digits as ASCII, half-width katakana as full-width),
// letter case folded, and katakana written as hiragana. So "ＡＢＣ", "abc", "ﾜｰﾄﾞ", "ワード" and
// "わーど" all meet.
namespace TextFold {

QString fold(QStringView text);

// The words of a search text, folded: split at blanks of any width, empty words dropped.
QStringList words(QStringView typed);

// Whether every one of the folded words occurs in the folded text.
bool containsAll(QStringView foldedText, const QStringList& foldedWords);

// A separator between words: a blank or a control character, as the folded text has them.
inline bool isSeparator(char32_t c)
{
    if (c < 0x80)
        return c <= 0x20 || c == 0x7F;
    return QChar::isSpace(c);
}

} // namespace TextFold
