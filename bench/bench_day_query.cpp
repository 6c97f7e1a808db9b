#include "platform/linux/VdirEventStore.h"
#include "services/CalendarEventsService.h"
#include "utilities/UserDefaults.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <benchmark/benchmark.h>
#include <deque>
#include <limits>
#include <memory>
#include <thread>

#include <libical/ical.h>
#include <malloc.h>
#include <unistd.h>

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

// The size of the tree: `--events=N` on the command line (1000, 10000, 100000; 10,000 when not given).
int treeEvents() {
    static const int events = [] {
        for (const QString& argument : QCoreApplication::arguments())
            if (argument.startsWith(QStringLiteral("--events=")))
                return argument.mid(9).toInt();
        return 10000;
    }();
    return events;
}

// The tree written once per run by the shared generator, which lives beside the project.
const QString& generatedTree() {
    static QTemporaryDir dir;
    static const QString root = [] {
        QString path = dir.filePath(QStringLiteral("calendars"));
        const QString tool = qEnvironmentVariable(
            "MONDREL_GEN_VDIR", QStringLiteral(MONDREL_SOURCE_DIR "/../shared/tools/gen-vdir"));
        if (QProcess::execute(tool, {path, QStringLiteral("--events"), QString::number(treeEvents())}) != 0)
            qFatal("could not generate the calendar tree with %s", qPrintable(tool));
        return path;
    }();
    return root;
}

