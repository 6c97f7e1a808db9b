#include "views/SettingsViewDescription.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace {

using Kind = SettingsRow::Kind;

const SettingsSection& section(const std::vector<SettingsSection>& sections, const char* title) {
    for (const SettingsSection& s : sections) {
        if (s.title == QString::fromUtf8(title))
            return s;
    }
    throw std::logic_error("no such section");
}

QStringList labels(const SettingsSection& s) {
    QStringList result;
    for (const SettingsRow& row : s.rows)
        result << row.label;
    return result;
}

SettingsState withCalendars() {
    SettingsState state;
    state.authorization = EventAuthorizationStatus::fullAccess;
    state.calendarGroups = {
        {QStringLiteral("g1"),
         QStringLiteral("Local"),
         {{QStringLiteral("c1"), QStringLiteral("Home"), QColor(Qt::red)},
          {QStringLiteral("c2"), QStringLiteral("Work"), QColor(Qt::blue)}}},
        {QStringLiteral("g2"),
         QStringLiteral("Shared"),
         {{QStringLiteral("c3"), QStringLiteral("Team"), {}}}},
    };
    state.excludedCalendarIDs = {QStringLiteral("c2")};
    return state;
}

} // namespace

TEST(SettingsViewDescriptionTest, SixSectionsInOrderWithTheVersionAndTheAboutLine) {
    SettingsState state;
    state.version = QStringLiteral("0.1.0");
    const auto sections = describeSettings(state);
    QStringList titles;
    for (const SettingsSection& s : sections)
        titles << s.title;
    EXPECT_EQ(titles,
              (QStringList{QStringLiteral("General"), QStringLiteral("Calendar"), QStringLiteral("Display"),
                           QStringLiteral("Account"), QStringLiteral("Updates"), QStringLiteral("About")}));
    const SettingsSection& about = section(sections, "About");
    ASSERT_EQ(about.rows.size(), 2u);
    EXPECT_EQ(about.rows[0].kind, Kind::labelledValue);
    EXPECT_EQ(about.rows[0].label, QStringLiteral("Version"));
    EXPECT_EQ(about.rows[0].content, QStringLiteral("0.1.0"));
    EXPECT_EQ(about.rows[1].kind, Kind::footnote);
    EXPECT_EQ(about.rows[1].label, QStringLiteral("Mondrel — a calendar in your system tray."));
}

TEST(SettingsViewDescriptionTest, TheApprovalRowShowsOnlyWhileApprovalIsNeeded) {
    SettingsState state;
    state.launchAtLoginEnabled = true;
    const SettingsSection general = section(describeSettings(state), "General");
    ASSERT_EQ(general.rows.size(), 1u);
    EXPECT_TRUE(general.rows[0].isOn);
    EXPECT_EQ(general.rows[0].action, SettingsAction::setLaunchAtLogin);

    state.launchAtLoginEnabled = false;
    state.launchAtLoginNeedsApproval = true;
    const SettingsSection waiting = section(describeSettings(state), "General");
    ASSERT_EQ(waiting.rows.size(), 2u);
    EXPECT_FALSE(waiting.rows[0].isOn);
    EXPECT_EQ(waiting.rows[1].kind, Kind::labelledButton);
    EXPECT_EQ(waiting.rows[1].label, QStringLiteral("Mondrel is turned off in your autostart folder."));
    EXPECT_EQ(waiting.rows[1].content, QStringLiteral("Open Autostart Folder"));
    EXPECT_EQ(waiting.rows[1].action, SettingsAction::openLoginItems);
}

TEST(SettingsViewDescriptionTest, TheCalendarSectionFollowsTheToggleThenTheAuthorization) {
    const QString allow = QStringLiteral("Allow Access…");
    const QString settings = QStringLiteral("Show Calendar Folder");
    const struct {
        EventAuthorizationStatus authorization;
        QString button;
        SettingsAction action;
    } cases[] = {
        {EventAuthorizationStatus::notDetermined, allow, SettingsAction::requestCalendarAccess},
        {EventAuthorizationStatus::writeOnly, allow, SettingsAction::requestCalendarAccess},
        {EventAuthorizationStatus::restricted, settings, SettingsAction::openCalendarPrivacy},
        {EventAuthorizationStatus::denied, settings, SettingsAction::openCalendarPrivacy},
    };
    for (const auto& c : cases) {
        SettingsState state = withCalendars();
        state.authorization = c.authorization;
        const SettingsSection shown = section(describeSettings(state), "Calendar");
        ASSERT_EQ(shown.rows.size(), 2u) << int(c.authorization);
        EXPECT_EQ(shown.rows[1].kind, Kind::labelledButton);
        EXPECT_EQ(shown.rows[1].content, c.button);
        EXPECT_EQ(shown.rows[1].action, c.action);

        state.showSystemCalendars = false;
        const SettingsSection hidden = section(describeSettings(state), "Calendar");
        ASSERT_EQ(hidden.rows.size(), 1u) << int(c.authorization);
        EXPECT_EQ(hidden.rows[0].label, QStringLiteral("Show this computer's calendars"));
        EXPECT_FALSE(hidden.rows[0].isOn);
    }
    SettingsState full = withCalendars();
    full.showSystemCalendars = false;
    EXPECT_EQ(section(describeSettings(full), "Calendar").rows.size(), 1u);
}

