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
    auto* format = new icu::SimpleDateFormat(pattern, calendar.icuLocale(), status);
    if (U_FAILURE(status)) {
        delete format;
        return nullptr;
    }
    return withCalendar(format, calendar);
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

std::optional<Instant> DateFormatter::parse(const QString& text) const {
    if (!format_)
        return std::nullopt;
    const icu::UnicodeString source = toIcu(text);
    icu::ParsePosition position(0);
    const UDate ms = format_->parse(source, position);
    if (position.getErrorIndex() >= 0 || position.getIndex() != source.length())
        return std::nullopt;
    return Instant::fromSecondsSince1970(ms / 1000.0);
}
