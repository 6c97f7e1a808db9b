#include "utilities/CurrentCalendar.h"
#include "utilities/DateFormats.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace {
Instant utc(int y, int m, int d, int h = 0, int min = 0, int s = 0) {
    return Instant::fromDateTime(QDateTime(QDate(y, m, d), QTime(h, min, s), Qt::UTC));
}
} // namespace

TEST(CurrentCalendar, TakesZoneRulesFromTheSystemNotFromIcu) {
    ScopedCalendarPin pin("en_US", "America/Mexico_City");
    const Calendar cal = Calendar::current();
    // Mexico dropped daylight time in 2022; ICU's own 2022e data still applies it.
    EXPECT_EQ(cal.hour(utc(2024, 7, 3, 12)), 6);
    EXPECT_EQ(DateFormatter::fromSkeleton(cal, "Hmm").format(utc(2024, 7, 3, 12)), "06:00");
}

TEST(CurrentCalendar, StartOfDayAndDayArithmeticFollowDaylightChanges) {
    ScopedCalendarPin pin("de_DE", "Europe/Berlin");
    const Calendar cal = Calendar::current();
    // 2026-03-29 is 23 hours long in Berlin.
    const Instant start = cal.startOfDay(utc(2026, 3, 29, 12));
    EXPECT_EQ(start, utc(2026, 3, 28, 23));
    EXPECT_EQ(cal.addingDays(1, start), utc(2026, 3, 29, 22));
    EXPECT_EQ(cal.firstWeekday(), 2);
    EXPECT_TRUE(cal.isSameDay(start, utc(2026, 3, 29, 21, 59)));
    EXPECT_FALSE(cal.isSameDay(start, utc(2026, 3, 29, 22)));
}

TEST(CurrentCalendar, NextTimeSkipsToTheNextExistingTimeOnADayWithoutIt) {
    // Santiago skipped 2022-09-11 00:00-01:00: that day has no 00:00:01.
    ScopedCalendarPin pin("es_CL", "America/Santiago");
    const Calendar cal = Calendar::current();
    const auto next = cal.nextTime(utc(2022, 9, 10, 12), 0, 0, 1);
    ASSERT_TRUE(next);
    EXPECT_EQ(cal.day(*next), 11);
    EXPECT_EQ(cal.hour(*next), 1);
    EXPECT_EQ(*next, utc(2022, 9, 11, 4));
}

TEST(CurrentCalendar, WeekdaySymbolsAndFirstWeekdayComeFromTheLocale) {
    ScopedCalendarPin pin("en_US", "UTC");
    const Calendar cal = Calendar::current();
    EXPECT_EQ(cal.firstWeekday(), 1);
    EXPECT_EQ(cal.veryShortWeekdaySymbols(), QStringList({"S", "M", "T", "W", "T", "F", "S"}));
    EXPECT_EQ(DateFormatter::fromSkeleton(cal, DateFormats::kTime).pattern(),
              QString::fromUtf8("h:mm\u202Fa"));
    EXPECT_EQ(Calendar::iso8601().weekOfYear(utc(2021, 1, 3, 12)), 53);
    EXPECT_EQ(Calendar::iso8601().weekOfYear(utc(2024, 12, 30, 12)), 1);
}

TEST(CurrentCalendar, MonthArithmeticClampsAndDateRejectsImpossibleDays) {
    ScopedCalendarPin pin("en_US", "UTC");
    const Calendar cal = Calendar::current();
    EXPECT_EQ(cal.addingMonths(1, utc(2026, 1, 31)), utc(2026, 2, 28));
    EXPECT_EQ(cal.date(2028, 2, 29), utc(2028, 2, 29));
    EXPECT_FALSE(cal.date(2027, 2, 29));
    EXPECT_EQ(cal.firstOfMonth(utc(2028, 2, 29, 15)), utc(2028, 2, 1));
}
