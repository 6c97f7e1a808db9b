#pragma once

#include <QDateTime>
#include <QString>
#include <QTimeZone>
#include <compare>

// A point in time held as double seconds, like the platform date the calendar logic was designed around.
// Stored relative to 2001-01-01 so that keys built from it read the same as on that platform.
class Instant {
public:
    static constexpr double kReferenceSince1970 = 978307200.0;

    constexpr Instant() = default;
    static constexpr Instant fromSecondsSince2001(double s) { return Instant(s); }
    static constexpr Instant fromSecondsSince1970(double s) { return Instant(s - kReferenceSince1970); }
    static Instant fromDateTime(const QDateTime& dt) {
        return fromSecondsSince1970(double(dt.toMSecsSinceEpoch()) / 1000.0);
    }
    static Instant now();

    constexpr double secondsSince2001() const { return since2001_; }
    constexpr double secondsSince1970() const { return since2001_ + kReferenceSince1970; }
    constexpr double millisecondsSince1970() const { return secondsSince1970() * 1000.0; }
    QDateTime toDateTime() const;

    constexpr Instant addingSeconds(double s) const { return Instant(since2001_ + s); }
    constexpr double secondsSince(Instant other) const { return since2001_ - other.since2001_; }

    constexpr auto operator<=>(const Instant&) const = default;

private:
    constexpr explicit Instant(double since2001) : since2001_(since2001) {}
    double since2001_ = 0;
};

// The shortest text that reads back as the same double, with ".0" on whole numbers ("12.0", "0.25").
QString shortestRoundTripText(double value);
// Room for any such text.
inline constexpr size_t kShortestRoundTripTextCapacity = 32;
// The same text in Latin-1, written from `out` (room for kShortestRoundTripTextCapacity characters);
// returns the end of the text.
char* writeShortestRoundTripText(char* out, double value);

size_t qHash(Instant instant, size_t seed = 0) noexcept;
