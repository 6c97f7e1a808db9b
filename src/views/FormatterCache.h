#pragma once

#include "utilities/DateFormats.h"

#include <functional>
#include <optional>

// A formatter for the user's current calendar that is built once and built again only when the locale or
// the time zone has changed since, so that texts never come out in a zone the user has left.
class CurrentCalendarFormatter {
public:
    using Factory = std::function<DateFormatter(const Calendar&)>;

    explicit CurrentCalendarFormatter(Factory make) : make_(std::move(make)) {}

    QString format(Instant instant) const {
        const Calendar calendar = Calendar::current();
        const QString key = calendar.localeName() + u'|' + calendar.timeZoneId();
        if (!formatter_ || key != key_) {
            formatter_ = make_(calendar);
            key_ = key;
        }
        return formatter_->format(instant);
    }

private:
    Factory make_;
    mutable std::optional<DateFormatter> formatter_;
    mutable QString key_;
};
