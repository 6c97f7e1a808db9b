#pragma once

#include "utilities/Instant.h"

#include <QString>
#include <optional>

// Finds the first date written in English in free text: a month name or its abbreviation with a day, with
// or without a year and a leading weekday ("Dec 25", "December 25, 2027", "25 Dec 2027",
// "Friday, March 3"), a numeric month/day[/year] ("12/25", "12/25/2027", "1/2/99"; day first when
// `dayFirst`), a dotted day.month.[year] ("25.12.2027", "25.12.") or a numeric date with the year first
// ("2024/12/25", "on 2026-12-25"). A date without a year is the next such date on or after
// the reference day; a two-digit year lies within 80 years before and 20 after the reference. The result
// is noon of that day in the current time zone.
class DateDetector {
public:
    // Only the text's first characters are searched: a date phrase is far shorter, and searching a long
    // paste takes time in proportion to its length.
    static constexpr qsizetype kLongestText = 1000;

    static std::optional<Instant> firstDate(const QString& text, Instant reference, bool dayFirst = false);
};
