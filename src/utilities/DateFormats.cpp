#include "utilities/DateFormats.h"

#include "utilities/IcuText.h"

#include <unicode/calendar.h>
#include <unicode/dtptngen.h>
#include <unicode/smpdtfmt.h>

namespace {
std::unique_ptr<icu::DateFormat> withCalendar(icu::DateFormat* format, const Calendar& calendar) {
    std::unique_ptr<icu::DateFormat> owned(format);
    if (owned)
        owned->setCalendar(calendar.icuCalendar());
    return owned;
}

std::unique_ptr<icu::DateFormat> patternFormat(const Calendar& calendar, const icu::UnicodeString& pattern) {
    UErrorCode status = U_ZERO_ERROR;
    auto format = std::make_unique<icu::SimpleDateFormat>(pattern, calendar.icuLocale(), status);
    if (U_FAILURE(status))
        return nullptr;
    return withCalendar(format.release(), calendar);
}
} // namespace

DateFormatter::DateFormatter(std::unique_ptr<icu::DateFormat> format) : format_(std::move(format)) {}
DateFormatter::DateFormatter(DateFormatter&&) noexcept = default;
DateFormatter& DateFormatter::operator=(DateFormatter&&) noexcept = default;
DateFormatter::~DateFormatter() = default;

DateFormatter DateFormatter::fromSkeleton(const Calendar& calendar, const QString& skeleton) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::DateTimePatternGenerator> generator(
        icu::DateTimePatternGenerator::createInstance(calendar.icuLocale(), status));
    if (U_FAILURE(status) || !generator)
        return DateFormatter(patternFormat(calendar, toIcu(skeleton)));
    const icu::UnicodeString pattern = generator->getBestPattern(toIcu(skeleton), status);
    return DateFormatter(patternFormat(calendar, pattern));
}

DateFormatter DateFormatter::fullDate(const Calendar& calendar) {
    return DateFormatter(withCalendar(
        icu::DateFormat::createDateInstance(icu::DateFormat::kFull, calendar.icuLocale()), calendar));
}

DateFormatter DateFormatter::fixedPattern(const Calendar& calendar, const QString& pattern) {
    auto format = patternFormat(calendar, toIcu(pattern));
    if (format)
        format->setLenient(false);
    return DateFormatter(std::move(format));
}

QString DateFormatter::pattern() const {
    icu::UnicodeString pattern;
    if (auto* simple = dynamic_cast<icu::SimpleDateFormat*>(format_.get()))
        simple->toPattern(pattern);
    return fromIcu(pattern);
}

QString DateFormatter::format(Instant t) const {
    if (!format_)
        return {};
    icu::UnicodeString text;
    format_->format(t.millisecondsSince1970(), text);
    return fromIcu(text);
}

namespace {
std::optional<Instant> parseWhole(const icu::DateFormat& format, const icu::UnicodeString& source) {
    icu::ParsePosition position(0);
    const UDate ms = format.parse(source, position);
    if (position.getErrorIndex() >= 0 || position.getIndex() != source.length())
        return std::nullopt;
    return Instant::fromSecondsSince1970(ms / 1000.0);
}
} // namespace

std::optional<Instant> DateFormatter::parse(const QString& text) const {
    if (!format_)
        return std::nullopt;
    const icu::UnicodeString source = toIcu(text);
    if (auto parsed = parseWhole(*format_, source))
        return parsed;
    if (format_->isCalendarLenient())
        return std::nullopt;
    // A strict calendar also refuses a wall time that a daylight change skips, such as midnight of
    // 2022-09-11 in Santiago, although that day exists. Read it leniently (the next valid time) and keep it
    // only if it writes back as the same text: a rolled-over day like 30 February does not.
    format_->setCalendarLenient(true);
    const auto lenient = parseWhole(*format_, source);
    format_->setCalendarLenient(false);
    if (lenient && format(*lenient) == text)
        return lenient;
    return std::nullopt;
}
