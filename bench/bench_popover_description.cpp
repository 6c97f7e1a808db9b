#include "account/AccountModel.h"
#include "account/QuintorAccountBridge.h"
#include "models/CalendarModel.h"
#include "platform/Workspace.h"
#include "platform/linux/QtMainQueue.h"
#include "services/CalendarEventsService.h"
#include "services/google/GoogleCalendarService.h"
#include "utilities/UserDefaults.h"
#include "views/CalendarPopoverView.h"
#include "views/CalendarView.h"
#include "views/DayEventsSection.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

// One calendar with a busy day: 50 events of half an hour from 07:00 on 7 December 2026.
class BusyDayStore final : public EventStore {
public:
    BusyDayStore() {
        calendar_ = {QStringLiteral("work"), QStringLiteral("Work"), std::nullopt, QColor(0x34, 0x78, 0xf6)};
        const Instant first = *Calendar::current().date(2026, 12, 7, 7);
        for (int i = 0; i < 50; ++i) {
            StoredEvent event;
            event.startDate = first.addingSeconds(i * 15 * 60.0);
            event.endDate = event.startDate->addingSeconds(30 * 60.0);
            event.title = QStringLiteral("Meeting %1").arg(i);
            event.calendar = calendar_;
            event.calendarItemIdentifier = QStringLiteral("item-%1").arg(i);
            event.calendarItemExternalIdentifier = QStringLiteral("uid-%1").arg(i);
            events_.append(event);
        }
    }
    EventAuthorizationStatus authorizationStatus() const override {
        return EventAuthorizationStatus::fullAccess;
    }
    QCoro::Task<EventAccessResult> requestFullAccess() override { co_return EventAccessResult{true, {}}; }
    void reset() override {}
    QList<EventSource> delegateSources() const override { return {}; }
    std::unique_ptr<EventStore> storeLimitedTo(const QList<EventSource>&) const override {
        return std::make_unique<BusyDayStore>();
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

// The popover's objects on the busy day, signed in to the calendar, today selected.
struct Popover {
    ScopedCalendarPin pin{QStringLiteral("en_US"), QStringLiteral("Europe/Berlin")};
    QTemporaryDir dir;
    QtMainQueue queue;
    UserDefaults defaults{dir.filePath(QStringLiteral("defaults.json"))};
    EmptySecretStore secrets;
    QuintorAccountBridge bridge{secrets};
    AccountModel account{bridge};
    CalendarModel calendar{*Calendar::current().date(2026, 12, 7, 10), queue};
    CalendarEventsService events{std::make_unique<BusyDayStore>(), defaults};
    GoogleCalendarService google{GoogleCalendarService::Environment{queue, secrets, nullptr, {}, QString()}};
    IdleWorkspace workspace;
    ViewEnvironment environment{account, calendar, events, google, defaults, queue, workspace, QString(), {}};
    CalendarPopoverView root{environment};
    CalendarView month{environment};
    DayEventsSection day{environment, calendar.today()};

    Popover() {
        defaults.setBool(CalendarView::kShowWeekNumbersKey, true);
        month.appear();
    }
};

// Baseline: the model's grid alone, which every redraw of the month asks for.
void BM_ModelWeeks(benchmark::State& state) {
    Popover popover;
    for (auto _ : state)
        benchmark::DoNotOptimize(popover.calendar.weeks(false));
}
BENCHMARK(BM_ModelWeeks)->Unit(benchmark::kMicrosecond);

void BM_MonthDescription(benchmark::State& state) {
    Popover popover;
    for (auto _ : state)
        benchmark::DoNotOptimize(popover.month.description());
}
BENCHMARK(BM_MonthDescription)->Unit(benchmark::kMicrosecond);

void BM_DayListDescription(benchmark::State& state) {
    Popover popover;
    if (popover.day.description().events.size() != 50)
        state.SkipWithError("the busy day does not hold 50 events");
    for (auto _ : state)
        benchmark::DoNotOptimize(popover.day.description());
}
BENCHMARK(BM_DayListDescription)->Unit(benchmark::kMicrosecond);

// One full redraw: the root, the month with its footer, and the selected day's 50 events.
void BM_PopoverRedraw(benchmark::State& state) {
    Popover popover;
    for (auto _ : state) {
        benchmark::DoNotOptimize(popover.root.description());
        benchmark::DoNotOptimize(popover.month.description());
        benchmark::DoNotOptimize(popover.day.description());
    }
}
BENCHMARK(BM_PopoverRedraw)->Unit(benchmark::kMicrosecond);

} // namespace
