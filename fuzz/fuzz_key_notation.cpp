// The keystroke notation: any text parses or fails cleanly, a failure leaves no keys, and
// escaped text always parses into keys that type the text itself.

#include "platform/KeyNotation.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));

    QList<KeyNotation::Key> keys;
    if (!KeyNotation::parse(text, &keys) && !keys.isEmpty())
        std::abort();

    QList<KeyNotation::Key> literal;
    if (!KeyNotation::parse(KeyNotation::escape(text), &literal))
        std::abort();
    QString typed;
    for (const KeyNotation::Key& key : std::as_const(literal)) {
        if (key.modifiers & (Qt::ControlModifier | Qt::AltModifier))
            std::abort();
        typed += key.text;
    }
    // Every line break types Enter, a CR LF pair once.
    QString expected = text;
    expected.replace(QStringLiteral("\r\n"), QStringLiteral("\r")).replace(QLatin1Char('\n'), QLatin1Char('\r'));
    if (typed != expected)
        std::abort();
    return 0;
}
