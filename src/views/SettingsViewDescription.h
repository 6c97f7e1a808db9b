#pragma once

#include "platform/EventStore.h"
#include "services/CalendarEventsService.h"

#include <QColor>
#include <QList>
#include <QString>

#include <optional>
#include <vector>

// What the settings form reads: the services' observable values and the user-defaults keys, taken at one
// moment.
struct SettingsState {
    bool launchAtLoginEnabled = false;
    bool launchAtLoginNeedsApproval = false;
    bool showSystemCalendars = true;
    // The folder the local calendars are read from.
    QString calendarFolder;
    EventAuthorizationStatus authorization = EventAuthorizationStatus::notDetermined;
    QList<CalendarEventsService::CalendarGroup> calendarGroups;
    // The identifiers of the calendars the user left out.
    QSet<QString> excludedCalendarIDs;
    bool showWeekNumbers = false;
    bool startOnMonday = false;
    // The e-mail of the current session; absent while no session can be read.
    std::optional<QString> signedInEmail;
    bool isSignedIn = false;
    bool canCheckForUpdates = false;
    bool betaUpdates = false;
    QString version;
};

// What a row does when the user uses it. Toggles hand their new value with the action.
enum class SettingsAction {
    none,
    setLaunchAtLogin,
    openLoginItems,
    setShowSystemCalendars,
    openCalendarPrivacy,
    requestCalendarAccess,
    setCalendarIncluded,
    setShowWeekNumbers,
    setStartOnMonday,
    signOut,
    checkForUpdates,
    setBetaUpdates,
};

struct SettingsRow {
    enum class Kind {
        // A switch: `label`, `isOn`.
        toggle,
        // `label` in the secondary style on the leading side, the button `content` on the trailing side.
        labelledButton,
        // `label` on the leading side, the plain text `content` on the trailing side.
        labelledValue,
        // A button titled `label`.
        button,
        // Small secondary text: a note, or a group's title in the calendar list.
        caption,
        // A calendar's switch: a dot of `color`, then `label` on one line.
        calendarToggle,
        // A line of text in the callout font and the secondary style.
        footnote,
    };

    Kind kind = Kind::caption;
    QString label;
    QString content;
    bool isOn = false;
    bool isEnabled = true;
    bool isDestructive = false;
    QColor color;
    // The calendar of a calendarToggle.
    QString calendarID;
    SettingsAction action = SettingsAction::none;

    bool operator==(const SettingsRow&) const = default;
};

struct SettingsSection {
    QString title;
    std::vector<SettingsRow> rows;

    bool operator==(const SettingsSection&) const = default;
};

// The six sections of the settings form, in order: General, Calendar, Display, Account, Updates, About.
std::vector<SettingsSection> describeSettings(const SettingsState& state);

// Whether switching "Show this computer's calendars" to `newValue` asks for calendar access: only when it was
// switched on while access is still undecided.
bool requestsAccessOnShowSystemCalendarsChange(bool newValue, EventAuthorizationStatus authorization);
