#include "platform/DateForms.h"
#include "support/TestMain.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

// The forms of a locale, on a fixed day.
class FormsOn : public LocaleDateForms
{
public:
    explicit FormsOn(const QLocale& locale) : LocaleDateForms(locale) {}
    QDate today() const override { return {2026, 12, 6}; }
};

const QLocale Japanese(QLocale::Japanese, QLocale::Japan);

} // namespace

class TestDateForms : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsWhatAJapaneseSystemReads_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDate>("date");
        const QDate nov5(2026, 11, 5);
        QTest::newRow("short form") << u"2026/11/05"_s << nov5;
        QTest::newRow("no leading zeros") << u"2026/11/5"_s << nov5;
        QTest::newRow("long form") << u"2026年11月5日"_s << nov5;
        QTest::newRow("ISO") << u"2026-11-05"_s << nov5;
        QTest::newRow("points") << u"2026.11.5"_s << nov5;
        QTest::newRow("full-width") << u"２０２６／１１／５"_s << nov5;
        QTest::newRow("full-width long form") << u"２０２６年１１月５日"_s << nov5;
        QTest::newRow("blanks around") << u" 2026/11/5 "_s << nov5;
        QTest::newRow("month and day: this year") << u"11/5"_s << nov5;
        QTest::newRow("month and day in kanji") << u"11月5日"_s << nov5;
        QTest::newRow("Reiwa by name") << u"令和8年11月5日"_s << nov5;
        QTest::newRow("Reiwa by letter") << u"R8/11/5"_s << nov5;
        QTest::newRow("letter in lower case") << u"r8.11.5"_s << nov5;
        QTest::newRow("full-width era letter") << u"Ｒ８／１１／５"_s << nov5;
        QTest::newRow("Heisei with points") << u"H10.4.1"_s << QDate(1998, 4, 1);
        QTest::newRow("first year written 元年") << u"平成元年4月1日"_s << QDate(1989, 4, 1);
        QTest::newRow("square era sign") << u"㍻元年4月1日"_s << QDate(1989, 4, 1);
        QTest::newRow("last day of Heisei") << u"H31/4/30"_s << QDate(2019, 4, 30);
        QTest::newRow("first day of Reiwa") << u"令和元年5月1日"_s << QDate(2019, 5, 1);
        QTest::newRow("Showa") << u"S64/1/7"_s << QDate(1989, 1, 7);
        QTest::newRow("Taisho") << u"大正元年7月30日"_s << QDate(1912, 7, 30);
        QTest::newRow("Meiji") << u"M45.7.29"_s << QDate(1912, 7, 29);
        QTest::newRow("leap day") << u"2024/2/29"_s << QDate(2024, 2, 29);
    }
    void readsWhatAJapaneseSystemReads()
    {
        QFETCH(QString, text);
        QFETCH(QDate, date);
        const FormsOn forms(Japanese);
        QCOMPARE(forms.readDate(text), std::optional<QDate>(date));
        QCOMPARE(forms.formatLongDate(text), forms.longDate(date));
    }

    void leavesOtherTextsAsTyped_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << QString();
        QTest::newRow("words") << u"来週の月曜"_s;
        QTest::newRow("no such day") << u"2026/2/30"_s;
        QTest::newRow("no such month") << u"2026/13/1"_s;
        QTest::newRow("mixed separators") << u"2026/11-5"_s;
        QTest::newRow("before Heisei began") << u"平成元年1月7日"_s;
        QTest::newRow("after Heisei ended") << u"H31/5/1"_s;
        QTest::newRow("before Reiwa began") << u"R1/4/30"_s;
        QTest::newRow("unknown era letter") << u"X8/11/5"_s;
        QTest::newRow("a bare number") << u"20261105"_s;
        QTest::newRow("trailing words") << u"2026/11/5 頃"_s;
    }
    void leavesOtherTextsAsTyped()
    {
        QFETCH(QString, text);
        const FormsOn forms(Japanese);
        QVERIFY(!forms.readDate(text));
        QCOMPARE(forms.formatLongDate(text), text);
    }

    void longFormHasNoWeekday_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("expected");
        QTest::newRow("Japanese") << Japanese << u"2026年12月6日"_s;
        QTest::newRow("C reads as Japanese") << QLocale::c() << u"2026年12月6日"_s;
        QTest::newRow("en_US") << QLocale(QLocale::English, QLocale::UnitedStates) << u"December 6, 2026"_s;
        QTest::newRow("de_DE") << QLocale(QLocale::German, QLocale::Germany) << u"6. Dezember 2026"_s;
        QTest::newRow("fr_FR") << QLocale(QLocale::French, QLocale::France) << u"6 décembre 2026"_s;
    }
    void longFormHasNoWeekday()
    {
        QFETCH(QLocale, locale);
        QFETCH(QString, expected);
        const FormsOn forms(locale);
        const QString sunday = locale.dayName(7, QLocale::LongFormat);
        const QString shown = forms.longDate({2026, 12, 6});
        QVERIFY2(!shown.contains(sunday), qPrintable(shown));
        QCOMPARE(shown, expected);
        // What the long form shows reads back as the same day.
        QCOMPARE(forms.readDate(shown), std::optional<QDate>(QDate(2026, 12, 6)));
    }
};

ORV_TEST_MAIN(TestDateForms)
#include "tst_date_forms.moc"
