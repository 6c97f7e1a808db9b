#pragma once

#include "platform/EventStore.h"

#include <QPointer>

// A scripted calendar database. Its delegate sources' calendars and events live in `delegated`; a store
// limited to sources sees the part of `delegated` that belongs to them.
class InMemoryEventStore final : public EventStore {
    Q_OBJECT
public:
    struct Contents {
        QList<EventCalendar> calendars;
        QList<StoredEvent> events;
    };

    // The status the store reports, and the one a request moves it to.
    EventAuthorizationStatus status = EventAuthorizationStatus::notDetermined;
    EventAccessResult nextAccessResult{true, std::nullopt};
    EventAuthorizationStatus statusAfterRequest = EventAuthorizationStatus::fullAccess;

    Contents contents;
    QList<EventSource> delegates;
    Contents delegated;

    // What the store was asked.
    int accessRequests = 0;
    int resets = 0;
    // One entry per events() call: the calendar list it was given.
    mutable QList<std::optional<QStringList>> queries;
    mutable QList<QPointer<InMemoryEventStore>> limitedStores;

    // Adds a calendar (and its events) to the contents and returns it.
    EventCalendar addCalendar(const QString& identifier, const QString& title,
                              std::optional<EventSource> source = std::nullopt,
                              std::optional<QColor> color = std::nullopt);
    void notifyChanged() { emit changed(); }

    EventAuthorizationStatus authorizationStatus() const override { return status; }
    QCoro::Task<EventAccessResult> requestFullAccess() override;
    void reset() override { ++resets; }
    QList<EventSource> delegateSources() const override { return delegates; }
    std::unique_ptr<EventStore> storeLimitedTo(const QList<EventSource>& sources) const override;
    QList<EventCalendar> eventCalendars() const override { return contents.calendars; }
    QList<StoredEvent> events(Instant start, Instant end,
                              const std::optional<QStringList>& calendarIdentifiers) const override;
};
