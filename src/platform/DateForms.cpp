#include "platform/DateForms.h"

#include <QRegularExpression>

namespace {

QString withoutWeekday(QString format)
{
    // Qt's long formats name the weekday; the "Long Date" form does not.
    static const QRegularExpression weekday(QStringLiteral("\\s*[,、]?\\s*d{3,4}\\s*[,、]?\\s*"));
    format.replace(weekday, QStringLiteral(" "));
    return format.trimmed();
}

bool isJapaneseDefault(const QLocale& locale)
{
    return locale.language() == QLocale::C || locale.language() == QLocale::Japanese;
}

} // namespace

QString DateForms::formatLongDate(const QString& text) const
{
    if (text.isEmpty())
        return text;
    if (const std::optional<QDate> date = readDate(text))
        return longDate(*date);
    return text;
}

DateForms& DateForms::real()
{
    static LocaleDateForms real;
    return real;
}

LocaleDateForms::LocaleDateForms(const QLocale& locale)
    : m_locale(locale.language() == QLocale::C ? QLocale(QLocale::Japanese, QLocale::Japan) : locale)
{
    if (isJapaneseDefault(locale)) {
        m_short = QStringLiteral("yyyy/MM/dd");
        m_long = QStringLiteral("yyyy年M月d日");
    } else {
        m_short = m_locale.dateFormat(QLocale::ShortFormat);
        m_long = withoutWeekday(m_locale.dateFormat(QLocale::LongFormat));
    }
}

QDate LocaleDateForms::today() const
{
    return QDate::currentDate();
}

QString LocaleDateForms::shortDate(const QDate& date) const
{
    return m_locale.toString(date, m_short);
}

QString LocaleDateForms::longDate(const QDate& date) const
{
    return m_locale.toString(date, m_long);
}

std::optional<QDate> LocaleDateForms::readDate(const QString& text) const
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    const QString formats[] = {m_short,
                               m_long,
                               QStringLiteral("yyyy/M/d"),
                               QStringLiteral("yyyy-M-d"),
                               QStringLiteral("yyyy年M月d日"),
                               QStringLiteral("yyyy.M.d"),
                               m_locale.dateFormat(QLocale::ShortFormat),
                               m_locale.dateFormat(QLocale::LongFormat)};
    for (const QString& format : formats) {
        const QDate date = m_locale.toDate(t, format);
        if (date.isValid())
            return date;
    }
    const QDate iso = QDate::fromString(t, Qt::ISODate);
    if (iso.isValid())
        return iso;
    return std::nullopt;
}
