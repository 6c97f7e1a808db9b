#include "services/CalendarEventsService.h"

#include "support/CapturingLogSink.h"
#include "support/InMemoryEventStore.h"
#include "support/QtPrinters.h"
#include "utilities/MondrelTheme.h"
#include "utilities/UserDefaults.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using Status = EventAuthorizationStatus;

const EventSource kHome{QStringLiteral("src-home"), QStringLiteral("Home")};
const EventSource kWork{QStringLiteral("src-work"), QStringLiteral("Work")};
const EventSource kBoss{QStringLiteral("src-boss"), QStringLiteral("Work")};

class CalendarEventsServiceTest : public ::testing::Test {
protected:
    CalendarEventsServiceTest()
        : defaults_(dir_.filePath(QStringLiteral("defaults.json"))), ownedStore_(new InMemoryEventStore),
          store(*ownedStore_) {}

    CalendarEventsService& makeService() {
        service_ = std::make_unique<CalendarEventsService>(std::move(ownedStore_), defaults_);
        return *service_;
    }
    QStringList storedExcluded() const {
        return defaults_.stringArray(CalendarEventsService::kExcludedCalendarIDsKey)
            .value_or(QStringList{"-"});
    }
    static void deliverNotifications() { QCoreApplication::processEvents(); }

    ScopedCalendarPin pin_{QStringLiteral("en_US"), QStringLiteral("Europe/Berlin")};
    CapturingLogSink log;
    QTemporaryDir dir_;
    UserDefaults defaults_;
    std::unique_ptr<InMemoryEventStore> ownedStore_;
    InMemoryEventStore& store;
    std::unique_ptr<CalendarEventsService> service_;
};

QStringList groupSummary(const CalendarEventsService& service) {
    QStringList lines;
    for (const auto& group : service.calendarGroups()) {
        QStringList titles;
        for (const auto& calendar : group.calendars)
            titles << calendar.title;
        lines << group.id + u'=' + group.title + u':' + titles.join(u',');
    }
    return lines;
}

} // namespace

TEST_F(CalendarEventsServiceTest, GrantedRequestResetsStoreAndBuildsGroupsOnce) {
    store.addCalendar("c1", "Personal", kHome);
    CalendarEventsService& service = makeService();
    EXPECT_EQ(service.authorization(), Status::notDetermined);
    EXPECT_EQ(service.changeToken(), 0);
    EXPECT_TRUE(service.calendarGroups().isEmpty());
    EXPECT_TRUE(log.messages().isEmpty());
    int authorizationChanges = 0;
    QObject::connect(&service, &CalendarEventsService::authorizationChanged, [&] { ++authorizationChanges; });

    service.requestAccess();

    EXPECT_EQ(store.resets, 1);
    EXPECT_EQ(service.authorization(), Status::fullAccess);
    EXPECT_EQ(authorizationChanges, 1);
    EXPECT_EQ(groupSummary(service), QStringList{"src-home=Home:Personal"});
    EXPECT_TRUE(service.hasIncludedCalendars());
    EXPECT_EQ(service.changeToken(), 1);
    EXPECT_EQ(
        log.messages("events"),
        QStringList{"calendar sources refreshed: 1 sources, 1/1 calendars included, 0 delegate sources"});
}

TEST_F(CalendarEventsServiceTest, DeniedOrFailedRequestClearsStateAndStillCounts) {
    store.addCalendar("c1", "Personal", kHome);
    store.nextAccessResult = {false, QStringLiteral("The user said no.")};
    store.statusAfterRequest = Status::denied;
    CalendarEventsService& service = makeService();

    service.requestAccess();

    EXPECT_EQ(store.resets, 0);
    EXPECT_EQ(service.authorization(), Status::denied);
    EXPECT_TRUE(service.calendarGroups().isEmpty());
    EXPECT_FALSE(service.hasIncludedCalendars());
    EXPECT_EQ(service.changeToken(), 1);
    EXPECT_EQ(log.messages("events"), QStringList{"calendar access request failed: The user said no."});
}

TEST_F(CalendarEventsServiceTest, WriteOnlyAccessActsAsNoAccess) {
    store.status = Status::writeOnly;
    store.addCalendar("c1", "Personal", kHome);
    store.contents.events.append(
        {Instant::now(), std::nullopt, "Standup", false, std::nullopt, "e", "i", "x"});
    CalendarEventsService& service = makeService();

    EXPECT_EQ(service.changeToken(), 0);
    EXPECT_TRUE(service.events(Instant::now()).isEmpty());
    EXPECT_TRUE(store.queries.isEmpty());
}

