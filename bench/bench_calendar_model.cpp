#include "models/CalendarModel.h"
#include "platform/linux/QtMainQueue.h"

#include <benchmark/benchmark.h>

namespace {

void BM_Weeks(benchmark::State& state) {
    ScopedCalendarPin pin("en_US", "Europe/Berlin");
    QtMainQueue queue;
    CalendarModel model(*Calendar::current().date(2026, 12, 7, 9), queue);
    const bool startOnMonday = state.range(0) != 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(model.weeks(startOnMonday));
}
BENCHMARK(BM_Weeks)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_Parse(benchmark::State& state, const char* text) {
    ScopedCalendarPin pin("en_US", "Europe/Berlin");
    const Instant reference = *Calendar::current().date(2026, 12, 4, 15);
    const QString input = QString::fromUtf8(text);
    for (auto _ : state)
        benchmark::DoNotOptimize(CalendarModel::parse(input, reference));
}
BENCHMARK_CAPTURE(BM_Parse, keyword, "tomorrow")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Parse, weekday, "next friday")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Parse, numeric, "2026-12-25")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Parse, detected, "lunch on Friday, March 3 with Ann")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Parse, nothing, "banana bread")->Unit(benchmark::kMicrosecond);

// Pasted junk: a digit string of 100 KB must be answered well under a millisecond.
void BM_ParseLongDigits(benchmark::State& state) {
    ScopedCalendarPin pin("en_US", "Europe/Berlin");
    const Instant reference = *Calendar::current().date(2026, 12, 4, 15);
    const QString input(qsizetype(100) * 1024, u'7');
    for (auto _ : state)
        benchmark::DoNotOptimize(CalendarModel::parse(input, reference));
}
BENCHMARK(BM_ParseLongDigits)->Unit(benchmark::kMicrosecond);

} // namespace

namespace {
void BM_CurrentCalendar(benchmark::State& state) {
    ScopedCalendarPin pin("en_US", "Europe/Berlin");
    for (auto _ : state)
        benchmark::DoNotOptimize(Calendar::current());
}
BENCHMARK(BM_CurrentCalendar)->Unit(benchmark::kMicrosecond);

void BM_DayArithmetic(benchmark::State& state) {
    ScopedCalendarPin pin("en_US", "Europe/Berlin");
    const Calendar cal = Calendar::current();
    const Instant t = *cal.date(2026, 12, 7, 9);
    for (auto _ : state)
        benchmark::DoNotOptimize(cal.addingDays(1, t));
}
BENCHMARK(BM_DayArithmetic)->Unit(benchmark::kMicrosecond);
} // namespace
