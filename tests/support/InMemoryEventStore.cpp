#include "support/InMemoryEventStore.h"

EventCalendar InMemoryEventStore::addCalendar(const QString& identifier, const QString& title,
                                              std::optional<EventSource> source,
                                              std::optional<QColor> color) {
    EventCalendar calendar{identifier, title, std::move(source), color};
    contents.calendars.append(calendar);
    return calendar;
}

QCoro::Task<EventAccessResult> InMemoryEventStore::requestFullAccess() {
    ++accessRequests;
    if (status == EventAuthorizationStatus::notDetermined)
        status = statusAfterRequest;
    co_return nextAccessResult;
}

std::unique_ptr<EventStore> InMemoryEventStore::storeLimitedTo(const QList<EventSource>& sources) const {
    auto limited = std::make_unique<InMemoryEventStore>();
    limited->status = status;
    auto belongs = [&](const std::optional<EventCalendar>& calendar) {
        return calendar && calendar->source &&
               std::any_of(sources.begin(), sources.end(), [&](const EventSource& s) {
                   return s.sourceIdentifier == calendar->source->sourceIdentifier;
               });
    };
    for (const EventCalendar& calendar : delegated.calendars)
        if (belongs(calendar))
            limited->contents.calendars.append(calendar);
    for (const StoredEvent& event : delegated.events)
        if (belongs(event.calendar))
            limited->contents.events.append(event);
    limitedStores.append(limited.get());
    return limited;
}

QList<StoredEvent> InMemoryEventStore::events(Instant start, Instant end,
                                              const std::optional<QStringList>& calendarIdentifiers) const {
    queries.append(calendarIdentifiers);
    QList<StoredEvent> result;
    for (const StoredEvent& event : contents.events) {
        if (calendarIdentifiers &&
            (!event.calendar || !calendarIdentifiers->contains(event.calendar->calendarIdentifier)))
            continue;
        // Events without a start stand for incomplete records: every range shows them.
        if (event.startDate &&
            !occurrenceOverlaps(*event.startDate, event.endDate.value_or(*event.startDate), start, end))
            continue;
        result.append(event);
    }
    return result;
}
