// Converting one fetched window (5,000 events over ten calendars) into the per-day cache.
#include "services/google/GoogleCalendarService.h"

#include <QNetworkAccessManager>
#include <benchmark/benchmark.h>

namespace {

class FixedClockQueue final : public MainQueue {
public:
    void post(Work) override {}
    Handle postAfter(double, Work) override { return {}; }
    Handle postAtWallClock(Instant, Work) override { return {}; }
    Instant now() const override { return Instant::fromSecondsSince1970(1'773'140'400); }
};

class NoSecretStore final : public SecretStore {
public:
    QCoro::Task<Reply> update(ItemKey, QByteArray) override { co_return Reply{}; }
    QCoro::Task<Reply> add(ItemKey, QByteArray) override { co_return Reply{}; }
    QCoro::Task<Reply> read(ItemKey) override { co_return Reply{}; }
    QCoro::Task<Reply> remove(ItemKey) override { co_return Reply{}; }
};

QString isoDate(const QDate& date) {
    return date.toString(Qt::ISODate);
}

// A busy month: mostly timed events on the quarter hour, one in ten all-day (one to three days), one in
// twenty running overnight, a few cancelled.
QList<GCalendarEvents> fetchedWindow() {
    QList<GCalendarEvents> byCalendar;
    const QDate first(2026, 2, 15);
    for (int c = 0; c < 10; ++c) {
        GCalendarEvents pair;
        pair.calendar.id = QStringLiteral("calendar-%1@group.calendar.google.com").arg(c);
        pair.calendar.backgroundColor =
            QStringLiteral("#%1").arg(0x336699 + c * 0x101010, 6, 16, QChar(u'0'));
        for (int e = 0; e < 500; ++e) {
            GEvent event;
            event.id = QStringLiteral("evt%1x%2").arg(c).arg(e);
            event.iCalUID = event.id.value() + QStringLiteral("@google.com");
            event.summary = QStringLiteral("  Event %1 of calendar %2 ").arg(e).arg(c);
            const QDate day = first.addDays((e * 7 + c) % 59);
            if (e % 10 == 0) {
                event.start = GEventTime{isoDate(day), std::nullopt};
                event.end = GEventTime{isoDate(day.addDays(1 + e % 3)), std::nullopt};
            } else {
                const int startMinutes = 7 * 60 + (e * 15) % (12 * 60);
                const int length = e % 20 == 1 ? 10 * 60 : 45;
                const QDateTime start(day, QTime(startMinutes / 60, startMinutes % 60), QTimeZone(3600));
                event.start = GEventTime{std::nullopt, start.toString(Qt::ISODate)};
                event.end =
                    GEventTime{std::nullopt, start.addSecs(qint64(length) * 60).toString(Qt::ISODate)};
            }
            if (e % 50 == 7)
                event.status = QStringLiteral("cancelled");
            pair.events.append(event);
        }
        byCalendar.append(pair);
    }
    return byCalendar;
}

void BM_RebuildCacheOf5000Events(benchmark::State& state) {
    ScopedCalendarPin pin(QStringLiteral("en_US"), QStringLiteral("Europe/Berlin"));
    FixedClockQueue queue;
    NoSecretStore secrets;
    QNetworkAccessManager network;
    GoogleCalendarService service({queue, secrets, &network, {}, QStringLiteral("bench")});
    const QList<GCalendarEvents> byCalendar = fetchedWindow();
    const DateInterval window = GoogleCalendarService::window(queue.now());
    for (auto _ : state) {
        service.rebuildCache(byCalendar, window);
        benchmark::DoNotOptimize(service.eventsByDay().size());
    }
    state.counters["days"] = double(service.eventsByDay().size());
}
BENCHMARK(BM_RebuildCacheOf5000Events)->Unit(benchmark::kMillisecond);

} // namespace
