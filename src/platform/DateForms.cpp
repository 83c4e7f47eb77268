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

// The Japanese eras from Meiji on: the name, its letter, and its first and last day. The
// first year of an era is written 元年 as well as 1.
struct Era
{
    const char16_t* name;
    char16_t letter;
    QDate first;
    QDate last;
};

const Era Eras[] = {
    {u"明治", u'M', QDate(1868, 1, 1), QDate(1912, 7, 29)},
    {u"大正", u'T', QDate(1912, 7, 30), QDate(1926, 12, 24)},
    {u"昭和", u'S', QDate(1926, 12, 25), QDate(1989, 1, 7)},
    {u"平成", u'H', QDate(1989, 1, 8), QDate(2019, 4, 30)},
    {u"令和", u'R', QDate(2019, 5, 1), QDate()},
};

const Era* eraNamed(const QString& name)
{
    for (const Era& era : Eras) {
        if (name == QString::fromUtf16(era.name) || (name.size() == 1 && name.at(0).toUpper() == QChar(era.letter)))
            return &era;
    }
    return nullptr;
}

int number(const QString& digits)
{
    return digits == QStringLiteral("元") ? 1 : digits.toInt();
}

// A date within its era; a day before the era began or after it ended is no date of it.
std::optional<QDate> eraDate(const QString& eraName, const QString& year, int month, int day)
{
    const Era* era = eraNamed(eraName);
    if (!era)
        return std::nullopt;
    const QDate date(era->first.year() + number(year) - 1, month, day);
    if (!date.isValid() || date < era->first || (era->last.isValid() && date > era->last))
        return std::nullopt;
    return date;
}

// The forms that a Japanese system reads as dates, beyond the locale's own formats. The text
// has been brought to its compatibility form first, so full-width digits and separators and
// the square era signs (㍻) read as their plain counterparts.
std::optional<QDate> readJapanese(const QString& t, int currentYear)
{
    static const QRegularExpression fullDate(
        QStringLiteral("^(\\d{4})\\s*([/\\-.])\\s*(\\d{1,2})\\s*\\2\\s*(\\d{1,2})$"));
    static const QRegularExpression kanjiDate(
        QStringLiteral("^(\\d{4})\\s*年\\s*(\\d{1,2})\\s*月\\s*(\\d{1,2})\\s*日?$"));
    static const QRegularExpression monthDay(QStringLiteral("^(\\d{1,2})\\s*([/\\-.])\\s*(\\d{1,2})$"));
    static const QRegularExpression kanjiMonthDay(QStringLiteral("^(\\d{1,2})\\s*月\\s*(\\d{1,2})\\s*日?$"));
    static const QRegularExpression era(QStringLiteral(
        "^(明治|大正|昭和|平成|令和|[MTSHRmtshr])\\s*(元|\\d{1,2})\\s*"
        "(?:年\\s*(\\d{1,2})\\s*月\\s*(\\d{1,2})\\s*日?|([/\\-.])\\s*(\\d{1,2})\\s*\\5\\s*(\\d{1,2}))$"));

    auto valid = [](const QDate& date) { return date.isValid() ? std::optional<QDate>(date) : std::nullopt; };
    QRegularExpressionMatch m;
    if ((m = fullDate.match(t)).hasMatch())
        return valid(QDate(m.captured(1).toInt(), m.captured(3).toInt(), m.captured(4).toInt()));
    if ((m = kanjiDate.match(t)).hasMatch())
        return valid(QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt()));
    if ((m = monthDay.match(t)).hasMatch())
        return valid(QDate(currentYear, m.captured(1).toInt(), m.captured(3).toInt()));
    if ((m = kanjiMonthDay.match(t)).hasMatch())
        return valid(QDate(currentYear, m.captured(1).toInt(), m.captured(2).toInt()));
    if ((m = era.match(t)).hasMatch()) {
        if (m.capturedLength(3) > 0)
            return eraDate(m.captured(1), m.captured(2), m.captured(3).toInt(), m.captured(4).toInt());
        return eraDate(m.captured(1), m.captured(2), m.captured(6).toInt(), m.captured(7).toInt());
    }
    return std::nullopt;
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
    const QString t = text.normalized(QString::NormalizationForm_KC).trimmed();
    if (t.isEmpty())
        return std::nullopt;
    if (const std::optional<QDate> date = readJapanese(t, today().year()))
        return date;
    // The user's own forms, for a locale that is not Japanese.
    for (const QString& format :
         {m_short, m_long, m_locale.dateFormat(QLocale::ShortFormat), m_locale.dateFormat(QLocale::LongFormat)}) {
        const QDate date = m_locale.toDate(t, format);
        if (date.isValid())
            return date;
    }
    return std::nullopt;
}
