#include "platform/linux/WeekNumberRule.h"

#include <QDateTime>
#include <QTimeZone>
#include <gtest/gtest.h>

namespace {

long long wall(int year, int month, int day, int hour) {
    return QDateTime(QDate(year, month, day), QTime(hour, 0), QTimeZone::utc()).toSecsSinceEpoch();
}

std::pair<std::vector<long long>, bool> walk(const char* rule, long long first, long long horizon) {
    WeekNumberRule walk(icalrecurrencetype_from_string(rule), first);
    std::vector<long long> found;
    while (const std::optional<long long> next = walk.next(horizon))
        found.push_back(*next);
    return {found, walk.ended()};
}

} // namespace

// Weeks start on WKST and belong to the year that holds four of their days, counted from either end; the
// days of a week may lie in the year before or after.
TEST(WeekNumberRuleTest, WeeksCountFromWkstInTheYearOfMostOfTheirDays) {
    EXPECT_EQ(WeekNumberRule::weekOf(wall(2021, 1, 3, 0) / 86400, ICAL_MONDAY_WEEKDAY).number, 53);
    const WeekNumberRule::Week first =
        WeekNumberRule::weekOf(wall(2024, 12, 30, 0) / 86400, ICAL_MONDAY_WEEKDAY);
    EXPECT_EQ(std::pair(first.year, first.number), std::pair(2025, 1));
    const WeekNumberRule::Week last =
        WeekNumberRule::weekOf(wall(2027, 1, 2, 0) / 86400, ICAL_SUNDAY_WEEKDAY);
    EXPECT_EQ(std::tuple(last.year, last.number, last.count), std::tuple(2026, 52, 52));

    EXPECT_EQ(
        walk("FREQ=YEARLY;BYWEEKNO=1;WKST=SU;BYDAY=SU,SA;COUNT=4", wall(2025, 1, 4, 10), wall(2030, 1, 1, 0)),
        std::pair(std::vector<long long>{wall(2025, 1, 4, 10), wall(2026, 1, 4, 10), wall(2026, 1, 10, 10),
                                         wall(2027, 1, 3, 10)},
                  true));
    EXPECT_EQ(walk("FREQ=YEARLY;BYWEEKNO=-1;WKST=SU;BYDAY=SU;BYHOUR=9,17", wall(2026, 12, 27, 9),
                   wall(2028, 1, 1, 0))
                  .first,
              (std::vector<long long>{wall(2026, 12, 27, 9), wall(2026, 12, 27, 17), wall(2027, 12, 26, 9),
                                      wall(2027, 12, 26, 17)}));
}

// Without BYDAY the weeks hold DTSTART's weekday; week 53 comes only in the years that have one.
TEST(WeekNumberRuleTest, LastAndFiftyThirdWeeksTakeTheWeekdayOfTheStart) {
    EXPECT_EQ(
        walk("FREQ=YEARLY;BYWEEKNO=-1", wall(2026, 12, 29, 10), wall(2029, 1, 1, 0)).first,
        (std::vector<long long>{wall(2026, 12, 29, 10), wall(2027, 12, 28, 10), wall(2028, 12, 26, 10)}));
    EXPECT_EQ(walk("FREQ=YEARLY;BYWEEKNO=53;COUNT=3", wall(2026, 12, 31, 18), wall(2040, 1, 1, 0)),
              std::pair(std::vector<long long>{wall(2026, 12, 31, 18), wall(2032, 12, 30, 18),
                                               wall(2037, 12, 31, 18)},
                        true));
    // No week of a year is numbered 54: only DTSTART.
    EXPECT_EQ(walk("FREQ=YEARLY;BYWEEKNO=54", wall(2026, 12, 31, 18), wall(2040, 1, 1, 0)),
              std::pair(std::vector<long long>{wall(2026, 12, 31, 18)}, true));
}

// INTERVAL counts years from DTSTART's, BYSETPOS picks from a year's set, and a date as UNTIL lasts all day.
TEST(WeekNumberRuleTest, IntervalsPositionsAndUntilApplyToWholeYears) {
    EXPECT_EQ(
        walk("FREQ=YEARLY;INTERVAL=2;BYWEEKNO=20;BYDAY=MO,TU,WE;BYSETPOS=-1;UNTIL=20300515",
             wall(2026, 5, 13, 8), wall(2040, 1, 1, 0)),
        std::pair(std::vector<long long>{wall(2026, 5, 13, 8), wall(2028, 5, 17, 8), wall(2030, 5, 15, 8)},
                  true));
    // The first week of 2026 begins on 29 December 2025.
    EXPECT_EQ(
        walk("FREQ=YEARLY;BYWEEKNO=1,2;BYDAY=MO;BYSETPOS=2", wall(2026, 1, 5, 8), wall(2028, 1, 1, 0)).first,
        (std::vector<long long>{wall(2026, 1, 5, 8), wall(2027, 1, 11, 8)}));
}
