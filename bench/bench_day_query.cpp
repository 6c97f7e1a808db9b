#include "platform/linux/VdirEventStore.h"
#include "services/CalendarEventsService.h"
#include "utilities/UserDefaults.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
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

struct Day {
    Instant start = Calendar::current().startOfDay(midsummer());
    Instant end = *Calendar::current().addingDays(1, start);
};

// Runs the event loop until `sender` emits `signal`.
template <typename Sender, typename Signal> void await(const Sender& sender, Signal signal) {
    QEventLoop loop;
    QObject::connect(&sender, signal, &loop, &QEventLoop::quit);
    loop.exec();
}

// A store that has read the whole tree.
void load(VdirEventStore& store) {
    store.eventCalendars();
    await(store, &EventStore::changed);
}

// A cold store's first query: the time until the notice that the tree has been read (on a worker), and
// what the query itself costs the main thread (first_query_ms).
void BM_ColdStart(benchmark::State& state) {
    ScopedCalendarPin pin("en_US", "Europe/Berlin");
    ManualQueue queue;
    const QString root = generatedTree();
    const Day day;
    double firstQuery = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        auto store = std::make_unique<VdirEventStore>(root, queue);
        benchmark::DoNotOptimize(store->events(day.start, day.end, std::nullopt));
        firstQuery += double(timer.nsecsElapsed()) / 1e6;
        await(*store, &EventStore::changed);
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
        store.reset();
    }
    state.counters["first_query_ms"] = benchmark::Counter(firstQuery, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_ColdStart)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// The first query of a stretch of time once the tree has been read: it also expands the unbounded
// recurring events there.
void BM_FirstDayQuery(benchmark::State& state) {
    ScopedCalendarPin pin("en_US", "Europe/Berlin");
    ManualQueue queue;
    const Day day;
    for (auto _ : state) {
        state.PauseTiming();
        auto store = std::make_unique<VdirEventStore>(generatedTree(), queue);
        load(*store);
        state.ResumeTiming();
        benchmark::DoNotOptimize(store->events(day.start, day.end, std::nullopt));
        state.PauseTiming();
        store.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_FirstDayQuery)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_DayQuery(benchmark::State& state) {
    ScopedCalendarPin pin("en_US", "Europe/Berlin");
    ManualQueue queue;
    QTemporaryDir defaultsDir;
    UserDefaults defaults(defaultsDir.filePath(QStringLiteral("defaults.json")));
    CalendarEventsService service(std::make_unique<VdirEventStore>(generatedTree(), queue), defaults);
    await(service, &CalendarEventsService::changeTokenChanged);
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
    load(store);
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
