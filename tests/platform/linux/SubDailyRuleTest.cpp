#include "platform/linux/SubDailyRule.h"

#include <QDateTime>
#include <QTimeZone>
#include <gtest/gtest.h>

namespace {

long long wall(int year, int month, int day, int hour, int minute = 0, int second = 0) {
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second), QTimeZone::utc())
        .toSecsSinceEpoch();
}

// The instances of `rule` from `first` on, before `horizon`, and whether the rule ended there.
std::pair<std::vector<long long>, bool> walk(const char* rule, long long first, long long horizon,
                                             std::optional<long long> restart = std::nullopt) {
    SubDailyRule walk(icalrecurrencetype_from_string(rule), first);
    if (restart)
        walk.restartAt(*restart);
    std::vector<long long> found;
    while (const std::optional<long long> next = walk.next(horizon))
        found.push_back(*next);
    return {found, walk.ended()};
}

} // namespace

// BYSETPOS counts within each hour or minute, from either end; a position beyond the set names nothing.
TEST(SubDailyRuleTest, SetPositionsPickFromEachPeriod) {
    const long long friday = wall(2026, 1, 2, 23, 45);
    EXPECT_EQ(
        walk("FREQ=HOURLY;BYSETPOS=-1;BYMINUTE=0,15,30,45;BYHOUR=23;BYDAY=FR;COUNT=3", friday,
             wall(2027, 1, 1, 0)),
        std::pair(std::vector<long long>{friday, wall(2026, 1, 9, 23, 45), wall(2026, 1, 16, 23, 45)}, true));
    EXPECT_EQ(
        walk("FREQ=HOURLY;BYMINUTE=40,0,20;BYSETPOS=2,-3;COUNT=4", wall(2026, 3, 2, 10), wall(2026, 4, 1, 0))
            .first,
        (std::vector<long long>{wall(2026, 3, 2, 10), wall(2026, 3, 2, 10, 20), wall(2026, 3, 2, 11),
                                wall(2026, 3, 2, 11, 20)}));
    EXPECT_EQ(walk("FREQ=MINUTELY;INTERVAL=5;BYSECOND=10,20,30;BYSETPOS=-2", wall(2026, 3, 2, 10, 0, 20),
                   wall(2026, 3, 2, 10, 11))
                  .first,
              (std::vector<long long>{wall(2026, 3, 2, 10, 0, 20), wall(2026, 3, 2, 10, 5, 20),
                                      wall(2026, 3, 2, 10, 10, 20)}));
    // Restarted later, the positions still count from the start of each period.
    EXPECT_EQ(walk("FREQ=HOURLY;BYMINUTE=0,15,30,45;BYSETPOS=-2", wall(2026, 3, 2, 10, 30),
                   wall(2026, 3, 3, 13), wall(2026, 3, 3, 11, 31))
                  .first,
              (std::vector<long long>{wall(2026, 3, 3, 12, 30)}));
    EXPECT_EQ(
        walk("FREQ=HOURLY;BYMINUTE=0,20,40;BYSETPOS=-4,4", wall(2026, 3, 2, 10), wall(2026, 3, 9, 0)).first,
        std::vector<long long>{wall(2026, 3, 2, 10)});
}

// A date as UNTIL lets the rule run to the end of that day, whether walked from DTSTART or restarted.
TEST(SubDailyRuleTest, ADateUntilLastsItsWholeDay) {
    const auto [hours, ended] =
        walk("FREQ=HOURLY;INTERVAL=6;UNTIL=20260305", wall(2026, 3, 3, 2), wall(2026, 4, 1, 0));
    ASSERT_EQ(hours.size(), 12u);
    EXPECT_EQ(hours.back(), wall(2026, 3, 5, 20));
    EXPECT_TRUE(ended);
    EXPECT_EQ(walk("FREQ=MINUTELY;INTERVAL=7;BYHOUR=23;UNTIL=20260305", wall(2026, 3, 3, 23, 1),
                   wall(2026, 4, 1, 0), wall(2026, 3, 5, 23, 45))
                  .first,
              (std::vector<long long>{wall(2026, 3, 5, 23, 47), wall(2026, 3, 5, 23, 54)}));
}

// Week numbers count in the year that holds most of the week, from WKST, and from either end.
TEST(SubDailyRuleTest, WeekNumbersYieldTheirDays) {
    // Monday 29 December 2025 lies in the first week of 2026.
    EXPECT_EQ(
        walk("FREQ=HOURLY;BYWEEKNO=1;BYDAY=MO;BYHOUR=9", wall(2025, 12, 29, 9), wall(2028, 6, 1, 0)).first,
        (std::vector<long long>{wall(2025, 12, 29, 9), wall(2027, 1, 4, 9), wall(2028, 1, 3, 9)}));
    // Weeks from Sunday: the last of 2026 ends on Saturday 2 January 2027.
    EXPECT_EQ(
        walk("FREQ=HOURLY;BYWEEKNO=-1;WKST=SU;BYDAY=SA;BYHOUR=12", wall(2026, 6, 6, 12), wall(2028, 1, 1, 0))
            .first,
        (std::vector<long long>{wall(2026, 6, 6, 12), wall(2027, 1, 2, 12)}));
    // Week 53 only in the years that have one.
    EXPECT_EQ(walk("FREQ=MINUTELY;INTERVAL=30;BYWEEKNO=53;BYDAY=TH;BYHOUR=8;COUNT=4", wall(2026, 1, 1, 8),
                   wall(2033, 1, 1, 0))
                  .first,
              (std::vector<long long>{wall(2026, 1, 1, 8), wall(2026, 12, 31, 8), wall(2026, 12, 31, 8, 30),
                                      wall(2032, 12, 30, 8)}));
}
