#include "models/DateDetector.h"

#include "utilities/CurrentCalendar.h"

#include <QRegularExpression>
#include <array>

namespace {

const QString kMonth =
    QStringLiteral("(january|february|march|april|may|june|july|august|september|october|november|december|"
                   "jan|feb|mar|apr|jun|jul|aug|sept|sep|oct|nov|dec)\\.?");
const QString kWeekday = QStringLiteral(
    "(?:(?:monday|tuesday|wednesday|thursday|friday|saturday|sunday|mon|tues|tue|wed|thurs|thur|thu|fri|"
    "sat|sun)\\.?,?\\s+)?");
const QString kDay = QStringLiteral("(\\d{1,2})(?:st|nd|rd|th)?");
const QString kYear = QStringLiteral("(?:,?\\s+(\\d{4}))?");
const QString kEnd = QStringLiteral("(?![\\w/])");

int monthNumber(const QString& name) {
    static const std::array<const char*, 12> prefixes{"jan", "feb", "mar", "apr", "may", "jun",
                                                      "jul", "aug", "sep", "oct", "nov", "dec"};
    const QString lowered = name.toLower();
    for (size_t i = 0; i < prefixes.size(); ++i)
        if (lowered.startsWith(QLatin1String(prefixes[i])))
            return int(i) + 1;
    return 0;
}

struct Pattern {
    QRegularExpression expression;
    int monthGroup;
    int dayGroup;
    int yearGroup;
    bool numericMonth;
    // Whether month and day trade places where the user's locale writes the day first.
    bool inLocaleOrder = false;
};

const std::array<Pattern, 5>& patterns() {
    static const auto options = QRegularExpression::CaseInsensitiveOption;
    static const std::array<Pattern, 5> list{{
        {QRegularExpression("\\b" + kWeekday + kMonth + "\\s+" + kDay + kYear + kEnd, options), 1, 2, 3,
         false},
        {QRegularExpression("\\b" + kWeekday + kDay + "\\s+(?:of\\s+)?" + kMonth + kYear + kEnd, options), 2,
         1, 3, false},
        // Year first, with the same separator twice: "2024/12/25", "2026-12-25".
        {QRegularExpression("\\b(\\d{4})([/-])(\\d{1,2})\\2(\\d{1,2})" + kEnd, options), 3, 4, 1, true},
        // Not the tail of a longer numeric date.
        {QRegularExpression("(?<![\\d/-])(\\d{1,2})/(\\d{1,2})(?:/(\\d{4}|\\d{2}))?" + kEnd, options), 1, 2,
         3, true, true},
        // Dotted dates are day first in every locale that writes them: "25.12.2027", "25.12.27", "25.12.".
        {QRegularExpression("(?<![\\d.])(\\d{1,2})\\.(\\d{1,2})\\.(\\d{4}|\\d{2})?(?![\\w.])", options), 2, 1,
         3, true},
    }};
    return list;
}

// A two-digit year as ICU reads one by default: the year that lies at most 80 years before and less than 20
// after the reference year.
int fullYear(int twoDigits, int referenceYear) {
    const int first = referenceYear - 80;
    const int year = first - first % 100 + twoDigits;
    return year < first ? year + 100 : year;
}

std::optional<Instant> resolve(const Calendar& calendar, int month, int day, std::optional<int> year,
                               Instant reference) {
    if (month < 1 || month > 12 || day < 1 || day > 31)
        return std::nullopt;
    if (year)
        return calendar.date(*year, month, day, 12);
    // The next such day on or after the reference day; 29 February waits for a leap year.
    const Instant referenceDay = calendar.startOfDay(reference);
    const int referenceYear = calendar.year(reference);
    for (int y = referenceYear; y <= referenceYear + 8; ++y) {
        const auto candidate = calendar.date(y, month, day, 12);
        if (candidate && calendar.startOfDay(*candidate) >= referenceDay)
            return candidate;
    }
    return std::nullopt;
}

} // namespace

std::optional<Instant> DateDetector::firstDate(const QString& fullText, Instant reference, bool dayFirst) {
    const QString text = fullText.left(kLongestText);
    const Calendar calendar = Calendar::gregorian();
    std::optional<Instant> best;
    qsizetype bestStart = text.size() + 1;
    for (const Pattern& pattern : patterns()) {
        auto matches = pattern.expression.globalMatch(text);
        while (matches.hasNext()) {
            const auto match = matches.next();
            if (match.capturedStart() >= bestStart)
                break;
            const bool swapped = pattern.inLocaleOrder && dayFirst;
            const QString monthText = match.captured(swapped ? pattern.dayGroup : pattern.monthGroup);
            const int month = pattern.numericMonth ? monthText.toInt() : monthNumber(monthText);
            const int day = match.captured(swapped ? pattern.monthGroup : pattern.dayGroup).toInt();
            std::optional<int> year;
            if (const QString y = match.captured(pattern.yearGroup); !y.isEmpty())
                year = y.size() == 2 ? fullYear(y.toInt(), calendar.year(reference)) : y.toInt();
            if (const auto date = resolve(calendar, month, day, year, reference)) {
                best = date;
                bestStart = match.capturedStart();
                break;
            }
        }
    }
    return best;
}
