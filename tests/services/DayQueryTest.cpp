#include "services/CalendarEventsService.h"

#include "support/CapturingLogSink.h"
#include "support/InMemoryEventStore.h"
#include "support/QtPrinters.h"
#include "utilities/MondrelTheme.h"
#include "utilities/UserDefaults.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const EventSource kHome{QStringLiteral("src-home"), QStringLiteral("Home")};
const EventSource kBoss{QStringLiteral("src-boss"), QStringLiteral("Boss")};

// The day query over a scripted store, on 10 March 2027 in Berlin.
class DayQueryTest : public ::testing::Test {
protected:
    DayQueryTest()
        : defaults_(dir_.filePath(QStringLiteral("defaults.json"))), ownedStore_(new InMemoryEventStore) {
        store().status = EventAuthorizationStatus::fullAccess;
        home = store().addCalendar("home", "Home", kHome, QColor(0x11, 0x22, 0x33));
        plain = store().addCalendar("plain", "Plain", kHome);
    }

    InMemoryEventStore& store() { return *ownedStore_; }
    static Instant at(int day, int hour, int minute = 0) {
        return *Calendar::current().date(2027, 3, day, hour, minute);
    }

    StoredEvent event(const QString& id, std::optional<QString> title, Instant start,
                      const EventCalendar& calendar, double hours = 1) {
        StoredEvent e;
        e.startDate = start;
        e.endDate = start.addingSeconds(hours * 3600);
        e.title = std::move(title);
        e.calendar = calendar;
        e.eventIdentifier = id;
        e.calendarItemIdentifier = QStringLiteral("item-") + id;
        e.calendarItemExternalIdentifier = QStringLiteral("uid-") + id;
        return e;
    }

    QList<DayEvent> query() {
        if (ownedStore_) {
            storeView_ = ownedStore_.get();
            service_ = std::make_unique<CalendarEventsService>(std::move(ownedStore_), defaults_);
        }
        return service_->events(at(10, 12));
    }
    InMemoryEventStore& queriedStore() { return ownedStore_ ? *ownedStore_ : *storeView_; }

    // Title and time label of each event of the day of `day`, once the service exists.
    QStringList labels(Instant day) const {
        QStringList result;
        for (const DayEvent& e : service_->events(day))
            result << e.title() + u'@' + e.timeLabel();
        return result;
    }

    static QStringList ids(const QList<DayEvent>& events) {
        QStringList result;
        for (const DayEvent& e : events)
            result << e.id();
        return result;
    }

    ScopedCalendarPin pin_{QStringLiteral("en_US"), QStringLiteral("Europe/Berlin")};
    CapturingLogSink log_;
    QTemporaryDir dir_;
    UserDefaults defaults_;
    std::unique_ptr<InMemoryEventStore> ownedStore_;
    InMemoryEventStore* storeView_ = nullptr;
    std::unique_ptr<CalendarEventsService> service_;
    EventCalendar home;
    EventCalendar plain;
};

} // namespace

TEST_F(DayQueryTest, BuildsRecordsWithKeysLabelsColoursAndDedupKeys) {
    store().contents.events = {event("standup", "  Standup\n", at(10, 9, 30), home),
                               event("late", "Late", at(10, 23, 59), plain)};

    const QList<DayEvent> events = query();

    ASSERT_EQ(events.size(), 2);
    const DayEvent& standup = events.at(0);
    const Instant start = at(10, 9, 30);
    EXPECT_EQ(standup.id(), "standup|" + shortestRoundTripText(start.secondsSince2001()));
    EXPECT_TRUE(standup.id().endsWith(".0"));
    EXPECT_EQ(standup.title(), "Standup");
    EXPECT_EQ(standup.timeLabel(), "9:30\u202fAM");
    EXPECT_EQ(standup.color(), QColor(0x11, 0x22, 0x33));
    EXPECT_EQ(standup.sortDate(), start);
    EXPECT_EQ(standup.dedupKey(), "uid-standup|" + QString::number(qint64(start.secondsSince1970())));
    EXPECT_EQ(events.at(1).color(), MondrelTheme::accent());
    EXPECT_EQ(events.at(1).timeLabel(), "11:59\u202fPM");
}

TEST_F(DayQueryTest, TimeLabelFollowsTheCurrentLocale) {
    store().contents.events = {event("standup", "Standup", at(10, 14, 5), home)};
    EXPECT_EQ(query().first().timeLabel(), "2:05\u202fPM");
    ScopedCalendarPin german(QStringLiteral("de_DE"), QStringLiteral("Europe/Berlin"));
    EXPECT_EQ(query().first().timeLabel(), "14:05");
}

