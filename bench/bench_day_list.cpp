#include "support/BenchPopover.h"
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

} // namespace
