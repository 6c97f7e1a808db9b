#pragma once

#include "utilities/CurrentCalendar.h"

#include <QString>
#include <memory>

#include <unicode/uversion.h>

U_NAMESPACE_BEGIN
class DateFormat;
U_NAMESPACE_END

// A formatter for one calendar (locale, type and time zone). Build it once per batch of texts: creating
// the underlying ICU formatter is the costly part.
class DateFormatter {
public:
    // A localized pattern from a skeleton such as "jmm", "yMMMM" or "EEEMMMd".
    static DateFormatter fromSkeleton(const Calendar& calendar, const QString& skeleton);
    // The locale's full date style ("Monday, December 7, 2026").
    static DateFormatter fullDate(const Calendar& calendar);
    // A fixed pattern, read and written as it stands (e.g. "yyyy-MM-dd" with the POSIX calendar).
    static DateFormatter fixedPattern(const Calendar& calendar, const QString& pattern);

    DateFormatter(DateFormatter&&) noexcept;
    DateFormatter& operator=(DateFormatter&&) noexcept;
    ~DateFormatter();

    QString pattern() const;
    QString format(Instant t) const;
    // Strict parse of the whole text; nothing on any mismatch.
    std::optional<Instant> parse(const QString& text) const;

private:
    explicit DateFormatter(std::unique_ptr<icu::DateFormat> format);
    std::unique_ptr<icu::DateFormat> format_;
};

// The skeletons and styles the views use.
namespace DateFormats {
inline const QString kTime = QStringLiteral("jmm");
inline const QString kMonthTitle = QStringLiteral("yMMMM");
inline const QString kDayHeader = QStringLiteral("EEEMMMd");
} // namespace DateFormats
