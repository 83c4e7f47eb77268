#include "core/TextFold.h"

namespace {

// Katakana as hiragana; the few katakana without a hiragana form stay as they are.
inline char16_t toHiragana(char16_t c)
{
    if (c >= 0x30A1 && c <= 0x30F6)
        return char16_t(c - 0x60);
    if (c == 0x30FD || c == 0x30FE) // iteration marks
        return char16_t(c - 0x60);
    return c;
}

// Characters whose folded form the quick path can tell without the Unicode tables: ASCII,
// full-width ASCII, the ideographic space, the kana and unified ideographs that the
// normalisation leaves alone, and the common Japanese punctuation.
inline bool quick(char16_t c)
{
    if (c < 0x80)
        return true;
    if (c >= 0x4E00 && c <= 0x9FFF)
        return true;
    if (c >= 0x3041 && c <= 0x3096)
        return true;
    if (c >= 0x309D && c <= 0x309E)
        return true;
    if (c >= 0x30A0 && c <= 0x30FE)
        return true;
    if (c >= 0x3000 && c <= 0x3011)
        return true;
    return c >= 0xFF01 && c <= 0xFF5E;
}

QString foldSlowly(QStringView text)
{
    QString folded = text.toString().normalized(QString::NormalizationForm_KC).toCaseFolded();
    for (QChar& c : folded)
        c = QChar(toHiragana(c.unicode()));
    return folded;
}

} // namespace

QString TextFold::fold(QStringView text)
{
    QString folded(text.size(), Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(folded.data());
    for (qsizetype i = 0; i < text.size(); ++i) {
        char16_t c = text[i].unicode();
        if (!quick(c))
            return foldSlowly(text);
        if (c >= 0xFF01 && c <= 0xFF5E)
            c = char16_t(c - 0xFEE0);
        else if (c == 0x3000)
            c = u' ';
        if (c >= u'A' && c <= u'Z')
            c = char16_t(c + 0x20);
        out[i] = toHiragana(c);
    }
    return folded;
}

QStringList TextFold::words(QStringView typed)
{
    const QString folded = fold(typed);
    QStringList result;
    qsizetype start = -1;
    for (qsizetype i = 0; i <= folded.size(); ++i) {
        const bool end = i == folded.size() || isSeparator(folded[i].unicode());
        if (end && start >= 0) {
            result.append(folded.mid(start, i - start));
            start = -1;
        } else if (!end && start < 0) {
            start = i;
        }
    }
    return result;
}

bool TextFold::containsAll(QStringView foldedText, const QStringList& foldedWords)
{
    for (const QString& word : foldedWords) {
        if (!foldedText.contains(word))
            return false;
    }
    return true;
}
