#pragma once

#include "utilities/Instant.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

#include <unicode/uversion.h>

U_NAMESPACE_BEGIN
class Calendar;
class Locale;
class TimeZone;
U_NAMESPACE_END

// One snapshot of a calendar over ICU: type, locale, time zone and first weekday. Weekdays are numbered
// 1 = Sunday ... 7 = Saturday whatever the first weekday is. Arithmetic that ICU cannot perform yields
// nothing instead of a wrong date.
class Calendar {
public:
    // The user's calendar right now: locale from the environment, host time zone (or the pinned ones).
    static Calendar current();
    // Gregorian with the "en_US_POSIX" locale in the current time zone (fixed numeric forms).
    static Calendar gregorian();
    // ISO 8601 weeks: Monday first, week 1 holds the year's first Thursday; current time zone.
    static Calendar iso8601();

    Calendar(const Calendar& other);
    Calendar& operator=(const Calendar& other);
    Calendar(Calendar&&) noexcept;
    Calendar& operator=(Calendar&&) noexcept;
    ~Calendar();

    QString localeName() const { return localeName_; }
    QString timeZoneId() const { return timeZoneId_; }
    int firstWeekday() const;
    void setFirstWeekday(int weekday);
    Calendar withFirstWeekday(int weekday) const;

    // The day's first instant: midnight, or the first time a day has that begins with a clock change.
    Instant startOfDay(Instant t) const;
    // The first instant of the day `days` days after the day that starts at `dayStart` (before it when
    // negative).
    std::optional<Instant> startOfDayAfter(int days, Instant dayStart) const;
    int weekday(Instant t) const;
    int day(Instant t) const;
    int month(Instant t) const; // 1-based
    int year(Instant t) const;
    int hour(Instant t) const;
    int minute(Instant t) const;
    int weekOfYear(Instant t) const;

    std::optional<Instant> firstOfMonth(Instant t) const;
    std::optional<Instant> addingDays(int days, Instant t) const;
    std::optional<Instant> addingMonths(int months, Instant t) const;
    // This calendar's own fields (month 1-based) at the given wall time; nothing when they name no instant.
    std::optional<Instant> date(int year, int month, int day, int hour = 0, int minute = 0,
                                int second = 0) const;
    bool isSameDay(Instant a, Instant b) const;
    bool isSameMonth(Instant a, Instant b) const; // same era, year and month

    // The next instant after `after` with the given wall time: a skipped time resolves to the next
    // existing one, a repeated time to its first occurrence.
    std::optional<Instant> nextTime(Instant after, int hour, int minute, int second) const;

    // The instant at which this calendar's zone shows a wall time, given as the instant at which UTC shows
    // it. As iCalendar reads wall times, one skipped by a clock change takes the offset in force before the
    // change (02:30 in a 02:00-03:00 gap is 03:30) and a repeated one is its first occurrence.
    Instant fromWallTime(Instant wallAsUtc) const;

    // Seven one-letter names in the calendar's locale, Sunday first.
    QStringList veryShortWeekdaySymbols() const;

    const icu::Calendar& icuCalendar() const { return *calendar_; }
    icu::Locale icuLocale() const;

private:
    Calendar(std::unique_ptr<icu::Calendar> calendar, QString localeName, QString timeZoneId);
    icu::Calendar& at(Instant t) const;
    int field(Instant t, int icuField) const;

    std::unique_ptr<icu::Calendar> calendar_;
    QString localeName_;
    QString timeZoneId_;
};

namespace CurrentCalendar {
QString localeName(); // the environment's (LC_ALL, LC_TIME, LANG) or the pinned one
QString timeZoneId(); // the host's or the pinned one
} // namespace CurrentCalendar

// Pins the current calendar's locale and time zone for the life of the object (tests).
class ScopedCalendarPin {
public:
    ScopedCalendarPin(const QString& localeName, const QString& timeZoneId);
    ~ScopedCalendarPin();
    ScopedCalendarPin(const ScopedCalendarPin&) = delete;
    ScopedCalendarPin& operator=(const ScopedCalendarPin&) = delete;

private:
    QString previousLocale_;
    QString previousZone_;
};

// An ICU time zone whose rules come from the system's zoneinfo (ICU's built-in data is stale).
std::unique_ptr<icu::TimeZone> systemTimeZone(const QString& id);
