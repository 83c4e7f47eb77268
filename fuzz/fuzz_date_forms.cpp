// The reading and "Long Date" formatting of dates, in Japanese and in English: any text
// reads as a valid date or as none, formatting agrees with reading and does not change its
// own result, and a date written in the long form, or in a short form with the whole year,
// reads back as itself.

#include "platform/DateForms.h"

#include <QLocale>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

void check(const LocaleDateForms& forms, const QString& text, const QDate& date)
{
    const std::optional<QDate> read = forms.readDate(text);
    if (read && !read->isValid())
        std::abort();
    const QString formatted = forms.formatLongDate(text);
    if (text.isEmpty() && !formatted.isEmpty())
        std::abort();
    if (read && formatted != forms.longDate(*read))
        std::abort();
    if (!read && !text.isEmpty() && formatted != text)
        std::abort();
    if (forms.formatLongDate(formatted) != formatted)
        std::abort();

    // A short form with a two-digit year ("M/d/yy") cannot name its century.
    if (date.isValid() && forms.shortFormat().count(QLatin1Char('y')) >= 4 &&
        forms.readDate(forms.shortDate(date)) != date)
        std::abort();
    if (date.isValid() && forms.readDate(forms.longDate(date)) != date)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const LocaleDateForms japanese(QLocale(QLocale::Japanese, QLocale::Japan));
    static const LocaleDateForms english(QLocale(QLocale::English, QLocale::UnitedStates));

    // The first four bytes choose a date of this century and the last; the rest is text.
    QDate date;
    if (size >= 4) {
        uint32_t n = 0;
        std::memcpy(&n, data, 4);
        date = QDate(1900, 1, 1).addDays(n % (200 * 366));
        if (date.year() >= 2100)
            date = QDate();
    }
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    check(japanese, text, date);
    check(english, text, date);
    return 0;
}
