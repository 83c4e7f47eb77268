#pragma once

#include "core/Service.h"

#include <QDate>
#include <QLocale>
#include <QString>

#include <optional>

// The user's short and long date forms, and today's date.
class DateForms : public Service<DateForms>
{
public:
    virtual ~DateForms() = default;
    virtual QDate today() const = 0;
    virtual QString shortDate(const QDate& date) const = 0;
    // The named format "Long Date": in Japanese "2026年12月6日", without a weekday.
    virtual QString longDate(const QDate& date) const = 0;
    // A text that reads as a date in one of the forms users write.
    virtual std::optional<QDate> readDate(const QString& text) const = 0;

    // "Long Date" formatting of a text: a date becomes the long form, the empty text
    // stays empty, anything else is left as it is.
    QString formatLongDate(const QString& text) const;

    // The real one, whatever instance is set.
    static DateForms& real();
};

// Date forms of a locale; the C and POSIX locales read as Japanese.
class LocaleDateForms : public DateForms
{
public:
    explicit LocaleDateForms(const QLocale& locale = QLocale());

    QDate today() const override;
    QString shortDate(const QDate& date) const override;
    QString longDate(const QDate& date) const override;
    std::optional<QDate> readDate(const QString& text) const override;

    QString shortFormat() const { return m_short; }
    QString longFormat() const { return m_long; }

private:
    QLocale m_locale;
    QString m_short;
    QString m_long;
};
