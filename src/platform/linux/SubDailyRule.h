#pragma once

#include <optional>
#include <vector>

#include "platform/linux/RecurrenceSet.h"

#include <libical/ical.h>

// An HOURLY, MINUTELY or SECONDLY rule, walked over wall times (seconds since 1970 at which UTC shows them)
// as RFC 5545 expands it. libical steps through every hour, minute or second testing each against the
// rule's date parts, and stops only at a match or in the year 2582: a part that rarely or never matches
// (BYMONTHDAY=30 with BYMONTH=2) keeps it busy for hours. This walk passes over a day, hour or minute that
// cannot match at once, and never looks beyond the horizon it is given.
class SubDailyRule {
public:
    SubDailyRule(const icalrecurrencetype& rule, long long firstWall);

    // Goes on from the first instance at or after `wall`; only for rules without COUNT.
    void restartAt(long long wall);
    // The next instance before `horizon`; nothing when there is none before it, or none at all (ended()).
    std::optional<long long> next(long long horizon);
    bool ended() const { return set_.ended(); }

private:
    // The first period of the rule at or after `wall`.
    long long periodAtOrAfter(long long wall) const;
    // Whether anything of the period that starts at `period` may match; else where to look next.
    std::optional<long long> skipFrom(long long period) const;
    bool dayMatches(long long day) const;

    RecurrenceSet set_;
    long long firstWall_;
    // The length of a period, and where the period that holds DTSTART begins.
    long long unit_;
    long long step_;
    long long anchor_;
    int weekStart_;
    // Offsets from a period's start of its candidates, ascending (BYMINUTE and BYSECOND that expand).
    std::vector<long long> offsets_;
    std::vector<int> hours_, minutes_, seconds_, weekdays_, monthDays_, yearDays_, weekNumbers_, months_;

    long long cursor_;
    std::vector<long long> candidates_;
};