// The bytes of all the .ics files of the tree.
double treeTextBytes() {
    double bytes = 0;
    QDirIterator it(generatedTree(), {QStringLiteral("*.ics")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        bytes += double(QFileInfo(it.next()).size());
    return bytes;
}

// The bytes allocated and not yet freed, over all of the allocator's arenas.
double heapBytes() {
    QThreadPool::globalInstance()->waitForDone();
    return double(mallinfo2().uordblks);
}

// The resident memory of this process, once the workers have freed what they were handed and the allocator
// has given back what it holds unused.
double residentBytes() {
    QThreadPool::globalInstance()->waitForDone();
    malloc_trim(0);
    QFile statm(QStringLiteral("/proc/self/statm"));
    statm.open(QIODevice::ReadOnly);
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.value(1).toDouble() * double(sysconf(_SC_PAGESIZE));
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

// Runs the event loop (and the store's delayed work) until the store has no work left.
void settle(VdirEventStore& store, ManualQueue& queue) {
    for (;;) {
        queue.runAll();
        if (!store.isLoading() && !store.hasPendingChanges())
            return;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

// A store that has read the whole tree.
void load(VdirEventStore& store, ManualQueue& queue) {
    store.eventCalendars();
    settle(store, queue);
}

// The baseline of the cold start: reading every .ics file of the tree and parsing it with libical, on one
// thread, nothing else. Its mean is kept for the ratio that BM_ColdStart prints.
double bareParseMilliseconds = 0;

void BM_BareParse(benchmark::State& state) {
    icalerror_set_errors_are_fatal(0);
    const QString& root = generatedTree();
    int files = 0;
    double total = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        files = 0;
        QDirIterator it(root, {QStringLiteral("*.ics")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            file.open(QIODevice::ReadOnly);
            const QByteArray content = file.readAll();
            std::unique_ptr<icalcomponent, decltype(&icalcomponent_free)> parsed(
                icalparser_parse_string(content.constData()), icalcomponent_free);
            benchmark::DoNotOptimize(parsed.get());
            ++files;
        }
        total += double(timer.nsecsElapsed()) / 1e6;
    }
    bareParseMilliseconds = total / double(state.iterations());
    state.counters["files"] = files;
}
BENCHMARK(BM_BareParse)->Unit(benchmark::kMillisecond)->Iterations(5);

// A cold store's first query: the time until the notice that the tree has been read (on a worker, with the
// recurring events of the days around today), side by side with the bare parse of the same files; and what
// the query itself costs the main thread (first_query_ms).
void BM_ColdStart(benchmark::State& state) {
    ScopedCalendarPin pin("en_US", "Europe/Berlin");
    ManualQueue queue;
    const QString& root = generatedTree();
    const Day day;
    double firstQuery = 0;
    double total = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        auto store = std::make_unique<VdirEventStore>(root, queue);
        benchmark::DoNotOptimize(store->events(day.start, day.end, std::nullopt));
        firstQuery += double(timer.nsecsElapsed()) / 1e6;
        await(*store, &EventStore::changed);
        const double elapsed = double(timer.nsecsElapsed()) / 1e9;
        total += elapsed * 1e3;
        state.SetIterationTime(elapsed);
        state.PauseTiming();
        settle(*store, queue);
        store.reset();
        state.ResumeTiming();
    }
    state.counters["first_query_ms"] = benchmark::Counter(firstQuery, benchmark::Counter::kAvgIterations);
    state.counters["bare_parse_ms"] = bareParseMilliseconds;
    if (bareParseMilliseconds > 0)
        state.counters["x_bare_parse"] = total / double(state.iterations()) / bareParseMilliseconds;
}
BENCHMARK(BM_ColdStart)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// A cold store until the recurring events of the whole current year are expanded, side by side with the
// bare parse of the same files.
void BM_ColdStartWithYear(benchmark::State& state) {
    ScopedCalendarPin pin("en_US", "Europe/Berlin");
    ManualQueue queue;
    const Calendar calendar = Calendar::current();
    const Instant first = *calendar.date(2026, 1, 1);
    const Instant last = *calendar.date(2027, 1, 1);
    double total = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        auto store = std::make_unique<VdirEventStore>(generatedTree(), queue);
        load(*store, queue);
        store->events(first, last, std::nullopt);
        settle(*store, queue);
        const double elapsed = double(timer.nsecsElapsed()) / 1e9;
        total += elapsed * 1e3;
        state.SetIterationTime(elapsed);
        state.PauseTiming();
        store.reset();
        state.ResumeTiming();
    }
    state.counters["bare_parse_ms"] = bareParseMilliseconds;
    if (bareParseMilliseconds > 0)
        state.counters["x_bare_parse"] = total / double(state.iterations()) / bareParseMilliseconds;
}
BENCHMARK(BM_ColdStartWithYear)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// The first query of a stretch of time once the tree has been read: from the query to the notice that the
// recurring events there have been expanded (on the worker), and what the query costs the main thread.
void BM_FirstDayQuery(benchmark::State& state) {
    ScopedCalendarPin pin("en_US", "Europe/Berlin");
    ManualQueue queue;
    const Day day;
    double onMain = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto store = std::make_unique<VdirEventStore>(generatedTree(), queue);
        load(*store, queue);
        state.ResumeTiming();
        QElapsedTimer timer;
        timer.start();
        benchmark::DoNotOptimize(store->events(day.start, day.end, std::nullopt));
        onMain += double(timer.nsecsElapsed()) / 1e6;
        settle(*store, queue);
        state.PauseTiming();
        store.reset();
        state.ResumeTiming();
    }
    state.counters["main_thread_ms"] = benchmark::Counter(onMain, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_FirstDayQuery)->Unit(benchmark::kMillisecond)->Iterations(5);

// What the read tree holds in memory, with the recurring events of the current year expanded, over the
// size of its text; the baseline, measured in the same run, is a store that has read an empty tree.
void BM_IndexedMemory(benchmark::State& state) {
    ScopedCalendarPin pin("en_US", "Europe/Berlin");
    ManualQueue queue;
    const Calendar calendar = Calendar::current();
    QTemporaryDir empty;
    // The least of a few readings: what the allocator keeps back varies from one to the next.
    double indexed = std::numeric_limits<double>::max();
    double heap = std::numeric_limits<double>::max();
    for (auto _ : state) {
        {
            VdirEventStore baseline(empty.path(), queue);
            load(baseline, queue);
        }
        const double heapBefore = heapBytes();
        const double before = residentBytes();
        auto store = std::make_unique<VdirEventStore>(generatedTree(), queue);
        load(*store, queue);
        store->events(*calendar.date(2026, 1, 1), *calendar.date(2027, 1, 1), std::nullopt);
        settle(*store, queue);
        indexed = std::min(indexed, residentBytes() - before);
        heap = std::min(heap, heapBytes() - heapBefore);
        store.reset();
    }
    state.counters["indexed_mib"] = indexed / 1024 / 1024;
    state.counters["text_mib"] = treeTextBytes() / 1024 / 1024;
    state.counters["rss_over_text"] = indexed / treeTextBytes();
    // What the store holds, without what the allocator keeps back: steadier from run to run.
    state.counters["heap_over_text"] = heap / treeTextBytes();
}
BENCHMARK(BM_IndexedMemory)->Unit(benchmark::kMillisecond)->Iterations(3);

// A service over a store that has read the tree and expanded the recurring events from `first` to `last`;
// the service has not been asked for any day yet.
struct LoadedService {
    LoadedService(Instant first, Instant last) {
        auto owned = std::make_unique<VdirEventStore>(generatedTree(), queue);
        store = owned.get();
        service = std::make_unique<CalendarEventsService>(std::move(owned), defaults);
        load(*store, queue);
        store->events(first, last, std::nullopt);
        settle(*store, queue);
        QCoreApplication::processEvents();
    }
    ManualQueue queue;
    QTemporaryDir defaultsDir;
    UserDefaults defaults{defaultsDir.filePath(QStringLiteral("defaults.json"))};
    VdirEventStore* store = nullptr;
    std::unique_ptr<CalendarEventsService> service;
};

void BM_DayQuery(benchmark::State& state) {
    ScopedCalendarPin pin("en_US", "Europe/Berlin");
    const Day day;
    LoadedService loaded(day.start, day.end);
    size_t count = 0;
    for (auto _ : state) {
        const QList<DayEvent> events = loaded.service->events(midsummer());
        count = size_t(events.size());
        benchmark::DoNotOptimize(events);
    }
    state.counters["events"] = double(count);
}
BENCHMARK(BM_DayQuery)->Unit(benchmark::kMicrosecond)->Repetitions(9)->ReportAggregatesOnly(true);

// The store's part of the day query.
void BM_StoreDayQuery(benchmark::State& state) {
    ScopedCalendarPin pin("en_US", "Europe/Berlin");
    const Day day;
    LoadedService loaded(day.start, day.end);
    for (auto _ : state)
        benchmark::DoNotOptimize(loaded.store->events(day.start, day.end, std::nullopt));
}
BENCHMARK(BM_StoreDayQuery)->Unit(benchmark::kMicrosecond)->Repetitions(9)->ReportAggregatesOnly(true);

// Every day of 2026 through the service, each asked for the first time (its recurring events expanded
// already): the median and the worst day. Each day's figure is the best of three such first queries, each
// with a fresh service, so that the worst day is the query's and not the scheduler's.
void BM_DaysOf2026(benchmark::State& state) {
    ScopedCalendarPin pin("en_US", "Europe/Berlin");
    const Calendar calendar = Calendar::current();
    QList<Instant> days;
    for (Instant d = *calendar.date(2026, 1, 1, 12); d < *calendar.date(2027, 1, 1);
         d = *calendar.addingDays(1, d))
        days.append(d);
    std::vector<double> micros(size_t(days.size()), std::numeric_limits<double>::max());
    for (auto _ : state) {
        state.PauseTiming();
        LoadedService loaded(*calendar.date(2026, 1, 1), *calendar.date(2027, 1, 1));
        // Once per process, not per day: the time format is built by the first query of all.
        loaded.service->events(*calendar.date(2025, 12, 31, 12));
        state.ResumeTiming();
        for (size_t i = 0; i < micros.size(); ++i) {
            QElapsedTimer timer;
            timer.start();
            benchmark::DoNotOptimize(loaded.service->events(days[qsizetype(i)]));
            micros[i] = std::min(micros[i], double(timer.nsecsElapsed()) / 1e3);
        }
    }
    std::vector<double> sorted = micros;
    std::sort(sorted.begin(), sorted.end());
    state.counters["median_us"] = sorted[sorted.size() / 2];
    state.counters["query_p99_us"] = sorted[sorted.size() * 99 / 100];
    state.counters["worst_us"] = sorted.back();
    state.counters["worst_day_of_year"] =
        double(std::max_element(micros.begin(), micros.end()) - micros.begin() + 1);
}
BENCHMARK(BM_DaysOf2026)->Unit(benchmark::kMillisecond)->Iterations(3);

// From the rewrite of one file to the change notice, without the coalescing delay.
void BM_OneChangedFile(benchmark::State& state) {
    ScopedCalendarPin pin("en_US", "Europe/Berlin");
    ManualQueue queue;
    VdirEventStore store(generatedTree(), queue);
    load(store, queue);
    const QString calendar = generatedTree() + QStringLiteral("/work/cal2");
    const QString path = calendar + u'/' + QDir(calendar).entryList({QStringLiteral("*.ics")}).first();
    QFile original(path);
    original.open(QIODevice::ReadOnly);
    const QByteArray content = original.readAll();
    int notices = 0;
    QObject::connect(&store, &EventStore::changed, [&] { ++notices; });
    int round = 0;
    double total = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        const int before = notices;
        QFile file(path);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(
            QByteArray(content).replace("SUMMARY:", "SUMMARY:Round " + QByteArray::number(++round) + " "));
        file.close();
        while (notices == before) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            queue.runAll();
        }
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
        total += double(timer.nsecsElapsed()) / 1e3;
    }
    state.counters["change_us"] = total / double(state.iterations());
    QFile restore(path);
    restore.open(QIODevice::WriteOnly | QIODevice::Truncate);
    restore.write(content);
    restore.close();
    settle(store, queue);
    state.counters["notices"] = notices;
}
BENCHMARK(BM_OneChangedFile)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(50);

// The main thread's longest stall while a single-line file of this many MB is written into the tree and
// read, and the time until the store has handled it.
void BM_MainThreadStall(benchmark::State& state) {
    ScopedCalendarPin pin("en_US", "Europe/Berlin");
    const Day day;
    LoadedService loaded(day.start, day.end);
    const QString path = generatedTree() + QStringLiteral("/work/cal2/one-line.ics");
    const QByteArray line = "BEGIN:VCALENDAR" + QByteArray(qsizetype(state.range(0)) * 1024 * 1024, 'x');
    double longest = 0;
    for (auto _ : state) {
        QElapsedTimer sinceTick;
        sinceTick.start();
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            longest = std::max(longest, double(sinceTick.nsecsElapsed()) / 1e6);
            sinceTick.restart();
        });
        ticker.start(1);
        std::atomic<bool> written = false;
        std::thread writer([&] {
            QFile file(path);
            file.open(QIODevice::WriteOnly | QIODevice::Truncate);
            file.write(line);
            file.close();
            written = true;
        });
        // The closing of the file is seen (and read) last.
        while (!written || !loaded.store->hasPendingChanges())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        writer.join();
        settle(*loaded.store, loaded.queue);
        state.PauseTiming();
        ticker.stop();
        QFile::remove(path);
        while (!loaded.store->hasPendingChanges())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        settle(*loaded.store, loaded.queue);
        state.ResumeTiming();
    }
    state.counters["longest_stall_ms"] = longest;
    state.counters["events"] = double(loaded.service->events(midsummer()).size());
}
BENCHMARK(BM_MainThreadStall)->Arg(20)->Arg(12)->Unit(benchmark::kMillisecond)->Iterations(3);

