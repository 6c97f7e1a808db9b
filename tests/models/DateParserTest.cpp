#include "models/CalendarModel.h"
#include "models/DateDetector.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace {

class DateParserTest : public ::testing::Test {
protected:
    Instant day(int y, int m, int d, int h = 0) const { return *Calendar::current().date(y, m, d, h); }
    std::optional<Instant> parse(const QString& text) const { return CalendarModel::parse(text, reference); }

    ScopedCalendarPin pin{"en_US", "America/New_York"};
    const Instant reference = day(2026, 12, 4, 15); // a Friday
};

} // namespace

TEST_F(DateParserTest, KeywordsAfterTrimmingAndLowerCasing) {
    EXPECT_FALSE(parse(""));
    EXPECT_FALSE(parse("   "));
    EXPECT_FALSE(parse("\n\n"));
    EXPECT_EQ(parse("  Today\n"), day(2026, 12, 4));
    EXPECT_EQ(parse("TOMORROW"), day(2026, 12, 5));
    EXPECT_EQ(parse("yesterday"), day(2026, 12, 3));
}

TEST_F(DateParserTest, WeekdayPhrasesCountFromTheReferenceDay) {
    EXPECT_EQ(parse("friday"), day(2026, 12, 4));
    EXPECT_EQ(parse("this friday"), day(2026, 12, 4));
    EXPECT_EQ(parse("Fri"), day(2026, 12, 4));
    EXPECT_EQ(parse("next friday"), day(2026, 12, 11));
    EXPECT_EQ(parse("last fri"), day(2026, 11, 27));
    EXPECT_EQ(parse("sat"), day(2026, 12, 5));
    EXPECT_EQ(parse("last saturday"), day(2026, 11, 28));
    EXPECT_EQ(parse("next   thursday"), day(2026, 12, 10));
    EXPECT_EQ(parse("weds"), day(2026, 12, 9));
}

TEST_F(DateParserTest, NonPhrasesFallThroughToLaterSteps) {
    EXPECT_FALSE(parse("next\tthursday"));
    EXPECT_FALSE(parse("friday next"));
    EXPECT_FALSE(parse("next"));
    EXPECT_FALSE(parse("last"));
    EXPECT_FALSE(parse("fridays"));
    EXPECT_FALSE(parse("banana"));
}

TEST_F(DateParserTest, NumericDateIsGregorianWhateverTheLocale) {
    EXPECT_EQ(parse("2026-12-25"), day(2026, 12, 25));
    EXPECT_FALSE(parse("2026-13-01"));
    {
        // Santiago skipped 2022-09-11 00:00-01:00: the day still exists and starts at 01:00.
        ScopedCalendarPin santiago("es_CL", "America/Santiago");
        const auto skippedMidnight = CalendarModel::parse("2022-09-11", reference);
        ASSERT_TRUE(skippedMidnight);
        EXPECT_EQ(*skippedMidnight,
                  Instant::fromDateTime(QDateTime(QDate(2022, 9, 11), QTime(4, 0), Qt::UTC)));
        EXPECT_FALSE(CalendarModel::parse("2022-02-30", reference));
    }
    ScopedCalendarPin buddhist("th_TH@calendar=buddhist", "Asia/Bangkok");
    EXPECT_EQ(CalendarModel::parse("2026-12-25", reference), *Calendar::gregorian().date(2026, 12, 25));
}

TEST_F(DateParserTest, DetectorFindsWrittenDatesAndPicksTheNextOneWithoutAYear) {
    EXPECT_EQ(parse("Dec 25"), day(2026, 12, 25));
    EXPECT_EQ(parse("Dec 4"), day(2026, 12, 4));
    EXPECT_EQ(parse("Dec 3"), day(2027, 12, 3));
    EXPECT_EQ(parse("December 25, 2027"), day(2027, 12, 25));
    EXPECT_EQ(parse("25 Dec 2027"), day(2027, 12, 25));
    EXPECT_EQ(parse("lunch on Friday, March 3 with Ann"), day(2027, 3, 3));
    EXPECT_EQ(parse("12/25"), day(2026, 12, 25));
    EXPECT_EQ(parse("12/25/2028"), day(2028, 12, 25));
    EXPECT_EQ(parse("party 1/2/27"), day(2027, 1, 2));
    EXPECT_EQ(parse("feb 29"), day(2028, 2, 29));
    // The first date in the text wins; impossible dates are no dates.
    EXPECT_EQ(parse("from 3 Jan to 12/25"), day(2027, 1, 3));
    EXPECT_FALSE(parse("Feb 30 2027"));
    EXPECT_FALSE(parse("13/45"));
    EXPECT_FALSE(parse("may I help"));
}

TEST_F(DateParserTest, DetectedDatesAreStartsOfDays) {
    const auto detected = DateDetector::firstDate("Dec 25", reference);
    ASSERT_TRUE(detected);
    EXPECT_NE(*detected, day(2026, 12, 25));
    EXPECT_EQ(parse("Dec 25"), day(2026, 12, 25));
}

