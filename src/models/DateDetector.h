#pragma once

#include "utilities/Instant.h"

#include <QString>
#include <optional>

// Finds the first date written in English in free text: a month name or its abbreviation with a day, with
// or without a year and a leading weekday ("Dec 25", "December 25, 2027", "25 Dec 2027",
// "Friday, March 3"), or a numeric month/day[/year] ("12/25", "12/25/2027"). A date without a year is the
// next such date on or after the reference day. The result is noon of that day in the current time zone.
class DateDetector {
public:
    static std::optional<Instant> firstDate(const QString& text, Instant reference);
};
