#include "services/google/GoogleEventConverter.h"

#include "services/google/InternetDateTime.h"
#include "utilities/Localization.h"
#include "utilities/MondrelTheme.h"

#include <QUuid>
#include <algorithm>
#include <vector>

namespace {

QString title(const std::optional<QString>& summary) {
    const QString trimmed = summary ? summary->trimmed() : QString();
    return trimmed.isEmpty() ? localized("Untitled event") : trimmed;
}

int hexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

// The starts of the window's days, worked out once per rebuild: ICU calendar arithmetic per event and day
// would be the bulk of a rebuild. Instants outside the window fall back to the calendar.
class DayGrid {
public:
    DayGrid(const Calendar& calendar, DateInterval window) : calendar_(calendar) {
        for (std::optional<Instant> day = calendar.startOfDay(window.start); day;) {
            starts_.push_back(*day);
            keys_.push_back(shortestRoundTripText(day->secondsSince2001()));
            if (*day > window.end)
                break;
            day = following(*day);
        }
    }

    Instant startOfDay(Instant t) const {
        if (starts_.empty() || t < starts_.front() || t >= starts_.back())
            return calendar_.startOfDay(t);
        return *(std::upper_bound(starts_.begin(), starts_.end(), t) - 1);
    }

    std::optional<Instant> nextDay(Instant dayStart) const {
        const auto it = std::lower_bound(starts_.begin(), starts_.end(), dayStart);
        if (it != starts_.end() && *it == dayStart && it + 1 != starts_.end())
            return *(it + 1);
        return following(dayStart);
    }

    // The day start as written into row identities.
    QString key(Instant dayStart) const {
        const auto it = std::lower_bound(starts_.begin(), starts_.end(), dayStart);
        if (it != starts_.end() && *it == dayStart)
            return keys_[size_t(it - starts_.begin())];
        return shortestRoundTripText(dayStart.secondsSince2001());
    }

private:
    std::optional<Instant> following(Instant dayStart) const {
        return calendar_.startOfDayAfter(1, dayStart);
    }

    const Calendar& calendar_;
    std::vector<Instant> starts_;
    std::vector<QString> keys_;
};

} // namespace

GoogleEventConverter::GoogleEventConverter(Calendar calendar)
    : calendar_(std::move(calendar)), timeFormat_(DateFormatter::fromSkeleton(calendar_, DateFormats::kTime)),
      dateFormat_(DateFormatter::fixedPattern(Calendar::gregorian(), QStringLiteral("yyyy-MM-dd"))) {}

std::optional<Instant> GoogleEventConverter::parse(const std::optional<GEventTime>& time) const {
    if (!time)
        return std::nullopt;
    if (time->dateTime)
        return InternetDateTime::parse(*time->dateTime);
    if (time->date) {
        // All-day events of a window share few dates, and an ICU parse costs more than the lookup.
        auto cached = dateCache_.constFind(*time->date);
        if (cached != dateCache_.constEnd())
            return *cached;
        const std::optional<Instant> midnight = dateFormat_.parse(*time->date);
        dateCache_.insert(*time->date, midnight);
        return midnight;
    }
    return std::nullopt;
}

std::optional<QColor> GoogleEventConverter::color(const QString& hex) {
    QStringView digits = QStringView(hex).trimmed();
    if (digits.startsWith(u'#'))
        digits = digits.mid(1);
    if (digits.size() != 6)
        return std::nullopt;

    // An unsigned integer parse: a sign may stand in for the first digit, "-" only before a zero value.
    const char16_t sign = digits[0].unicode();
    const QStringView magnitude = (sign == u'+' || sign == u'-') ? digits.mid(1) : digits;
    quint32 value = 0;
    for (const QChar c : magnitude) {
        const int d = hexDigit(c.unicode());
        if (d < 0)
            return std::nullopt;
        value = value * 16 + quint32(d);
    }
    if (sign == u'-' && value != 0)
        return std::nullopt;
    return QColor::fromRgb(int((value >> 16) & 0xFF), int((value >> 8) & 0xFF), int(value & 0xFF));
}

// Events often share start times; ICU formatting is the costly part of a rebuild.
QString GoogleEventConverter::timeLabel(Instant start) const {
    auto cached = labelCache_.constFind(start);
    if (cached != labelCache_.constEnd())
        return *cached;
    QString label = timeFormat_.format(start);
    labelCache_.insert(start, label);
    return label;
}

GoogleEventConverter::EventsByDay GoogleEventConverter::eventsByDay(const QList<GCalendarEvents>& byCalendar,
                                                                    DateInterval window) const {
    EventsByDay days;
    const DayGrid grid(calendar_, window);
    const QString allDay = localized("All day");
    for (const GCalendarEvents& pair : byCalendar) {
        const GCalendarListEntry& calendar = pair.calendar;
        const QColor dotColor = calendar.backgroundColor
                                    ? color(*calendar.backgroundColor).value_or(MondrelTheme::accent())
                                    : MondrelTheme::accent();
        const QString idPrefix = QStringLiteral("g|") + calendar.id.value_or(QStringLiteral("?")) + u'|';

        for (const GEvent& event : pair.events) {
            if ((event.status && *event.status == QLatin1String("cancelled")) || !event.start)
                continue;
            // A dateTime that does not parse drops the event even when a date is there too.
            const std::optional<Instant> start = parse(event.start);
            if (!start)
                continue;
            const Instant end = parse(event.end).value_or(*start);
            const bool isAllDay = event.start->date.has_value();

            const Instant first = std::max(window.start, *start);
            const Instant last = std::min(std::max(end.addingSeconds(-1), *start), window.end);
            const Instant firstDay = grid.startOfDay(first);
            const Instant lastDay = grid.startOfDay(last);
            if (firstDay > lastDay)
                continue;

            const QString eventTitle = title(event.summary);
            const QString label = isAllDay ? allDay : timeLabel(*start);
            const std::optional<QString> dedupKey =
                event.iCalUID ? std::optional<QString>(DayEvent::makeDedupKey(*event.iCalUID, *start))
                              : std::nullopt;

            for (std::optional<Instant> day = firstDay; day && *day <= lastDay; day = grid.nextDay(*day)) {
                const QString eventID =
                    event.id ? *event.id : QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
                days[*day].append(DayEvent(idPrefix + eventID + u'|' + grid.key(*day), eventTitle, label,
                                           isAllDay, dotColor, *start, dedupKey));
            }
        }
    }
    for (QList<DayEvent>& list : days)
        DayEvent::sortInDayOrder(list);
    return days;
}
