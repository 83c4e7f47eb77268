#include "platform/KeyNotation.h"

QString KeyNotation::escape(const QString& text)
{
    static const QString special = QStringLiteral("+^%~(){}[]");
    QString escaped;
    escaped.reserve(text.size() * 2);
    for (const QChar c : text) {
        if (special.contains(c))
            escaped += QLatin1Char('{') + c + QLatin1Char('}');
        else
            escaped += c;
    }
    return escaped;
}
