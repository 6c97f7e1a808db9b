#include "views/DayEventsSection.h"

#include "ViewFixture.h"
#include "app/SettingsPresenter.h"
#include "services/google/GoogleTokenKeychain.h"
#include "support/QtPrinters.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSignalSpy>

namespace {

using Content = DayEventsDescription::Content;
using Status = EventAuthorizationStatus;

DayEvent event(const QString& id, const QString& title, Instant start, std::optional<QString> key = {}) {
    return DayEvent(id, title, QStringLiteral("9:00 AM"), false, Qt::blue, start, std::move(key));
}

QStringList titles(const QList<DayEvent>& events) {
    QStringList result;
    for (const DayEvent& e : events)
        result << e.title();
    return result;
}

class DayEventsSectionTest : public ViewFixture {
protected:
    // Local calendars switched on, readable and included; Google not configured; lists that must be asked
    // for only when they are shown.
    DayEventsReading activeLocalCalendars() {
        DayEventsReading reading;
        reading.authorization = Status::fullAccess;
        reading.hasIncludedCalendars = true;
        reading.googleEvents = [this] {
            ++googleAsked;
            return googleList;
        };
        reading.systemEvents = [this] {
            ++systemAsked;
            return systemList;
        };
        return reading;
    }
    DayEventsDescription describe(const DayEventsReading& reading) {
        return DayEventsSection::describe(reading, day(2026, 12, 7));
    }

