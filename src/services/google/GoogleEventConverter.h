#pragma once

#include "models/DayEvent.h"
#include "services/google/DateInterval.h"
#include "services/google/GoogleRecords.h"
#include "utilities/CurrentCalendar.h"
#include "utilities/DateFormats.h"

#include <QColor>
#include <QHash>
#include <QList>

// Turns the events of a window fetch into the per-day lists of the day view: one DayEvent for every day an
// event touches inside the window, keyed by the instant the local day begins, each day in day order.
// Built once per rebuild with one calendar, so day keys and time labels agree.
class GoogleEventConverter {
public:
    using EventsByDay = QHash<Instant, QList<DayEvent>>;

    explicit GoogleEventConverter(Calendar calendar);

    EventsByDay eventsByDay(const QList<GCalendarEvents>& byCalendar, DateInterval window) const;

    // dateTime (RFC 3339) when present, else date ("yyyy-MM-dd") at local midnight; nothing otherwise.
    std::optional<Instant> parse(const std::optional<GEventTime>& time) const;

    // "#RRGGBB" or "RRGGBB", surrounding white space ignored; sRGB, opaque.
    static std::optional<QColor> color(const QString& hex);

private:
    QString timeLabel(Instant start) const;

    Calendar calendar_;
    DateFormatter timeFormat_;
    DateFormatter dateFormat_;
    mutable QHash<Instant, QString> labelCache_;
    mutable QHash<QString, std::optional<Instant>> dateCache_;
};
