#include "platform/linux/SubDailyRule.h"

#include "platform/linux/WeekNumberRule.h"

#include <QDate>
#include <algorithm>

namespace {

constexpr long long kDay = 86400;
constexpr qint64 kUnixEpochJulianDay = 2440588;

long long floorDiv(long long a, long long b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// The values of `list` from 0 to `limit` - 1, ascending; `never` when it had values and none of them is
// possible.
std::vector<int> possible(std::vector<int> list, int limit, bool& never) {
    const bool given = !list.empty();
    list.erase(std::remove_if(list.begin(), list.end(), [&](int v) { return v < 0 || v >= limit; }),
               list.end());
    std::sort(list.begin(), list.end());
    never |= given && list.empty();
    return list;
}

// The smallest value of an ascending list after `value`; nothing when there is none.
std::optional<int> after(const std::vector<int>& list, int value) {
    const auto found = std::upper_bound(list.begin(), list.end(), value);
    return found == list.end() ? std::nullopt : std::optional<int>(*found);
}

bool contains(const std::vector<int>& list, int value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

// Whether `value` of `count` (a day of a month of `count` days, say) is in a list that counts from the end
// with negative numbers.
bool matchesEitherEnd(const std::vector<int>& list, int value, int count) {
    return list.empty() || contains(list, value) || contains(list, value - count - 1);
}

QDate dateOf(long long day) {
    return QDate::fromJulianDay(day + kUnixEpochJulianDay);
}

// Monday 1 to Sunday 7 as libical's Sunday 1 to Saturday 7.
int icalWeekday(const QDate& date) {
    return date.dayOfWeek() % 7 + 1;
}

} // namespace

SubDailyRule::SubDailyRule(const icalrecurrencetype& rule, long long firstWall)
    : set_(rule, firstWall), firstWall_(firstWall),
      weekStart_(rule.week_start == ICAL_NO_WEEKDAY ? int(ICAL_MONDAY_WEEKDAY) : int(rule.week_start)),
      hours_(RecurrenceSet::listOf(rule.by_hour)), minutes_(RecurrenceSet::listOf(rule.by_minute)),
      seconds_(RecurrenceSet::listOf(rule.by_second)), monthDays_(RecurrenceSet::listOf(rule.by_month_day)),
      yearDays_(RecurrenceSet::listOf(rule.by_year_day)),
      weekNumbers_(RecurrenceSet::listOf(rule.by_week_no)), months_(RecurrenceSet::listOf(rule.by_month)),
      cursor_(firstWall) {
    for (int day : RecurrenceSet::listOf(rule.by_day))
        weekdays_.push_back(int(icalrecurrencetype_day_day_of_week(short(day))));
    const long long interval = std::max<long long>(1, rule.interval);
    const long long secondOfDay = firstWall - floorDiv(firstWall, kDay) * kDay;
    std::vector<int> expandedMinutes{int(secondOfDay / 60 % 60)};
    std::vector<int> expandedSeconds{int(secondOfDay % 60)};
    switch (rule.freq) {
    case ICAL_HOURLY_RECURRENCE:
        unit_ = 3600;
        // Minutes and seconds fill the hour.
        if (!minutes_.empty())
            expandedMinutes = std::exchange(minutes_, {});
        if (!seconds_.empty())
            expandedSeconds = std::exchange(seconds_, {});
        break;
    case ICAL_MINUTELY_RECURRENCE:
        unit_ = 60;
        expandedMinutes = {0};
        if (!seconds_.empty())
            expandedSeconds = std::exchange(seconds_, {});
        break;
    default:
        unit_ = 1;
        expandedMinutes = {0};
        expandedSeconds = {0};
        break;
    }
    for (int minute : expandedMinutes)
        for (int second : expandedSeconds)
            if (minute >= 0 && minute < 60 && second >= 0 && second < 60)
                offsets_.push_back(60LL * minute + second);
    std::sort(offsets_.begin(), offsets_.end());
    offsets_.erase(std::unique(offsets_.begin(), offsets_.end()), offsets_.end());
    // Wall times have no leap seconds: a rule that names only second 60 has nothing but DTSTART.
    bool never = false;
    hours_ = possible(std::move(hours_), 24, never);
    minutes_ = possible(std::move(minutes_), 60, never);
    seconds_ = possible(std::move(seconds_), 60, never);
    never |= offsets_.empty();
    if (never)
        set_ = RecurrenceSet(rule, firstWall, true);
    step_ = unit_ * interval;
    anchor_ = floorDiv(firstWall, unit_) * unit_;
    cursor_ = anchor_;
}

void SubDailyRule::restartAt(long long wall) {
    if (wall <= firstWall_)
        return;
    set_.restartAt(wall);
    // The period that holds `wall` may have instances at or after it.
    cursor_ = periodAtOrAfter(wall - unit_ + 1);
}

long long SubDailyRule::periodAtOrAfter(long long wall) const {
    return anchor_ + (floorDiv(wall - anchor_ - 1, step_) + 1) * step_;
}

bool SubDailyRule::dayMatches(long long day) const {
    if (months_.empty() && monthDays_.empty() && yearDays_.empty() && weekdays_.empty() &&
        weekNumbers_.empty())
        return true;
    const QDate date = dateOf(day);
    if (!months_.empty() && !contains(months_, date.month()))
        return false;
    if (!weekdays_.empty() && !contains(weekdays_, icalWeekday(date)))
        return false;
    if (!matchesEitherEnd(monthDays_, date.day(), date.daysInMonth()) ||
        !matchesEitherEnd(yearDays_, date.dayOfYear(), date.daysInYear()))
        return false;
    if (weekNumbers_.empty())
        return true;
    const WeekNumberRule::Week week = WeekNumberRule::weekOf(day, weekStart_);
    return matchesEitherEnd(weekNumbers_, week.number, week.count);
}

std::optional<long long> SubDailyRule::skipFrom(long long period) const {
    const long long day = floorDiv(period, kDay);
    if (!dayMatches(day))
        return (day + 1) * kDay;
    // Each part that does not match moves on to its next value that does, or past its own unit.
    const long long hour = day * kDay + (period - day * kDay) / 3600 * 3600;
    const int hourOfDay = int((hour - day * kDay) / 3600);
    if (!hours_.empty() && !contains(hours_, hourOfDay)) {
        const std::optional<int> next = after(hours_, hourOfDay);
        return next ? day * kDay + 3600LL * *next : (day + 1) * kDay;
    }
    const long long minute = hour + (period - hour) / 60 * 60;
    const int minuteOfHour = int((minute - hour) / 60);
    if (!minutes_.empty() && !contains(minutes_, minuteOfHour)) {
        const std::optional<int> next = after(minutes_, minuteOfHour);
        return next ? hour + 60LL * *next : hour + 3600;
    }
    const int secondOfMinute = int(period - minute);
    if (!seconds_.empty() && !contains(seconds_, secondOfMinute)) {
        const std::optional<int> next = after(seconds_, secondOfMinute);
        return next ? minute + *next : minute + 60;
    }
    return std::nullopt;
}

std::optional<long long> SubDailyRule::next(long long horizon) {
    while (!set_.ended()) {
        if (const std::optional<long long> at = set_.next(horizon))
            return at;
        if (set_.ended() || !set_.exhausted())
            break;
        // The next period that may match, before the horizon.
        long long period = cursor_;
        while (period < horizon) {
            const std::optional<long long> skip = skipFrom(period);
            if (!skip)
                break;
            period = periodAtOrAfter(*skip);
        }
        if (set_.endsBefore(period))
            break;
        cursor_ = period;
        if (period >= horizon)
            break;
        cursor_ = period + step_;
        candidates_.clear();
        for (long long offset : offsets_)
            candidates_.push_back(period + offset);
        set_.fill(candidates_);
    }
    return std::nullopt;
}