    QList<DayEvent> googleList;
    QList<DayEvent> systemList;
    int googleAsked = 0;
    int systemAsked = 0;
};

TEST_F(DayEventsSectionTest, PromptDependsOnAuthorizationAloneWhenNoSourceContributes) {
    struct Case {
        Status status;
        SourcePrompt prompt;
    };
    const SourcePrompt off{"Calendar access is off.", "Show Calendar Folder",
                           SourcePromptAction::openCalendarPrivacySettings};
    const SourcePrompt turnedOff{"Calendar sources are turned off.", "Open Mondrel Settings",
                                 SourcePromptAction::openSettings};
    const SourcePrompt ask{"See your day's events here.", "Show my events",
                           SourcePromptAction::requestAccess};
    for (const Case& c :
         {Case{Status::notDetermined, ask}, Case{Status::restricted, off}, Case{Status::denied, off},
          Case{Status::fullAccess, turnedOff}, Case{Status::writeOnly, ask}}) {
        DayEventsReading reading = activeLocalCalendars();
        reading.authorization = c.status;
        if (c.status == Status::fullAccess)
            reading.showSystemCalendars = false;
        const DayEventsDescription description = describe(reading);
        EXPECT_EQ(description.content, Content::prompt) << int(c.status);
        EXPECT_EQ(description.prompt, c.prompt) << int(c.status);
    }
    EXPECT_EQ(googleAsked + systemAsked, 0) << "no list is read behind a prompt";

    // Access granted but every calendar excluded: the same prompt as the switched-off calendars.
    DayEventsReading excluded = activeLocalCalendars();
    excluded.hasIncludedCalendars = false;
    EXPECT_EQ(describe(excluded).prompt, turnedOff);
}

TEST_F(DayEventsSectionTest, ConnectedGoogleReplacesThePromptEvenWithoutLocalAccess) {
    DayEventsReading reading = activeLocalCalendars();
    reading.authorization = Status::denied;
    reading.googleState = GoogleConnectionState::connected(std::nullopt);
    googleList = {event("g|1", "Design review", at(2026, 12, 7, 9))};
    systemList = {event("local", "Never shown", at(2026, 12, 7, 8))};

    const DayEventsDescription description = describe(reading);
    EXPECT_EQ(description.content, Content::events);
    EXPECT_EQ(titles(description.events), QStringList{"Design review"});
    EXPECT_EQ(systemAsked, 0);
}

TEST_F(DayEventsSectionTest, AnEventBothSourcesHoldIsListedOnceAsGoogleHasIt) {
    DayEventsReading reading = activeLocalCalendars();
    reading.googleState = GoogleConnectionState::connected(QStringLiteral("me@example.com"));
    const Instant nine = at(2026, 12, 7, 9);
    googleList = {event("g|1", "Standup (Google)", nine, QStringLiteral("uid-1|123"))};
    systemList = {event("l1", "Standup (local)", nine, QStringLiteral("uid-1|123")),
                  event("l2", "Lunch", at(2026, 12, 7, 12), QStringLiteral("uid-2|456")),
                  DayEvent("l3", "Holiday", "All day", true, Qt::red, day(2026, 12, 7), std::nullopt)};

    const DayEventsDescription description = describe(reading);
    EXPECT_EQ(titles(description.events), (QStringList{"Holiday", "Standup (Google)", "Lunch"}));
    EXPECT_EQ(description.heading, "Mon, Dec 7");
}

TEST_F(DayEventsSectionTest, CheckingOnlyWhileGoogleLoadsAndLocalCalendarsAreInactive) {
    DayEventsReading reading = activeLocalCalendars();
    reading.showSystemCalendars = false;
    reading.googleState = GoogleConnectionState::connected(std::nullopt);
    reading.googleIsLoading = true;
    DayEventsDescription description = describe(reading);
    EXPECT_EQ(description.content, Content::checking);
    EXPECT_EQ(description.message, QStringLiteral("Checking your calendar\u2026"));

    // Local calendars active: an empty list while Google loads says nothing is scheduled.
    reading.showSystemCalendars = true;
    description = describe(reading);
    EXPECT_EQ(description.content, Content::nothingScheduled);
    EXPECT_EQ(description.message, "Nothing scheduled.");

    // Loading ended with nothing cached.
    reading.showSystemCalendars = false;
    reading.googleIsLoading = false;
    EXPECT_EQ(describe(reading).content, Content::nothingScheduled);

    // Cached events show while the next fetch runs.
    reading.googleIsLoading = true;
    googleList = {event("g|1", "Cached", at(2026, 12, 7, 9))};
    EXPECT_EQ(describe(reading).content, Content::events);
}

TEST_F(DayEventsSectionTest, ReadsTheServicesAndFollowsEveryChangeOfThem) {
    DayEventsSection section(environment(), day(2026, 12, 7));
    QSignalSpy changes(&section, &DayEventsSection::changed);
    EXPECT_EQ(section.description().prompt->action, SourcePromptAction::requestAccess);

    store->addCalendar(QStringLiteral("home"), QStringLiteral("Home"));
    StoredEvent stored;
    stored.startDate = at(2026, 12, 7, 14);
    stored.endDate = at(2026, 12, 7, 15);
    stored.title = QStringLiteral("Dentist");
    stored.calendar = store->contents.calendars.first();
    stored.calendarItemIdentifier = QStringLiteral("dentist");
    store->contents.events = {stored};
    store->statusAfterRequest = Status::fullAccess;
    section.perform(SourcePromptAction::requestAccess);
    QCoreApplication::processEvents();
    EXPECT_EQ(store->accessRequests, 1);
    EXPECT_GE(changes.count(), 1);
    EXPECT_EQ(titles(section.description().events), QStringList{"Dentist"});

    changes.clear();
    defaults.setBool(DayEventsSection::kShowSystemCalendarsKey, false);
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(section.description().prompt->text, "Calendar sources are turned off.");
    defaults.setBool(QStringLiteral("mondrel.somethingElse"), true);
    EXPECT_EQ(changes.count(), 1) << "other keys are not read";

    section.setDay(day(2026, 12, 8));
    EXPECT_EQ(changes.count(), 2);
    EXPECT_EQ(section.description().heading, "Tue, Dec 8");
}

TEST_F(DayEventsSectionTest, PromptButtonsFixTheirCause) {
    DayEventsSection section(environment(), day(2026, 12, 7));
    section.perform(SourcePromptAction::openCalendarPrivacySettings);
    ASSERT_EQ(workspace.opened.size(), 1u);
    EXPECT_EQ(workspace.opened.front(), QUrl::fromLocalFile(dir.path()))
        << "the folder holding the calendars";

    section.perform(SourcePromptAction::openSettings);
    EXPECT_EQ(settingsOpened, 1);
    SettingsPresenter::setOpenAction({});
}

// A Google source with a token set whose requests go nowhere: each fetch fails at once.
TEST_F(DayEventsSectionTest, AsksGoogleToCoverEachShownDay) {
    secrets.put(GoogleTokenKeychain::baseKeychainQuery(),
                GoogleTokenSet{QStringLiteral("access"), QStringLiteral("refresh"),
                               queue.now().addingSeconds(3600), std::nullopt}
                    .toJson());
    GoogleCalendarService connected(GoogleCalendarService::Environment{
        queue, secrets, nullptr, GoogleEndpoints::on(QUrl(QStringLiteral("http://127.0.0.1:9"))),
        QStringLiteral("client")});
    ViewEnvironment env = environment();
    DayEventsSection section(ViewEnvironment{env.account, env.calendar, env.events, connected, env.defaults,
                                             env.mainQueue, env.workspace, env.calendarFolder,
                                             env.openSettings},
                             day(2026, 12, 7));

    section.setDay(day(2026, 12, 8));
    EXPECT_FALSE(connected.lastRequestedDay()) << "nothing is asked for before the list is shown";
    section.appear();
    EXPECT_EQ(connected.lastRequestedDay(), day(2026, 12, 8));
    EXPECT_EQ(section.description().content, Content::checking);

    section.setDay(day(2026, 12, 9));
    EXPECT_EQ(connected.lastRequestedDay(), day(2026, 12, 9));

    QDeadlineTimer deadline(5000);
    while (connected.isFetching() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(section.description().content, Content::nothingScheduled);
}

} // namespace
