// The free-form date jump of the month view.
#include "models/CalendarModel.h"
#include "models/DateDetector.h"
#include "utilities/DateFormats.h"

#include <QLocale>
#include <array>
#include <utility>

namespace {
// Names are compared exactly after lower-casing; the first row that holds the word wins.
const std::array<std::pair<int, std::array<const char*, 4>>, 7> kWeekdayNames{{
    {1, {"sun", "sunday"}},
    {2, {"mon", "monday"}},
    {3, {"tue", "tues", "tuesday"}},
    {4, {"wed", "weds", "wednesday"}},
    {5, {"thu", "thur", "thurs", "thursday"}},
    {6, {"fri", "friday"}},
    {7, {"sat", "saturday"}},
}};

// Whether the locale writes a numeric date with the day before the month ("25/12/2027"). Qt's copy of the
// locale data answers that; ICU's pattern generator costs more than the rest of a parse, and fails on
// malformed locale names.
bool writesDayFirst(const Calendar& calendar) {
    const QString pattern = QLocale(calendar.localeName()).dateFormat(QLocale::ShortFormat);
    const qsizetype day = pattern.indexOf(u'd');
    const qsizetype month = pattern.indexOf(u'M');
    return day >= 0 && month >= 0 && day < month;
}

int weekdayNamed(const QString& word) {
    for (const auto& [weekday, names] : kWeekdayNames)
        for (const char* name : names)
            if (name && word == QLatin1String(name))
                return weekday;
    return 0;
}
} // namespace

std::optional<Instant> CalendarModel::parse(const QString& text, Instant reference) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    const QString lowered = trimmed.toLower();
    const Calendar cal = Calendar::current();
    const Instant base = cal.startOfDay(reference);

    if (lowered == u"today")
        return base;
    // The named day's start, which need not be at the wall time of the reference day's start.
    if (lowered == u"tomorrow")
        return cal.startOfDayAfter(1, base);
    if (lowered == u"yesterday")
        return cal.startOfDayAfter(-1, base);

    if (const auto weekday = parseWeekday(lowered, base, cal))
        return weekday;

    // ICU reads a long run of digits in quadratic time: nothing longer than "yyyy-MM-dd" goes there.
    const Calendar posix = Calendar::gregorian();
    if (trimmed.size() <= 10)
        if (const auto numeric =
                DateFormatter::fixedPattern(posix, QStringLiteral("yyyy-MM-dd")).parse(trimmed))
            return cal.startOfDay(*numeric);

    if (const auto detected = DateDetector::firstDate(trimmed, reference, writesDayFirst(cal)))
        return cal.startOfDay(*detected);
    return std::nullopt;
}

std::optional<Instant> CalendarModel::parseWeekday(const QString& lowered, Instant base,
                                                   const Calendar& calendar) {
    QStringList words = lowered.split(u' ', Qt::SkipEmptyParts);
    QString modifier;
    if (!words.isEmpty() &&
        (words.first() == u"next" || words.first() == u"this" || words.first() == u"last"))
        modifier = words.takeFirst();
    if (words.size() != 1)
        return std::nullopt;
    const int target = weekdayNamed(words.first());
    if (target == 0)
        return std::nullopt;

    int delta = (target - calendar.weekday(base) + 7) % 7;
    if (modifier == u"next" && delta == 0)
        delta = 7;
    else if (modifier == u"last")
        delta -= 7;
    return calendar.startOfDayAfter(delta, base);
}
