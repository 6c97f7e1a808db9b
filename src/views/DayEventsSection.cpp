#include "views/DayEventsSection.h"

#include "platform/Workspace.h"
#include "services/CalendarEventsService.h"
#include "services/google/GoogleCalendarService.h"
#include "utilities/Localization.h"
#include "utilities/UserDefaults.h"
#include "views/FormatterCache.h"

#include <QDir>
#include <QFileInfo>

namespace {

QString headingOf(Instant day) {
    static const CurrentCalendarFormatter header([](const Calendar& calendar) {
        return DateFormatter::fromSkeleton(calendar, DateFormats::kDayHeader);
    });
    return header.format(day);
}

} // namespace

DayEventsSection::DayEventsSection(const ViewEnvironment& environment, Instant day, QObject* parent)
    : QObject(parent), environment_(environment), day_(day) {
    CalendarEventsService* events = &environment_.events;
    GoogleCalendarService* google = &environment_.google;
    for (auto signal :
         {&CalendarEventsService::authorizationChanged, &CalendarEventsService::changeTokenChanged,
          &CalendarEventsService::hasIncludedCalendarsChanged})
        connect(events, signal, this, &DayEventsSection::changed);
    for (auto signal : {&GoogleCalendarService::stateChanged, &GoogleCalendarService::dataTokenChanged,
                        &GoogleCalendarService::isLoadingChanged})
        connect(google, signal, this, &DayEventsSection::changed);
    connect(&environment_.defaults, &UserDefaults::changed, this, [this](const QString& key) {
        if (key == kShowSystemCalendarsKey)
            emit changed();
    });
}

void DayEventsSection::setDay(Instant day) {
    if (day == day_)
        return;
    day_ = day;
    if (shown_)
        environment_.google.ensureCoverage(day_);
    emit changed();
}

void DayEventsSection::appear() {
    shown_ = true;
    environment_.google.ensureCoverage(day_);
}

DayEventsReading DayEventsSection::read() const {
    const CalendarEventsService& events = environment_.events;
    const GoogleCalendarService& google = environment_.google;
    const Instant day = day_;
    return DayEventsReading{
        environment_.defaults.boolValue(kShowSystemCalendarsKey, true),
        events.authorization(),
        events.hasIncludedCalendars(),
        google.state(),
        google.isLoading(),
        [&google, day] { return google.events(day); },
        [&events, day] { return events.events(day); },
    };
}

bool DayEventsSection::isSystemActive(const DayEventsReading& reading) {
    return reading.showSystemCalendars && reading.authorization == EventAuthorizationStatus::fullAccess &&
           reading.hasIncludedCalendars;
}

SourcePrompt DayEventsSection::sourcePrompt(EventAuthorizationStatus authorization) {
    switch (authorization) {
    case EventAuthorizationStatus::restricted:
    case EventAuthorizationStatus::denied:
        return {QStringLiteral("Calendar access is off."), QStringLiteral("Show Calendar Folder"),
                SourcePromptAction::openCalendarPrivacySettings};
    case EventAuthorizationStatus::fullAccess:
        return {QStringLiteral("Calendar sources are turned off."), QStringLiteral("Open Mondrel Settings"),
                SourcePromptAction::openSettings};
    case EventAuthorizationStatus::notDetermined:
    case EventAuthorizationStatus::writeOnly:
        break;
    }
    return {QStringLiteral("See your day's events here."), QStringLiteral("Show my events"),
            SourcePromptAction::requestAccess};
}

DayEventsDescription DayEventsSection::describe(const DayEventsReading& reading, Instant day) {
    DayEventsDescription description;
    description.heading = headingOf(day);
    const bool systemActive = isSystemActive(reading);
    const bool googleConnected = reading.googleState.isConnected();
    if (!systemActive && !googleConnected) {
        description.content = DayEventsDescription::Content::prompt;
        description.prompt = sourcePrompt(reading.authorization);
        return description;
    }
    const QList<DayEvent> primary = googleConnected ? reading.googleEvents() : QList<DayEvent>{};
    const QList<DayEvent> secondary = systemActive ? reading.systemEvents() : QList<DayEvent>{};
    description.events = DayEvent::merged(primary, secondary);
    if (!description.events.isEmpty()) {
        description.content = DayEventsDescription::Content::events;
    } else if (googleConnected && reading.googleIsLoading && !systemActive) {
        description.content = DayEventsDescription::Content::checking;
        description.message = localized("Checking your calendar…");
    } else {
        description.content = DayEventsDescription::Content::nothingScheduled;
        description.message = localized("Nothing scheduled.");
    }
    return description;
}

void DayEventsSection::perform(SourcePromptAction action) {
    switch (action) {
    case SourcePromptAction::openCalendarPrivacySettings:
        openCalendarPrivacySettings(environment_.workspace, environment_.calendarFolder);
        return;
    case SourcePromptAction::openSettings:
        if (environment_.openSettings)
            SettingsPresenter::present(environment_.openSettings);
        else
            SettingsPresenter::present();
        return;
    case SourcePromptAction::requestAccess:
        // Its outcome shows through the service's authorization.
        environment_.events.requestAccess();
        return;
    }
}

void DayEventsSection::openCalendarPrivacySettings(Workspace& workspace, const QString& calendarFolder) {
    if (calendarFolder.isEmpty())
        return;
    const QString parent = QFileInfo(QDir::cleanPath(calendarFolder)).absolutePath();
    workspace.open(QUrl::fromLocalFile(parent));
}