TEST_F(DateParserTest, DetectorReadsYearFirstDatesIsoDatesInTextAndTwoDigitYearsInIcusCentury) {
    EXPECT_EQ(parse("2024/12/25"), day(2024, 12, 25));
    EXPECT_EQ(parse("2027/12/25"), day(2027, 12, 25));
    EXPECT_EQ(parse("lunch on 2026-12-25 at noon"), day(2026, 12, 25));
    EXPECT_EQ(parse("from 2027-1-5 on"), day(2027, 1, 5));
    // A year-first date that does not exist is not read as its month and day.
    EXPECT_FALSE(parse("2027/2/29"));
    EXPECT_FALSE(parse("2027-12/25"));
    // Two-digit years fall within 80 years before and 20 after the reference year (2026).
    EXPECT_EQ(parse("1/2/99"), day(1999, 1, 2));
    EXPECT_EQ(parse("1/2/46"), day(1946, 1, 2));
    EXPECT_EQ(parse("1/2/45"), day(2045, 1, 2));
    EXPECT_EQ(parse("1/2/00"), day(2000, 1, 2));
}

TEST_F(DateParserTest, NamedDaysStartAtTheDaysFirstInstantWhereADayHasNoMidnight) {
    // Santiago skipped 2022-09-11 00:00-01:00: that day starts at 01:00, its neighbours at midnight.
    ScopedCalendarPin santiago("es_CL", "America/Santiago");
    auto local = [](int d, int h) {
        return Instant::fromDateTime(QDateTime(QDate(2022, 9, d), QTime(h, 0), Qt::UTC));
    };
    const Instant sundayWithoutMidnight = local(11, 15); // 12:00 local
    EXPECT_EQ(CalendarModel::parse("today", sundayWithoutMidnight), local(11, 4));
    EXPECT_EQ(CalendarModel::parse("tomorrow", sundayWithoutMidnight), local(12, 3));
    EXPECT_EQ(CalendarModel::parse("monday", sundayWithoutMidnight), local(12, 3));
    EXPECT_EQ(CalendarModel::parse("next sunday", sundayWithoutMidnight), local(18, 3));
    EXPECT_EQ(CalendarModel::parse("yesterday", local(12, 15)), local(11, 4));
    EXPECT_EQ(CalendarModel::parse("last sunday", local(12, 15)), local(11, 4));
}

TEST_F(DateParserTest, DatesLongAfter2037KeepSummerTime) {
    ScopedCalendarPin berlin("de_DE", "Europe/Berlin");
    EXPECT_EQ(CalendarModel::parse("2040-07-15", reference),
              Instant::fromDateTime(QDateTime(QDate(2040, 7, 14), QTime(22, 0), Qt::UTC)));
    EXPECT_EQ(CalendarModel::parse("July 15, 2090", reference),
              Instant::fromDateTime(QDateTime(QDate(2090, 7, 14), QTime(22, 0), Qt::UTC)));
}

TEST_F(DateParserTest, DottedDatesAreDayFirstEverywhereAndSlashedOnesFollowTheLocale) {
    const std::pair<const char*, bool> locales[] = {{"en_US", false}, {"en_GB", true}, {"de_DE", true}};
    for (const auto& [locale, dayFirst] : locales) {
        ScopedCalendarPin pin(QString::fromLatin1(locale), QStringLiteral("America/New_York"));
        SCOPED_TRACE(locale);
        EXPECT_EQ(parse("25.12.2027"), day(2027, 12, 25));
        EXPECT_EQ(parse("Party 5.1.28!"), day(2028, 1, 5));
        EXPECT_EQ(parse("24.12."), day(2026, 12, 24));
        EXPECT_FALSE(parse("12.25.2027"));
        EXPECT_FALSE(parse("version 1.2.3.4"));
        EXPECT_EQ(parse("2027-12-25"), day(2027, 12, 25));
        EXPECT_EQ(parse("2027/12/25"), day(2027, 12, 25));
        if (dayFirst) {
            EXPECT_EQ(parse("25/12/2027"), day(2027, 12, 25));
            EXPECT_EQ(parse("3/4/2027"), day(2027, 4, 3));
            EXPECT_FALSE(parse("12/25/2027"));
        } else {
            EXPECT_EQ(parse("12/25/2027"), day(2027, 12, 25));
            EXPECT_EQ(parse("3/4/2027"), day(2027, 3, 4));
            EXPECT_FALSE(parse("25/12/2027"));
        }
    }
}

TEST_F(DateParserTest, LongJunkIsNoDate) {
    constexpr qsizetype kHundredKilobytes = qsizetype(100) * 1024;
    EXPECT_FALSE(parse(QString(kHundredKilobytes, u'7')));
    EXPECT_FALSE(parse(QString(kHundredKilobytes, u'.')));
    EXPECT_EQ(parse(QStringLiteral("25.12.2027 ") + QString(kHundredKilobytes, u'7')), day(2027, 12, 25));
    const QString date = QStringLiteral(" 25.12.2027");
    EXPECT_EQ(parse(QString(DateDetector::kLongestText - date.size(), u'x') + date), day(2027, 12, 25));
}
