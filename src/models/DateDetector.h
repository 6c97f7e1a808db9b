#pragma once

#include "utilities/Instant.h"

#include <QString>
#include <optional>

// Finds the first date written in English in free text: a month name or its abbreviation with a day, with
// or without a year and a leading weekday ("Dec 25", "December 25, 2027", "25 Dec 2027",
// "Friday, March 3"), a numeric month/day[/year] ("12/25", "12/25/2027", "1/2/99") or a numeric date with
// the year first ("2024/12/25", "on 2026-12-25"). A date without a year is the next such date on or after
// the reference day; a two-digit year lies within 80 years before and 20 after the reference. The result
// is noon of that day in the current time zone.
class DateDetector {
public:
    static std::optional<Instant> firstDate(const QString& text, Instant reference);
};
