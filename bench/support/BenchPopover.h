#pragma once

#include "account/AccountModel.h"
#include "account/QuintorAccountBridge.h"
#include "models/CalendarModel.h"
#include "platform/Workspace.h"
#include "platform/linux/QtMainQueue.h"
#include "services/CalendarEventsService.h"
#include "services/google/GoogleCalendarService.h"
#include "utilities/UserDefaults.h"
#include "views/ViewEnvironment.h"

#include <QTemporaryDir>

// One calendar with busy days: `count` events of half an hour each, a quarter of an hour apart from 07:00,
// on each of `days` days from 7 December 2026.
class BusyDayStore final : public EventStore {
public:
    explicit BusyDayStore(int count, int days = 1) : count_(count), days_(days) {
        calendar_ = {QStringLiteral("work"), QStringLiteral("Work"), std::nullopt, QColor(0x34, 0x78, 0xf6)};
        for (int day = 0; day < days; ++day) {
            const Instant first = *Calendar::current().date(2026, 12, 7 + day, 7);
            for (int i = 0; i < count; ++i) {
                StoredEvent event;
                event.startDate = first.addingSeconds(i * 15 * 60.0 / qMax(1, count / 50));
                event.endDate = event.startDate->addingSeconds(30 * 60.0);
                event.title = QStringLiteral("Meeting %1").arg(i);
                event.calendar = calendar_;
                event.calendarItemIdentifier = QStringLiteral("item-%1-%2").arg(day).arg(i);
                event.calendarItemExternalIdentifier = QStringLiteral("uid-%1-%2").arg(day).arg(i);
                events_.append(event);
            }
        }
    }
    EventAuthorizationStatus authorizationStatus() const override {
        return EventAuthorizationStatus::fullAccess;
    }
    QCoro::Task<EventAccessResult> requestFullAccess() override { co_return EventAccessResult{true, {}}; }
    void reset() override {}
    QList<EventSource> delegateSources() const override { return {}; }
    std::unique_ptr<EventStore> storeLimitedTo(const QList<EventSource>&) const override {
        return std::make_unique<BusyDayStore>(count_, days_);
    }
    QList<EventCalendar> eventCalendars() const override { return {calendar_}; }
    QList<StoredEvent> events(Instant start, Instant end, const std::optional<QStringList>&) const override {
        QList<StoredEvent> result;
        for (const StoredEvent& event : events_)
            if (occurrenceOverlaps(*event.startDate, *event.endDate, start, end))
                result.append(event);
        return result;
    }

private:
    int count_;
    int days_;
    EventCalendar calendar_;
    QList<StoredEvent> events_;
};

class EmptySecretStore final : public SecretStore {
public:
    QCoro::Task<Reply> update(ItemKey, QByteArray) override { co_return Reply{Status::notFound, {}, {}}; }
    QCoro::Task<Reply> add(ItemKey, QByteArray) override { co_return Reply{Status::success, {}, {}}; }
    QCoro::Task<Reply> read(ItemKey) override { co_return Reply{Status::notFound, {}, {}}; }
    QCoro::Task<Reply> remove(ItemKey) override { co_return Reply{Status::notFound, {}, {}}; }
};

class IdleWorkspace final : public Workspace {
public:
    bool open(const QUrl&) override { return false; }
    bool reveal(const QString&) override { return false; }
};

// The popover's shared objects over a BusyDayStore, on 7 December 2026 in Berlin.
struct BenchPopover {
    explicit BenchPopover(int eventsPerDay = 50, int days = 1)
        : events{std::make_unique<BusyDayStore>(eventsPerDay, days), defaults} {}

    ScopedCalendarPin pin{QStringLiteral("en_US"), QStringLiteral("Europe/Berlin")};
    QTemporaryDir dir;
    QtMainQueue queue;
    UserDefaults defaults{dir.filePath(QStringLiteral("defaults.json"))};
    EmptySecretStore secrets;
    QuintorAccountBridge bridge{secrets};
    AccountModel account{bridge};
    CalendarModel calendar{*Calendar::current().date(2026, 12, 7, 10), queue};
    CalendarEventsService events;
    GoogleCalendarService google{GoogleCalendarService::Environment{queue, secrets, nullptr, {}, QString()}};
    IdleWorkspace workspace;
    ViewEnvironment environment{account, calendar, events, google, defaults, queue, workspace, QString(), {}};
};
