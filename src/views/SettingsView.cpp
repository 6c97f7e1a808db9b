#include "views/SettingsView.h"

#include "account/AccountModel.h"
#include "platform/Workspace.h"
#include "services/CalendarEventsService.h"
#include "services/LaunchAtLoginService.h"
#include "services/UpdaterService.h"
#include "utilities/Constants.h"
#include "utilities/UserDefaults.h"
#include "views/CalendarView.h"
#include "views/DayEventsSection.h"

SettingsView::SettingsView(const SceneEnvironment& environment, UserDefaults& defaults,
                           WindowSystem& windowSystem, Workspace& workspace, QString calendarFolder,
                           QObject* parent)
    : QObject(parent), environment_(environment), defaults_(defaults), workspace_(workspace),
      calendarFolder_(std::move(calendarFolder)) {
    // An approval given elsewhere shows as soon as the user comes back.
    didBecomeActive_ = windowSystem.observeDidBecomeActive(
        [launchAtLogin = &environment_.launchAtLogin] { launchAtLogin->refresh(); });

    const auto redraw = [this] { emit changed(); };
    connect(&environment_.launchAtLogin, &LaunchAtLoginService::isEnabledChanged, this, redraw);
    connect(&environment_.launchAtLogin, &LaunchAtLoginService::needsApprovalChanged, this, redraw);
    connect(&environment_.events, &CalendarEventsService::authorizationChanged, this, redraw);
    connect(&environment_.events, &CalendarEventsService::calendarGroupsChanged, this, redraw);
    connect(&environment_.account, &AccountModel::isSignedInChanged, this, redraw);
    connect(&environment_.account, &AccountModel::accountChanged, this, redraw);
    connect(&environment_.account.bridge(), &QuintorAccountBridge::lastReadSessionChanged, this, redraw);
    connect(&environment_.updater, &UpdaterService::canCheckForUpdatesChanged, this, redraw);
    connect(&defaults_, &UserDefaults::changed, this, [this](const QString& key) {
        static const QStringList keys{DayEventsSection::kShowSystemCalendarsKey,
                                      CalendarView::kShowWeekNumbersKey, CalendarView::kStartOnMondayKey,
                                      UpdaterService::kBetaEnabledKey,
                                      CalendarEventsService::kExcludedCalendarIDsKey};
        if (keys.contains(key))
            emit changed();
    });
}

SettingsState SettingsView::state() const {
    SettingsState state;
    state.launchAtLoginEnabled = environment_.launchAtLogin.isEnabled();
    state.launchAtLoginNeedsApproval = environment_.launchAtLogin.needsApproval();
    state.showSystemCalendars = defaults_.boolValue(DayEventsSection::kShowSystemCalendarsKey, true);
    state.calendarFolder = calendarFolder_;
    state.authorization = environment_.events.authorization();
    state.calendarGroups = environment_.events.calendarGroups();
    for (const CalendarEventsService::CalendarGroup& group : state.calendarGroups) {
        for (const CalendarEventsService::CalendarInfo& calendar : group.calendars) {
            if (!environment_.events.isCalendarIncluded(calendar.id))
                state.excludedCalendarIDs.insert(calendar.id);
        }
    }
    state.showWeekNumbers = CalendarView::showWeekNumbers(defaults_);
    state.startOnMonday = CalendarView::startOnMonday(defaults_);
    // Read afresh whenever the window is shown: the session may have become unreadable.
    if (const auto session = environment_.account.bridge().lastReadSession())
        state.signedInEmail = session->email;
    state.isSignedIn = environment_.account.isSignedIn();
    state.canCheckForUpdates = environment_.updater.canCheckForUpdates();
    state.betaUpdates = defaults_.boolValue(UpdaterService::kBetaEnabledKey, false);
    state.version = Constants::version();
    return state;
}

void SettingsView::shown() {
    environment_.launchAtLogin.refresh();
    // The answer redraws through lastReadSessionChanged.
    environment_.account.bridge().currentSession();
}

void SettingsView::perform(SettingsAction action, bool value, const QString& calendarID) {
    switch (action) {
    case SettingsAction::setLaunchAtLogin:
        environment_.launchAtLogin.setEnabled(value);
        // The toggle shows what the system reports, which may differ from the wish.
        emit changed();
        break;
    case SettingsAction::openLoginItems:
        environment_.launchAtLogin.openLoginItemsSettings();
        break;
    case SettingsAction::setShowSystemCalendars: {
        const bool asks =
            requestsAccessOnShowSystemCalendarsChange(value, environment_.events.authorization());
        defaults_.setBool(DayEventsSection::kShowSystemCalendarsKey, value);
        if (asks)
            requestCalendarAccess();
        break;
    }
    case SettingsAction::openCalendarPrivacy:
        DayEventsSection::openCalendarPrivacySettings(workspace_, calendarFolder_);
        break;
    case SettingsAction::requestCalendarAccess:
        requestCalendarAccess();
        break;
    case SettingsAction::setCalendarIncluded:
        environment_.events.setCalendar(calendarID, value);
        break;
    case SettingsAction::setShowWeekNumbers:
        defaults_.setBool(CalendarView::kShowWeekNumbersKey, value);
        break;
    case SettingsAction::setStartOnMonday:
        defaults_.setBool(CalendarView::kStartOnMondayKey, value);
        break;
    case SettingsAction::signOut:
        signOut();
        break;
    case SettingsAction::checkForUpdates:
        environment_.updater.checkForUpdates();
        break;
    case SettingsAction::setBetaUpdates:
        defaults_.setBool(UpdaterService::kBetaEnabledKey, value);
        break;
    case SettingsAction::none:
        break;
    }
}

// Both run to their end even when the form goes away: they belong to the services, which outlive it, and
// neither throws.
void SettingsView::requestCalendarAccess() {
    environment_.events.requestAccess();
}

void SettingsView::signOut() {
    environment_.account.signOut();
}
