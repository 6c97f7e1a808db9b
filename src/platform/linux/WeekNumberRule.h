#pragma once

#include <optional>
#include <vector>

#include "platform/linux/RecurrenceSet.h"

#include <libical/ical.h>

// A YEARLY rule with BYWEEKNO, walked over wall times (seconds since 1970 at which UTC shows them) as
// RFC 5545 expands it. libical counts the weeks of a WKST other than Monday wrongly (it adds days of other
// weekdays) and refuses BYWEEKNO=-1 or 53 without BYDAY.
class WeekNumberRule {
public:
    // The number of the week, starting on `weekStart` (libical's Sunday 1 to Saturday 7), that holds the day
    // `day` (days since 1970), with the year it belongs to and how many weeks that year has. A week belongs
    // to the year that holds at least four of its days.
    struct Week {
        int year;
        int number;
        int count;
    };
    static Week weekOf(long long day, int weekStart);
    // The first day of week 1 of `year`, in days since 1970.
    static long long firstDayOfWeekOne(int year, int weekStart);

    WeekNumberRule(const icalrecurrencetype& rule, long long firstWall);

    // The next instance before `horizon`; nothing when there is none before it, or none at all (ended()).
    std::optional<long long> next(long long horizon);
    bool ended() const { return set_.ended(); }

private:
    // The candidates of the set of week-year `year`, ascending.
    std::vector<long long> candidates(int year) const;
    bool dayMatches(long long day) const;

    RecurrenceSet set_;
    int interval_;
    int weekStart_;
    std::vector<int> weekNumbers_, weekdays_, months_, monthDays_, yearDays_;
    // Seconds of the day of the instances of each day, ascending.
    std::vector<long long> times_;

    int year_;
};
