#include "support/BenchPopover.h"
#include "views/DayEventDelegate.h"
#include "views/DayEventListModel.h"
#include "views/DayEventsSection.h"
#include "views/DayEventsSectionWidget.h"

#include <QCoreApplication>
#include <QListView>
#include <benchmark/benchmark.h>

namespace {

// The day list on screen over two busy days of `state.range(0)` events each, painted once.
struct ShownDayList : BenchPopover {
    explicit ShownDayList(int eventsPerDay) : BenchPopover(eventsPerDay, 2) {
        widget.setFixedWidth(276);
        widget.show();
        settle();
    }
    // Lays out and paints what changed, as the next frame would.
    void settle() {
        QCoreApplication::processEvents();
        widget.repaint();
    }
    DayEventsSection section{environment, calendar.today()};
    DayEventsSectionWidget widget{section};
};

constexpr int kSmall = 10;
constexpr int kBusy = 1000;
constexpr int kHuge = 10000;

// Baseline: the day's description alone, which every rendering reads from the services.
void BM_DayListDescription(benchmark::State& state) {
    ShownDayList list(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(list.section.description());
}
BENCHMARK(BM_DayListDescription)->Arg(kSmall)->Arg(kBusy)->Arg(kHuge)->Unit(benchmark::kMillisecond);

// The local calendars' part of the description: the day query through the service.
void BM_DayListServiceEvents(benchmark::State& state) {
    ShownDayList list(int(state.range(0)));
    const Instant day = list.calendar.today();
    for (auto _ : state)
        benchmark::DoNotOptimize(list.events.events(day));
}
BENCHMARK(BM_DayListServiceEvents)->Arg(kSmall)->Arg(kBusy)->Arg(kHuge)->Unit(benchmark::kMillisecond);

// A rendering that changes nothing, as a finished Google fetch or a file of another day causes.
void BM_DayListRerender(benchmark::State& state) {
    ShownDayList list(int(state.range(0)));
    for (auto _ : state) {
        list.widget.render();
        list.settle();
    }
}
BENCHMARK(BM_DayListRerender)->Arg(kSmall)->Arg(kBusy)->Arg(kHuge)->Unit(benchmark::kMillisecond);

// Every row replaced: a click on the other busy day, and back.
void BM_DayListSwitchDay(benchmark::State& state) {
    ShownDayList list(int(state.range(0)));
    const Instant days[] = {list.calendar.today(), list.calendar.today().addingSeconds(24 * 3600.0)};
    int next = 1;
    for (auto _ : state) {
        list.section.setDay(days[next]);
        list.settle();
        next = 1 - next;
    }
}
BENCHMARK(BM_DayListSwitchDay)->Arg(kSmall)->Arg(kBusy)->Arg(kHuge)->Unit(benchmark::kMillisecond);

// The rows alone, without the services: a list view over the model, 170 pixels tall, painted after each
// change. `change` makes the next list from the whole one.
template <typename Change> void updateRows(benchmark::State& state, Change change) {
    QList<DayEvent> all;
    const Instant start = Instant::fromSecondsSince1970(1'800'000'000);
    for (int i = 0; i < state.range(0); ++i)
        all.append(DayEvent(QStringLiteral("row-%1").arg(i), QStringLiteral("Meeting %1").arg(i),
                            QStringLiteral("9:00 AM"), false, Qt::blue, start.addingSeconds(i),
                            std::nullopt));
    const QList<DayEvent> changed = change(all);
    DayEventListModel model;
    DayEventDelegate delegate;
    QListView list;
    list.setModel(&model);
    list.setItemDelegate(&delegate);
    list.setUniformItemSizes(true);
    list.setFixedSize(276, DayEventsSection::kMaximumListHeight);
    model.setEvents(all);
    list.show();
    QCoreApplication::processEvents();
    bool whole = false;
    for (auto _ : state) {
        model.setEvents(whole ? all : changed);
        QCoreApplication::processEvents();
        list.viewport()->repaint();
        whole = !whole;
    }
}

// One event renamed, and back.
void BM_DayListRowsOneChanged(benchmark::State& state) {
    updateRows(state, [](QList<DayEvent> events) {
        const DayEvent& old = events[events.size() / 2];
        events[events.size() / 2] =
            DayEvent(old.id(), old.title() + QStringLiteral(" (moved)"), old.timeLabel(), false, old.color(),
                     old.sortDate(), std::nullopt);
        return events;
    });
}
BENCHMARK(BM_DayListRowsOneChanged)->Arg(kSmall)->Arg(kBusy)->Arg(kHuge)->Unit(benchmark::kMillisecond);

// Every other event leaves, and comes back: one of two interleaved calendars switched off and on.
void BM_DayListRowsEveryOtherLeaves(benchmark::State& state) {
    updateRows(state, [](const QList<DayEvent>& events) {
        QList<DayEvent> kept;
        for (qsizetype i = 0; i < events.size(); i += 2)
            kept.append(events[i]);
        return kept;
    });
}
BENCHMARK(BM_DayListRowsEveryOtherLeaves)->Arg(kSmall)->Arg(kBusy)->Arg(kHuge)->Unit(benchmark::kMillisecond);

} // namespace