// Labels are remembered by the minute of the wall clock: the same instant of the day shows another time once
// the clocks change, or in another zone, and a minute's label never lends itself to the next minute.
TEST_F(DayQueryTest, TimeLabelsFollowTheWallClockAcrossClockChangesAndZones) {
    const Calendar calendar = Calendar::current();
    const Instant winter = *calendar.date(2027, 3, 27, 9, 0);
    store().contents.events = {event("before", "Before", winter, home),
                               event("after", "After", winter.addingSeconds(86400), home),
                               event("minute", "Next minute", winter.addingSeconds(86400 + 60), home),
                               event("later", "Later", winter.addingSeconds(86400 + 59), home)};
    query();
    EXPECT_EQ(labels(winter), QStringList{"Before@9:00\u202fAM"});
    EXPECT_EQ(labels(winter.addingSeconds(86400)),
              (QStringList{"After@10:00\u202fAM", "Later@10:00\u202fAM", "Next minute@10:01\u202fAM"}));
    ScopedCalendarPin tokyo(QStringLiteral("en_US"), QStringLiteral("Asia/Tokyo"));
    EXPECT_EQ(labels(winter), QStringList{"Before@5:00\u202fPM"});
}

// The offset of the last label is reused until the zone's next clock change: labels on either side of a
// change within one day, and the day before again. A label made with a wrong offset reads right the first
// time but is filed under another minute, so each minute is first shown through an event with the right one.
TEST_F(DayQueryTest, TimeLabelsTakeTheOffsetInForceAtEachStart) {
    auto utc = [](int month, int day, int hour, int minute) {
        return Instant::fromDateTime(QDateTime(QDate(2027, month, day), QTime(hour, minute), Qt::UTC));
    };
    // Berlin: 02:00 becomes 03:00 at 01:00 UTC on 28 March; 03:00 becomes 02:00 at 01:00 UTC on 31 October.
    store().contents.events = {
        event("eve", "Eve", utc(3, 27, 22, 0), home, 4),
        event("before", "Before", utc(3, 28, 0, 59), home),
        event("after", "After", utc(3, 28, 1, 0), home),
        event("later", "Later", utc(3, 28, 1, 30), home),
        event("ten", "Ten", utc(3, 28, 8, 0), home),
        event("saturday", "Saturday", utc(3, 27, 8, 0), home),
        event("early", "Early", utc(3, 27, 1, 0), home),
        event("first", "First", utc(10, 31, 0, 30), home),
        event("second", "Second", utc(10, 31, 1, 30), home),
    };
    query();
    const QStringList changeDay{"Eve@11:00\u202fPM", "Before@1:59\u202fAM", "After@3:00\u202fAM",
                                "Later@3:30\u202fAM", "Ten@10:00\u202fAM"};
    const QStringList dayBefore{"Early@2:00\u202fAM", "Saturday@9:00\u202fAM", "Eve@11:00\u202fPM"};
    EXPECT_EQ(labels(utc(3, 27, 12, 0)), dayBefore);
    EXPECT_EQ(labels(utc(3, 28, 12, 0)), changeDay);
    EXPECT_EQ(labels(utc(3, 27, 12, 0)), dayBefore);
    EXPECT_EQ(labels(utc(10, 31, 12, 0)), (QStringList{"First@2:30\u202fAM", "Second@2:30\u202fAM"}));
}

TEST_F(DayQueryTest, OrdersAllDayFirstThenStartThenTitleByCodePoint) {
    StoredEvent allDay = event("holiday", "Holiday", at(10, 0), home, 24);
    allDay.isAllDay = true;
    store().contents.events = {event("apple", "apple", at(10, 9), home),
                               event("zebra", "Zebra", at(10, 9), home), allDay,
                               event("eve", "Party", at(9, 22), home, 4)};

    const QList<DayEvent> events = query();

    EXPECT_EQ(ids(events).join(u' ').remove(QRegularExpression("\\|[-0-9.]+")), "holiday eve zebra apple");
    EXPECT_EQ(events.at(0).timeLabel(), "All day");
    // Began the evening before: shown with its real start.
    EXPECT_EQ(events.at(1).sortDate(), at(9, 22));
    EXPECT_EQ(events.at(1).timeLabel(), "10:00\u202fPM");
}

TEST_F(DayQueryTest, FallsBackForMissingFields) {
    StoredEvent untitled = event("untitled", std::nullopt, at(10, 8), home);
    untitled.eventIdentifier.reset();
    untitled.calendarItemExternalIdentifier.reset();
    StoredEvent blank = event("blank", " \n ", at(10, 9), home);
    blank.calendar.reset();
    StoredEvent startless = event("startless", "No start", at(10, 10), home);
    startless.startDate.reset();
    store().contents.events = {untitled, blank, startless};

    const QList<DayEvent> events = query();

    ASSERT_EQ(events.size(), 3);
    // Without a start the event sorts first but shows the day's start.
    EXPECT_EQ(events.at(0).title(), "No start");
    EXPECT_EQ(events.at(0).sortDate(), at(10, 0));
    EXPECT_EQ(events.at(1).id(), "item-untitled|" + shortestRoundTripText(at(10, 8).secondsSince2001()));
    EXPECT_EQ(events.at(1).title(), "Untitled event");
    EXPECT_FALSE(events.at(1).dedupKey().has_value());
    EXPECT_EQ(events.at(2).title(), "");
    EXPECT_EQ(events.at(2).color(), MondrelTheme::accent());
}

