#pragma once

#include "utilities/Instant.h"

#include <QColor>
#include <QCoro/QCoroTask>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

// The program's access to the user's calendars, numbered as the calendar database reports it.
enum class EventAuthorizationStatus {
    notDetermined = 0,
    restricted = 1,
    denied = 2,
    fullAccess = 3,
    writeOnly = 4,
};

// An account that holds calendars.
struct EventSource {
    QString sourceIdentifier;
    QString title;
};

struct EventCalendar {
    QString calendarIdentifier;
    QString title;
    std::optional<EventSource> source;
    std::optional<QColor> color;
};

// One occurrence of an event, as a store reports it for a range. Optional fields may be missing in a
// store's data; consumers supply their own fallbacks.
struct StoredEvent {
    std::optional<Instant> startDate;
    std::optional<Instant> endDate;
    std::optional<QString> title;
    bool isAllDay = false;
    std::optional<EventCalendar> calendar;
    // Unique per occurrence that differs from its series (a detached occurrence).
    std::optional<QString> eventIdentifier;
    // The stored item that the occurrence comes from.
    QString calendarItemIdentifier;
    // The identifier other systems know the event by (the iCalendar UID).
    std::optional<QString> calendarItemExternalIdentifier;
};

struct EventAccessResult {
    bool granted = false;
    // A description of why the request failed, when it did.
    std::optional<QString> error;
};

// Whether an occurrence [start, end) falls into [rangeStart, rangeEnd). An occurrence without length counts
// when it starts inside the range.
inline bool occurrenceOverlaps(Instant start, Instant end, Instant rangeStart, Instant rangeEnd) {
    if (start >= rangeEnd)
        return false;
    return end > rangeStart || start >= rangeStart;
}

// The user's calendar database: authorization, calendars, the events of a range and change notices.
// Lives on the main thread.
class EventStore : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual EventAuthorizationStatus authorizationStatus() const = 0;
    // Asks for full access to events; the user is asked only while the status is not determined.
    virtual QCoro::Task<EventAccessResult> requestFullAccess() = 0;
    // Drops cached state so that the next reads see the database afresh.
    virtual void reset() = 0;

    // Sources that other accounts have delegated to the user.
    virtual QList<EventSource> delegateSources() const = 0;
    // A store that sees only the calendars of the given sources.
    virtual std::unique_ptr<EventStore> storeLimitedTo(const QList<EventSource>& sources) const = 0;

    virtual QList<EventCalendar> eventCalendars() const = 0;
    // Every occurrence that overlaps [start, end), in the given calendars or, without a list, in all.
    virtual QList<StoredEvent> events(Instant start, Instant end,
                                      const std::optional<QStringList>& calendarIdentifiers) const = 0;

signals:
    // The calendar database changed (calendars, events or access).
    void changed();
};
