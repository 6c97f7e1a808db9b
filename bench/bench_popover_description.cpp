#include "support/BenchPopover.h"
#include "views/CalendarPopoverView.h"
#include "views/CalendarView.h"
#include "views/DayEventsSection.h"

#include <benchmark/benchmark.h>

namespace {

// The popover's objects on the busy day, signed in to the calendar, today selected.
struct Popover : BenchPopover {
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
