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

TEST(CurrentCalendar, ZoneRulesHoldLongAfterTheLastListedTransition) {
    struct Case {
        const char* zone;
        int year;
        int month;
        int expectedHourAtNoonUtc;
    };
    // Northern and southern summers, and Dublin, whose winter time is the lower offset of its rule.
    for (const Case& c : {Case{"Europe/Berlin", 2040, 7, 14}, Case{"Europe/Berlin", 2090, 7, 14},
                          Case{"Europe/Berlin", 2090, 1, 13}, Case{"Australia/Sydney", 2040, 1, 23},
                          Case{"Australia/Sydney", 2090, 1, 23}, Case{"Australia/Sydney", 2090, 7, 22},
                          Case{"America/Santiago", 2040, 1, 9}, Case{"America/Santiago", 2090, 1, 9},
                          Case{"America/Santiago", 2090, 7, 8}, Case{"Europe/Dublin", 2090, 7, 13},
                          Case{"Europe/Dublin", 2090, 12, 12}}) {
        SCOPED_TRACE(std::string(c.zone) + " " + std::to_string(c.year) + "-" + std::to_string(c.month));
        ScopedCalendarPin pin("en_US", c.zone);
        EXPECT_EQ(Calendar::current().hour(utc(c.year, c.month, 15, 12)), c.expectedHourAtNoonUtc);
    }
    // The days after Berlin's change to summer time in 2038 start at midnight, and the change day is short.
    ScopedCalendarPin pin("de_DE", "Europe/Berlin");
    const Calendar cal = Calendar::current();
    EXPECT_EQ(cal.startOfDay(utc(2038, 3, 29, 12)), utc(2038, 3, 28, 22));
    EXPECT_EQ(cal.startOfDay(utc(2038, 3, 28, 12)), utc(2038, 3, 27, 23));
    EXPECT_EQ(cal.startOfDay(utc(2095, 10, 31, 12)), utc(2095, 10, 30, 23));
}

TEST(CurrentCalendar, WallTimesInClockChangesReadAsICalendarReadsThem) {
    ScopedCalendarPin pin("de_DE", "Europe/Berlin");
    const Calendar cal = Calendar::current();
    // Skipped: the offset before the change, so 02:30 is 03:30 summer time. Repeated: the first one.
    EXPECT_EQ(cal.fromWallTime(utc(2026, 3, 29, 2, 30)), utc(2026, 3, 29, 1, 30));
    EXPECT_EQ(cal.fromWallTime(utc(2026, 10, 25, 2, 30)), utc(2026, 10, 25, 0, 30));
    EXPECT_EQ(cal.fromWallTime(utc(2026, 7, 1, 12)), utc(2026, 7, 1, 10));
    EXPECT_EQ(cal.fromWallTime(utc(2050, 3, 27, 2, 30)), utc(2050, 3, 27, 1, 30));

    ScopedCalendarPin santiago("es_CL", "America/Santiago");
    EXPECT_EQ(Calendar::current().fromWallTime(utc(2022, 9, 11, 0, 30)), utc(2022, 9, 11, 4, 30));
}

TEST(CurrentCalendar, StartOfDayAfterFindsTheFirstInstantOfDaysWithoutMidnight) {
    ScopedCalendarPin pin("es_CL", "America/Santiago");
    const Calendar cal = Calendar::current();
    // 2022-09-11 starts at 01:00 (04:00 UTC); the days around it at midnight.
    EXPECT_EQ(cal.startOfDayAfter(1, utc(2022, 9, 10, 15)), utc(2022, 9, 11, 4));
    EXPECT_EQ(cal.startOfDayAfter(1, utc(2022, 9, 11, 15)), utc(2022, 9, 12, 3));
    EXPECT_EQ(cal.startOfDayAfter(-1, utc(2022, 9, 12, 15)), utc(2022, 9, 11, 4));
    EXPECT_EQ(cal.startOfDayAfter(7, utc(2022, 9, 4, 15)), utc(2022, 9, 11, 4));
    EXPECT_EQ(cal.startOfDayAfter(0, utc(2022, 9, 11, 15)), utc(2022, 9, 11, 4));
}