TEST(SettingsViewDescriptionTest, FullAccessListsTheGroupsWithEachCalendarsDotAndInclusion) {
    const SettingsSection calendar = section(describeSettings(withCalendars()), "Calendar");
    EXPECT_EQ(labels(calendar),
              (QStringList{QStringLiteral("Show this computer's calendars"), QStringLiteral("Local"),
                           QStringLiteral("Home"), QStringLiteral("Work"), QStringLiteral("Shared"),
                           QStringLiteral("Team")}));
    EXPECT_EQ(calendar.rows[1].kind, Kind::caption);
    const SettingsRow& home = calendar.rows[2];
    EXPECT_EQ(home.kind, Kind::calendarToggle);
    EXPECT_EQ(home.calendarID, QStringLiteral("c1"));
    EXPECT_EQ(home.color, QColor(Qt::red));
    EXPECT_TRUE(home.isOn);
    EXPECT_FALSE(calendar.rows[3].isOn);
    EXPECT_EQ(calendar.rows[3].action, SettingsAction::setCalendarIncluded);

    SettingsState empty = withCalendars();
    empty.calendarGroups.clear();
    empty.calendarFolder = QStringLiteral("/home/ada/.local/share/mondrel/calendars");
    const SettingsSection none = section(describeSettings(empty), "Calendar");
    ASSERT_EQ(none.rows.size(), 2u);
    EXPECT_EQ(none.rows[1].kind, Kind::caption);
    EXPECT_EQ(none.rows[1].label,
              QStringLiteral("No calendars found in /home/ada/.local/share/mondrel/calendars yet. Calendars "
                             "that a sync tool such as vdirsyncer writes there appear here."));
}

TEST(SettingsViewDescriptionTest, OnlySwitchingOnWhileUndecidedAsksForAccess) {
    EXPECT_TRUE(requestsAccessOnShowSystemCalendarsChange(true, EventAuthorizationStatus::notDetermined));
    EXPECT_FALSE(requestsAccessOnShowSystemCalendarsChange(false, EventAuthorizationStatus::notDetermined));
    for (auto status : {EventAuthorizationStatus::restricted, EventAuthorizationStatus::denied,
                        EventAuthorizationStatus::fullAccess, EventAuthorizationStatus::writeOnly})
        EXPECT_FALSE(requestsAccessOnShowSystemCalendarsChange(true, status)) << int(status);
}

TEST(SettingsViewDescriptionTest, TheAccountRowsFollowTheSessionAndTheSignedInFlagSeparately) {
    SettingsState state;
    state.isSignedIn = true;
    state.signedInEmail = QStringLiteral("ada@example.com");
    const SettingsSection signedIn = section(describeSettings(state), "Account");
    ASSERT_EQ(signedIn.rows.size(), 2u);
    EXPECT_EQ(signedIn.rows[0].label, QStringLiteral("Signed in as"));
    EXPECT_EQ(signedIn.rows[0].content, QStringLiteral("ada@example.com"));
    EXPECT_TRUE(signedIn.rows[1].isEnabled);
    EXPECT_TRUE(signedIn.rows[1].isDestructive);

    // Signed in, but the stored session cannot be read.
    state.signedInEmail.reset();
    const SettingsSection unreadable = section(describeSettings(state), "Account");
    ASSERT_EQ(unreadable.rows.size(), 1u);
    EXPECT_EQ(unreadable.rows[0].label, QStringLiteral("Sign Out"));
    EXPECT_TRUE(unreadable.rows[0].isEnabled);

    state.isSignedIn = false;
    const SettingsSection signedOut = section(describeSettings(state), "Account");
    ASSERT_EQ(signedOut.rows.size(), 1u);
    EXPECT_FALSE(signedOut.rows[0].isEnabled);
}

TEST(SettingsViewDescriptionTest, CheckForUpdatesIsEnabledOnlyWhileTheUpdaterCanCheck) {
    SettingsState state;
    state.betaUpdates = true;
    const SettingsSection cannot = section(describeSettings(state), "Updates");
    EXPECT_EQ(cannot.rows[0].label, QStringLiteral("Check for Updates…"));
    EXPECT_FALSE(cannot.rows[0].isEnabled);
    EXPECT_TRUE(cannot.rows[1].isOn);
    state.canCheckForUpdates = true;
    EXPECT_TRUE(section(describeSettings(state), "Updates").rows[0].isEnabled);
}