TEST_F(CalendarEventsServiceTest, GroupsBySourceWithLocalizedTitleOrder) {
    store.status = Status::fullAccess;
    store.addCalendar("c-b", "birthdays", kWork);
    store.addCalendar("c-loose", "Loose", std::nullopt, Qt::green);
    store.addCalendar("c-a", "Agenda", kWork);
    store.addCalendar("c-e", "Écoles", kHome);
    store.addCalendar("c-z", "zoo", kHome);
    store.addCalendar("c-e2", "Ecoles", kHome);
    store.delegates = {kBoss};
    store.delegated.calendars = {{"d1", "Boss diary", kBoss, std::nullopt}};

    CalendarEventsService& service = makeService();

    // "Ecoles" before "Écoles" (accents count), "birthdays" before "zoo" whatever the case.
    EXPECT_EQ(groupSummary(service),
              (QStringList{"src-home=Home:Ecoles,Écoles,zoo", "?=Other:Loose",
                           "src-work=Work:Agenda,birthdays", "d|src-boss=Work (shared):Boss diary"}));
    EXPECT_EQ(service.calendarGroups().at(1).calendars.first().color, QColor(Qt::green));
    EXPECT_EQ(service.calendarGroups().at(0).calendars.first().color, MondrelTheme::accent());
    EXPECT_EQ(log.messages("events").last(),
              "calendar sources refreshed: 4 sources, 7/7 calendars included, 1 delegate sources");
}

TEST_F(CalendarEventsServiceTest, ExclusionsAreStoredSortedAndCountedButKeepCalendarsListed) {
    store.status = Status::fullAccess;
    store.addCalendar("B", "Bravo", kHome);
    store.addCalendar("A", "Alpha", kHome);
    CalendarEventsService& service = makeService();
    int includedChanges = 0;
    QObject::connect(&service, &CalendarEventsService::hasIncludedCalendarsChanged,
                     [&] { ++includedChanges; });

    service.setCalendar("B", false);
    service.setCalendar("A", false);

    EXPECT_EQ(storedExcluded(), (QStringList{"A", "B"}));
    EXPECT_FALSE(service.isCalendarIncluded("A"));
    EXPECT_FALSE(service.hasIncludedCalendars());
    EXPECT_EQ(includedChanges, 1);
    EXPECT_EQ(groupSummary(service), QStringList{"src-home=Home:Alpha,Bravo"});
    EXPECT_EQ(log.messages("events").last(),
              "calendar sources refreshed: 1 sources, 0/2 calendars included, 0 delegate sources");

    service.setCalendar("nobody", false);
    EXPECT_EQ(storedExcluded(), (QStringList{"A", "B", "nobody"}));
    EXPECT_EQ(log.messages("events").last(),
              "calendar sources refreshed: 1 sources, 0/2 calendars included, 0 delegate sources");

    service.setCalendar("A", true);
    service.setCalendar("B", true);
    service.setCalendar("nobody", true);
    EXPECT_EQ(storedExcluded(), QStringList{});
    EXPECT_TRUE(service.hasIncludedCalendars());
    EXPECT_EQ(service.changeToken(), 7);
}

TEST_F(CalendarEventsServiceTest, ExcludedSetIgnoresStoredValuesOfAnotherType) {
    defaults_.setString(CalendarEventsService::kExcludedCalendarIDsKey, "A");
    store.status = Status::fullAccess;
    store.addCalendar("A", "Alpha", kHome);
    CalendarEventsService& service = makeService();
    EXPECT_TRUE(service.isCalendarIncluded("A"));
    EXPECT_TRUE(service.hasIncludedCalendars());
}

TEST_F(CalendarEventsServiceTest, StoreChangeRereadsStatusAndRebuildsDelegateStoreOnlyForNewSources) {
    store.status = Status::fullAccess;
    store.addCalendar("c1", "Personal", kHome);
    store.delegates = {kBoss};
    store.delegated.calendars = {{"d1", "Boss diary", kBoss, std::nullopt},
                                 {"d2", "Team", kWork, std::nullopt}};
    CalendarEventsService& service = makeService();
    ASSERT_EQ(store.limitedStores.size(), 1);

    store.notifyChanged();
    deliverNotifications();
    EXPECT_EQ(store.limitedStores.size(), 1);
    EXPECT_FALSE(store.limitedStores.first().isNull());
    EXPECT_EQ(service.changeToken(), 2);

    // A change inside the delegate store is a change of the database too.
    store.limitedStores.first()->notifyChanged();
    deliverNotifications();
    EXPECT_EQ(service.changeToken(), 3);

    store.delegates = {kWork, kBoss};
    store.notifyChanged();
    deliverNotifications();
    ASSERT_EQ(store.limitedStores.size(), 2);
    EXPECT_TRUE(store.limitedStores.first().isNull());
    EXPECT_EQ(groupSummary(service).size(), 3);
    EXPECT_EQ(log.messages("events").last(),
              "calendar sources refreshed: 3 sources, 3/3 calendars included, 2 delegate sources");

    store.delegates.clear();
    store.status = Status::denied;
    store.notifyChanged();
    deliverNotifications();
    EXPECT_EQ(service.authorization(), Status::denied);
    EXPECT_TRUE(store.limitedStores.last().isNull());
    EXPECT_TRUE(service.calendarGroups().isEmpty());
    EXPECT_EQ(service.changeToken(), 5);
}

TEST_F(CalendarEventsServiceTest, NoNotificationReachesAServiceThatIsGone) {
    store.status = Status::fullAccess;
    makeService();
    store.notifyChanged();
    service_.reset();
    deliverNotifications();
    SUCCEED();
}
