#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The rule a zoneinfo file states for every time after its last listed transition, written as a POSIX TZ
// string ("CET-1CEST,M3.5.0,M10.5.0/3"). Offsets are seconds east of UTC.
struct PosixZoneRule {
    // The day and local time (of the offset in force before it) at which one offset takes over each year.
    struct Change {
        int month = 1; // 1-based
        // The day in the month: with a weekday, 1 to 4 count that weekday from the month's start and 5 is
        // its last; without one, the day of the month itself.
        int day = 1;
        std::optional<int> weekday;  // 0 = Sunday
        int secondsOfDay = 2 * 3600; // may be negative or beyond one day
    };
    struct Daylight {
        QString name;
        int offset = 0;
        Change start;
        Change end;
    };

    QString standardName;
    int standardOffset = 0;
    std::optional<Daylight> daylight;

    // Nothing for texts we cannot read exactly, such as zero-based days of the year, which no annual rule
    // can express.
    static std::optional<PosixZoneRule> parse(const QByteArray& text);
    // The rule at the end of the system's zoneinfo file for `zoneId` (under $TZDIR, else
    // /usr/share/zoneinfo); nothing when the file has none.
    static std::optional<PosixZoneRule> ofSystemZone(const QString& zoneId);
};
