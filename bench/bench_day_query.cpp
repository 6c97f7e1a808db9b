#include "platform/linux/VdirEventStore.h"
#include "services/CalendarEventsService.h"
#include "utilities/UserDefaults.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <deque>

namespace {

// A queue whose delayed work runs only when the benchmark says so: the coalescing delay is a choice, not
// a cost, and stays out of the measurement.
class ManualQueue final : public MainQueue {
public:
    void post(Work work) override { work_.push_back(std::move(work)); }
    Handle postAfter(double, Work work) override {
        work_.push_back(std::move(work));
        return {};
    }
    Handle postAtWallClock(Instant, Work work) override { return postAfter(0, std::move(work)); }
    Instant now() const override { return Instant::now(); }
    void runAll() {
        while (!work_.empty()) {
            Work work = std::move(work_.front());
            work_.pop_front();
            work();
        }
    }

private:
    std::deque<Work> work_;
};

// 10,000 events written once per run by the shared generator.
const QString& generatedTree() {
    static QTemporaryDir dir;
    static const QString root = [] {
        const QString path = dir.filePath(QStringLiteral("calendars"));
        const QString tool =
            qEnvironmentVariable("MONDREL_GEN_VDIR", QStringLiteral("/work/shared/tools/gen-vdir"));
        if (QProcess::execute(tool, {path}) != 0)
            qFatal("could not generate the calendar tree with %s", qPrintable(tool));
        return path;
    }();
    return root;
}

Instant midsummer() {
    return *Calendar::current().date(2026, 6, 17, 12);
}

void BM_IndexFromCold(benchmark::State& state) {
    ScopedCalendarPin pin("en_US", "Europe/Berlin");
    ManualQueue queue;
    const QString root = generatedTree();
    for (auto _ : state) {
        VdirEventStore store(root, queue);
        benchmark::DoNotOptimize(store.eventCalendars());
    }
}
BENCHMARK(BM_IndexFromCold)->Unit(benchmark::kMillisecond)->Iterations(5);

// The first query of a stretch of time also expands the recurring events there.
void BM_FirstDayQuery(benchmark::State& state) {
    ScopedCalendarPin pin("en_US", "Europe/Berlin");
    ManualQueue queue;
    for (auto _ : state) {
        state.PauseTiming();
        VdirEventStore store(generatedTree(), queue);
        store.eventCalendars();
        const Instant day = Calendar::current().startOfDay(midsummer());
        state.ResumeTiming();
        benchmark::DoNotOptimize(store.events(day, *Calendar::current().addingDays(1, day), std::nullopt));
    }
}
BENCHMARK(BM_FirstDayQuery)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_DayQuery(benchmark::State& state) {
    ScopedCalendarPin pin("en_US", "Europe/Berlin");
    ManualQueue queue;
    QTemporaryDir defaultsDir;
    UserDefaults defaults(defaultsDir.filePath(QStringLiteral("defaults.json")));
    CalendarEventsService service(std::make_unique<VdirEventStore>(generatedTree(), queue), defaults);
    service.events(midsummer());
    size_t count = 0;
    for (auto _ : state) {
        const QList<DayEvent> events = service.events(midsummer());
        count = size_t(events.size());
        benchmark::DoNotOptimize(events);
    }
    state.counters["events"] = double(count);
}
BENCHMARK(BM_DayQuery)->Unit(benchmark::kMicrosecond)->Repetitions(9)->ReportAggregatesOnly(true);

// From the rewrite of one file to the change notice, without the coalescing delay.
void BM_OneChangedFile(benchmark::State& state) {
    ScopedCalendarPin pin("en_US", "Europe/Berlin");
    ManualQueue queue;
    VdirEventStore store(generatedTree(), queue);
    store.eventCalendars();
    const QString calendar = generatedTree() + QStringLiteral("/work/cal2");
    const QString path = calendar + u'/' + QDir(calendar).entryList({QStringLiteral("*.ics")}).first();
    QFile original(path);
    original.open(QIODevice::ReadOnly);
    const QByteArray content = original.readAll();
    int notices = 0;
    QObject::connect(&store, &EventStore::changed, [&] { ++notices; });
    int round = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        QFile file(path);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(
            QByteArray(content).replace("SUMMARY:", "SUMMARY:Round " + QByteArray::number(++round) + " "));
        file.close();
        while (!store.hasPendingChanges())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        queue.runAll();
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
    }
    QFile restore(path);
    restore.open(QIODevice::WriteOnly | QIODevice::Truncate);
    restore.write(content);
    state.counters["notices"] = notices;
}
BENCHMARK(BM_OneChangedFile)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(50);

} // namespace