TEST_F(DayQueryTest, DropsRepeatedOccurrencesOfOneStoreButNotAcrossStores) {
    // The first in day order wins: the "A" copy, though reported second.
    store().contents.events = {event("twice", "B", at(10, 9), home), event("twice", "A", at(10, 9), home)};
    store().delegates = {kBoss};
    const EventCalendar boss{"boss", "Boss", kBoss, std::nullopt};
    store().delegated.calendars = {boss};
    StoredEvent shared = event("twice", "A", at(10, 9), boss);
    store().delegated.events = {shared};

    const QList<DayEvent> events = query();

    ASSERT_EQ(events.size(), 2);
    EXPECT_EQ(events.at(0).title(), "A");
    EXPECT_EQ(events.at(0).id(), "twice|" + shortestRoundTripText(at(10, 9).secondsSince2001()));
    EXPECT_EQ(events.at(1).id(), "d|" + events.at(0).id());
}

TEST_F(DayQueryTest, QueriesOnlyStoresWithIncludedCalendars) {
    store().contents.events = {event("home", "At home", at(10, 9), home),
                               event("plain", "Plain", at(10, 9), plain)};
    store().delegates = {kBoss};
    store().delegated.calendars = {{"boss", "Boss", kBoss, std::nullopt}};

    EXPECT_EQ(query().size(), 2);
    InMemoryEventStore& main = queriedStore();
    InMemoryEventStore& delegated = *main.limitedStores.first();
    EXPECT_EQ(main.queries, (QList<std::optional<QStringList>>{std::nullopt}));
    EXPECT_EQ(delegated.queries.size(), 1);

    service_->setCalendar("boss", false);
    service_->setCalendar("plain", false);
    main.queries.clear();
    delegated.queries.clear();
    const QList<DayEvent> events = query();
    ASSERT_EQ(events.size(), 1);
    EXPECT_EQ(events.first().title(), "At home");
    EXPECT_EQ(main.queries, (QList<std::optional<QStringList>>{QStringList{"home"}}));
    EXPECT_TRUE(delegated.queries.isEmpty());

    service_->setCalendar("home", false);
    main.queries.clear();
    EXPECT_TRUE(query().isEmpty());
    EXPECT_TRUE(main.queries.isEmpty());
}

TEST_F(DayQueryTest, WithoutFullAccessNothingIsQueried) {
    store().status = EventAuthorizationStatus::denied;
    store().contents.events = {event("home", "At home", at(10, 9), home)};
    EXPECT_TRUE(query().isEmpty());
    EXPECT_TRUE(queriedStore().queries.isEmpty());
}

TEST_F(DayQueryTest, CoversWholeDaysAcrossDaylightSavingChanges) {
    // 28 March 2027 has 23 hours in Berlin; an event at 23:30 still belongs to it.
    const Instant lateOnShortDay = *Calendar::current().date(2027, 3, 28, 23, 30);
    store().contents.events = {event("late", "Late", lateOnShortDay, home, 0.25)};
    query();
    EXPECT_EQ(service_->events(lateOnShortDay).size(), 1);
    EXPECT_TRUE(service_->events(lateOnShortDay.addingSeconds(-86400)).isEmpty());
}

TEST_F(DayQueryTest, ADayWithoutMidnightEndsWhereTheNextDayStarts) {
    // Santiago's 11 September 2022 starts at 01:00 and ends at midnight: 23 hours.
    ScopedCalendarPin santiago("es_CL", "America/Santiago");
    auto utc = [](int day, int hour, int minute = 0) {
        return Instant::fromDateTime(QDateTime(QDate(2022, 9, day), QTime(hour, minute), Qt::UTC));
    };
    store().contents.events = {event("late", "Late", utc(12, 2, 30), home, 0.25),
                               event("next", "Next day", utc(12, 3, 30), home, 0.25)};
    query();
    const QList<DayEvent> sunday = service_->events(utc(11, 15));
    ASSERT_EQ(sunday.size(), 1);
    EXPECT_EQ(sunday.first().title(), "Late");
    const QList<DayEvent> monday = service_->events(utc(12, 15));
    ASSERT_EQ(monday.size(), 1);
    EXPECT_EQ(monday.first().title(), "Next day");
}
