#include "platform/linux/WeekNumberRule.h"

#include <QDate>
#include <algorithm>

namespace {

constexpr long long kDay = 86400;
constexpr qint64 kUnixEpochJulianDay = 2440588;
// Years beyond these have no instances: nothing is shown there.
constexpr int kFirstYear = 1;
constexpr int kLastYear = 9999;
// A year's set holds at most this many candidates: twice every minute of a year, far more than any real
// rule, and a bound on what a rule of every second of dozens of weeks would take.
constexpr size_t kMostCandidates = size_t(1) << 20;

long long floorDiv(long long a, long long b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

QDate dateOf(long long day) {
    return QDate::fromJulianDay(day + kUnixEpochJulianDay);
}

// Monday 1 to Sunday 7 as libical's Sunday 1 to Saturday 7.
int icalWeekday(const QDate& date) {
    return date.dayOfWeek() % 7 + 1;
}

bool contains(const std::vector<int>& list, int value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

// Whether `value` of `count` is in a list that counts from the end with negative numbers.
bool matchesEitherEnd(const std::vector<int>& list, int value, int count) {
    return list.empty() || contains(list, value) || contains(list, value - count - 1);
}

// The values of `list` from `low` to `high`.
std::vector<int> within(std::vector<int> list, int low, int high) {
    list.erase(std::remove_if(list.begin(), list.end(), [&](int v) { return v < low || v > high; }),
               list.end());
    return list;
}

} // namespace

long long WeekNumberRule::firstDayOfWeekOne(int year, int weekStart) {
    // There is no year 0: the year after 1 BC is 1.
    const QDate fourth(year == 0 ? 1 : year, 1, 4);
    const long long day = fourth.toJulianDay() - kUnixEpochJulianDay;
    return day - (icalWeekday(fourth) - weekStart + 7) % 7;
}

WeekNumberRule::Week WeekNumberRule::weekOf(long long day, int weekStart) {
    const long long weekFirstDay = day - (icalWeekday(dateOf(day)) - weekStart + 7) % 7;
    const int year = dateOf(weekFirstDay + 3).year();
    const long long weekOne = firstDayOfWeekOne(year, weekStart);
    return {year, int((weekFirstDay - weekOne) / 7) + 1,
            int((firstDayOfWeekOne(year + 1, weekStart) - weekOne) / 7)};
}

WeekNumberRule::WeekNumberRule(const icalrecurrencetype& rule, long long firstWall)
    : set_(rule, firstWall), interval_(std::max(1, int(rule.interval))),
      weekStart_(rule.week_start == ICAL_NO_WEEKDAY ? int(ICAL_MONDAY_WEEKDAY) : int(rule.week_start)),
      weekNumbers_(within(RecurrenceSet::listOf(rule.by_week_no), -53, 53)),
      months_(RecurrenceSet::listOf(rule.by_month)), monthDays_(RecurrenceSet::listOf(rule.by_month_day)),
      yearDays_(RecurrenceSet::listOf(rule.by_year_day)) {
    const long long firstDay = floorDiv(firstWall, kDay);
    const long long secondOfDay = firstWall - firstDay * kDay;
    // Ordinals of BYDAY mean nothing beside BYWEEKNO: the weekdays count.
    for (int day : RecurrenceSet::listOf(rule.by_day))
        weekdays_.push_back(int(icalrecurrencetype_day_day_of_week(short(day))));
    // Without any day part the weeks hold DTSTART's weekday, as times without BYHOUR hold its hour.
    if (weekdays_.empty() && monthDays_.empty() && yearDays_.empty())
        weekdays_.push_back(icalWeekday(dateOf(firstDay)));
    auto orStart = [](std::vector<int> list, int start, int high) {
        return list.empty() ? std::vector<int>{start} : within(std::move(list), 0, high);
    };
    const std::vector<int> hours = orStart(RecurrenceSet::listOf(rule.by_hour), int(secondOfDay / 3600), 23);
    const std::vector<int> minutes =
        orStart(RecurrenceSet::listOf(rule.by_minute), int(secondOfDay / 60 % 60), 59);
    // Wall times have no leap seconds.
    const std::vector<int> seconds =
        orStart(RecurrenceSet::listOf(rule.by_second), int(secondOfDay % 60), 59);
    for (int hour : hours)
        for (int minute : minutes)
            for (int second : seconds)
                times_.push_back(3600LL * hour + 60LL * minute + second);
    std::sort(times_.begin(), times_.end());
    times_.erase(std::unique(times_.begin(), times_.end()), times_.end());
    // The years count from DTSTART's; its days may lie in the last weeks of the year before.
    const int startYear = dateOf(firstDay).year();
    year_ = std::max(kFirstYear, interval_ == 1 ? startYear - 1 : startYear);
}

bool WeekNumberRule::dayMatches(long long day) const {
    const QDate date = dateOf(day);
    return (weekdays_.empty() || contains(weekdays_, icalWeekday(date))) &&
           (months_.empty() || contains(months_, date.month())) &&
           matchesEitherEnd(monthDays_, date.day(), date.daysInMonth()) &&
           matchesEitherEnd(yearDays_, date.dayOfYear(), date.daysInYear());
}

std::vector<long long> WeekNumberRule::candidates(int year) const {
    const long long weekOne = firstDayOfWeekOne(year, weekStart_);
    const int weeks = int((firstDayOfWeekOne(year + 1, weekStart_) - weekOne) / 7);
    std::vector<int> ordered;
    for (int number : weekNumbers_) {
        const int week = number > 0 ? number : weeks + number + 1;
        if (number != 0 && week >= 1 && week <= weeks)
            ordered.push_back(week);
    }
    std::sort(ordered.begin(), ordered.end());
    ordered.erase(std::unique(ordered.begin(), ordered.end()), ordered.end());
    std::vector<long long> set;
    for (int week : ordered)
        for (long long day = weekOne + 7LL * (week - 1), end = day + 7; day < end; ++day)
            if (dayMatches(day))
                for (long long time : times_) {
                    if (set.size() == kMostCandidates)
                        return set;
                    set.push_back(day * kDay + time);
                }
    return set;
}

std::optional<long long> WeekNumberRule::next(long long horizon) {
    while (!set_.ended()) {
        if (const std::optional<long long> at = set_.next(horizon))
            return at;
        if (set_.ended() || !set_.exhausted())
            break;
        const long long yearStart = firstDayOfWeekOne(year_, weekStart_) * kDay;
        if (year_ > kLastYear || weekNumbers_.empty()) {
            set_.end();
            break;
        }
        if (set_.endsBefore(yearStart) || yearStart >= horizon)
            break;
        set_.fill(candidates(year_));
        year_ += interval_;
    }
    return std::nullopt;
}
