#include "views/SettingsViewDescription.h"

#include "utilities/Localization.h"

#include <QDir>

namespace {

using Kind = SettingsRow::Kind;

SettingsRow toggle(const QString& label, bool isOn, SettingsAction action) {
    SettingsRow row;
    row.kind = Kind::toggle;
    row.label = label;
    row.isOn = isOn;
    row.action = action;
    return row;
}

SettingsRow labelledButton(const QString& label, const QString& button, SettingsAction action) {
    SettingsRow row;
    row.kind = Kind::labelledButton;
    row.label = label;
    row.content = button;
    row.action = action;
    return row;
}

SettingsRow labelledValue(const QString& label, const QString& value) {
    SettingsRow row;
    row.kind = Kind::labelledValue;
    row.label = label;
    row.content = value;
    return row;
}

SettingsRow caption(const QString& text) {
    SettingsRow row;
    row.kind = Kind::caption;
    row.label = text;
    return row;
}

SettingsSection general(const SettingsState& state) {
    SettingsSection section{localized("General"), {}};
    section.rows.push_back(
        toggle(localized("Launch at Login"), state.launchAtLoginEnabled, SettingsAction::setLaunchAtLogin));
    if (state.launchAtLoginNeedsApproval)
        section.rows.push_back(labelledButton(localized("Mondrel is turned off in your autostart folder."),
                                              localized("Open Autostart Folder"),
                                              SettingsAction::openLoginItems));
    return section;
}

void appendCalendarList(const SettingsState& state, std::vector<SettingsRow>& rows) {
    if (state.calendarGroups.isEmpty()) {
        rows.push_back(caption(localized("No calendars found in %1 yet. Calendars that a sync tool such as "
                                         "vdirsyncer writes there appear here.")
                                   .arg(QDir::toNativeSeparators(state.calendarFolder))));
        return;
    }
    for (const CalendarEventsService::CalendarGroup& group : state.calendarGroups) {
        rows.push_back(caption(group.title));
        for (const CalendarEventsService::CalendarInfo& calendar : group.calendars) {
            SettingsRow row = toggle(calendar.title, !state.excludedCalendarIDs.contains(calendar.id),
                                     SettingsAction::setCalendarIncluded);
            row.kind = Kind::calendarToggle;
            row.color = calendar.color;
            row.calendarID = calendar.id;
            rows.push_back(std::move(row));
        }
    }
}

SettingsSection calendar(const SettingsState& state) {
    SettingsSection section{localized("Calendar"), {}};
    section.rows.push_back(toggle(localized("Show this computer's calendars"), state.showSystemCalendars,
                                  SettingsAction::setShowSystemCalendars));
    if (!state.showSystemCalendars)
        return section;
    switch (state.authorization) {
    case EventAuthorizationStatus::restricted:
    case EventAuthorizationStatus::denied:
        section.rows.push_back(labelledButton(localized("Calendar access is off for Mondrel."),
                                              localized("Show Calendar Folder"),
                                              SettingsAction::openCalendarPrivacy));
        break;
    case EventAuthorizationStatus::fullAccess:
        appendCalendarList(state, section.rows);
        break;
    default:
        section.rows.push_back(labelledButton(localized("Allow calendar access to see your events."),
                                              localized("Allow Access…"),
                                              SettingsAction::requestCalendarAccess));
        break;
    }
    return section;
}

SettingsSection display(const SettingsState& state) {
    return {
        localized("Display"),
        {toggle(localized("Show week numbers"), state.showWeekNumbers, SettingsAction::setShowWeekNumbers),
         toggle(localized("Start week on Monday"), state.startOnMonday, SettingsAction::setStartOnMonday)}};
}

SettingsSection account(const SettingsState& state) {
    SettingsSection section{localized("Account"), {}};
    if (state.signedInEmail)
        section.rows.push_back(labelledValue(localized("Signed in as"), *state.signedInEmail));
    SettingsRow signOut;
    signOut.kind = Kind::button;
    signOut.label = localized("Sign Out");
    signOut.isDestructive = true;
    signOut.isEnabled = state.isSignedIn;
    signOut.action = SettingsAction::signOut;
    section.rows.push_back(std::move(signOut));
    return section;
}

SettingsSection updates(const SettingsState& state) {
    SettingsRow check;
    check.kind = Kind::button;
    check.label = localized("Check for Updates…");
    check.isEnabled = state.canCheckForUpdates;
    check.action = SettingsAction::checkForUpdates;
    return {localized("Updates"),
            {check, toggle(localized("Get early-access updates"), state.betaUpdates,
                           SettingsAction::setBetaUpdates)}};
}

SettingsSection about(const SettingsState& state) {
    SettingsRow line;
    line.kind = Kind::footnote;
    line.label = localized("Mondrel — a calendar in your system tray.");
    return {localized("About"), {labelledValue(localized("Version"), state.version), line}};
}

} // namespace

std::vector<SettingsSection> describeSettings(const SettingsState& state) {
    return {general(state), calendar(state), display(state), account(state), updates(state), about(state)};
}

bool requestsAccessOnShowSystemCalendarsChange(bool newValue, EventAuthorizationStatus authorization) {
    return newValue && authorization == EventAuthorizationStatus::notDetermined;
}