// From the rewrite of one file to the moment a query shows it, without the coalescing delay, while twenty
// years of recurring events are being expanded; and the longest the main thread worked without a break
// meanwhile (the hand-overs of the expansion's parts).
void BM_ChangeDuringLongExpansion(benchmark::State& state) {
    ScopedCalendarPin pin("en_US", "Europe/Berlin");
    ManualQueue queue;
    const Calendar calendar = Calendar::current();
    const QString directory = generatedTree() + QStringLiteral("/work/cal3");
    QString path;
    QByteArray content;
    for (const QString& name : QDir(directory).entryList({QStringLiteral("*.ics")})) {
        QFile file(directory + u'/' + name);
        file.open(QIODevice::ReadOnly);
        content = file.readAll();
        path = file.fileName();
        if (!content.contains("RRULE") && content.contains("DTSTART:"))
            break;
    }
    const int at = int(content.indexOf("DTSTART:")) + 8;
    const Instant start = *calendar.date(content.mid(at, 4).toInt(), content.mid(at + 4, 2).toInt(),
                                         content.mid(at + 6, 2).toInt());
    const Instant from = start.addingSeconds(-86400.0);
    const Instant to = start.addingSeconds(2 * 86400.0);
    int round = 0;
    double total = 0;
    double longest = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto store = std::make_unique<VdirEventStore>(generatedTree(), queue);
        load(*store, queue);
        store->events(*calendar.date(2016, 1, 1), *calendar.date(2036, 1, 1), std::nullopt);
        QCoreApplication::processEvents();
        state.ResumeTiming();
        QElapsedTimer timer;
        timer.start();
        const QByteArray title = "Round " + QByteArray::number(++round);
        QFile file(path);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(QByteArray(content).replace("SUMMARY:", "SUMMARY:" + title + " "));
        file.close();
        auto shown = [&] {
            for (const StoredEvent& event : store->events(from, to, std::nullopt))
                if (event.title && event.title->startsWith(QString::fromLatin1(title)))
                    return true;
            return false;
        };
        while (!shown()) {
            QElapsedTimer turn;
            turn.start();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            queue.runAll();
            longest = std::max(longest, double(turn.nsecsElapsed()) / 1e6);
        }
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
        total += double(timer.nsecsElapsed()) / 1e6;
        state.PauseTiming();
        store.reset();
        state.ResumeTiming();
    }
    state.counters["change_ms"] = total / double(state.iterations());
    state.counters["longest_turn_ms"] = longest;
    QFile restore(path);
    restore.open(QIODevice::WriteOnly | QIODevice::Truncate);
    restore.write(content);
}
BENCHMARK(BM_ChangeDuringLongExpansion)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
