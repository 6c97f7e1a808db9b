#include "views/SettingsView.h"
#include "support/QtPrinters.h"
#include "support/ServicesFixture.h"
#include "utilities/CurrentCalendar.h"
#include "views/CalendarView.h"
#include "views/DayEventsSection.h"

#include <QSignalSpy>

namespace {

const SettingsSection& section(const std::vector<SettingsSection>& sections, const char* title) {
    for (const SettingsSection& s : sections) {
        if (s.title == QString::fromUtf8(title))
            return s;
    }
    throw std::logic_error("no such section");
}

class SettingsViewTest : public ServicesFixture {
protected:
    SettingsView& view() {
        if (!view_)
            view_ = std::make_unique<SettingsView>(services().environment(), defaults, windows, workspace,
                                                   dir.filePath(QStringLiteral("data/calendars")));
        return *view_;
    }

    std::unique_ptr<SettingsView> view_;
};

} // namespace

TEST_F(SettingsViewTest, SwitchingSystemCalendarsOnAsksForAccessOnlyWhileUndecided) {
    eventStore->status = EventAuthorizationStatus::notDetermined;
    defaults.setBool(DayEventsSection::kShowSystemCalendarsKey, false);
    view().shown();
    view().perform(SettingsAction::setShowSystemCalendars, true);
    queue.runUntilIdle();
    EXPECT_EQ(eventStore->accessRequests, 1);
    EXPECT_EQ(defaults.boolValue(DayEventsSection::kShowSystemCalendarsKey), true);
    EXPECT_EQ(services().events().authorization(), EventAuthorizationStatus::fullAccess);

    // Decided now: switching off and on again asks nothing.
    view().perform(SettingsAction::setShowSystemCalendars, false);
    view().perform(SettingsAction::setShowSystemCalendars, true);
    queue.runUntilIdle();
    EXPECT_EQ(eventStore->accessRequests, 1);
}

TEST_F(SettingsViewTest, OpeningTheFormWithTheSwitchAlreadyOnAsksNothing) {
    eventStore->status = EventAuthorizationStatus::notDetermined;
    view().shown();
    queue.runUntilIdle();
    EXPECT_EQ(eventStore->accessRequests, 0);
    EXPECT_EQ(section(view().description(), "Calendar").rows[1].action,
              SettingsAction::requestCalendarAccess);
}

TEST_F(SettingsViewTest, SwitchingOnWithAccessDeniedAsksNothingAndTheButtonShowsTheFolder) {
    eventStore->status = EventAuthorizationStatus::denied;
    defaults.setBool(DayEventsSection::kShowSystemCalendarsKey, false);
    view().perform(SettingsAction::setShowSystemCalendars, true);
    queue.runUntilIdle();
    EXPECT_EQ(eventStore->accessRequests, 0);
    EXPECT_EQ(section(view().description(), "Calendar").rows[1].action, SettingsAction::openCalendarPrivacy);

    // The empty-calendars text names the folder the calendars are read from.
    EXPECT_EQ(view().state().calendarFolder, dir.filePath(QStringLiteral("data/calendars")));

    view().perform(SettingsAction::openCalendarPrivacy);
    ASSERT_EQ(workspace.opened.size(), 1);
    EXPECT_EQ(workspace.opened[0], QUrl::fromLocalFile(dir.filePath(QStringLiteral("data"))));
}

TEST_F(SettingsViewTest, TurningACalendarOffAndOnLeavesAnEmptyExcludedList) {
    view().perform(SettingsAction::setCalendarIncluded, false, QStringLiteral("c2"));
    queue.runUntilIdle();
    const SettingsSection calendar = section(view().description(), "Calendar");
    ASSERT_EQ(calendar.rows.size(), 4u);
    EXPECT_TRUE(calendar.rows[2].isOn);
    EXPECT_FALSE(calendar.rows[3].isOn);

    view().perform(SettingsAction::setCalendarIncluded, true, QStringLiteral("c2"));
    queue.runUntilIdle();
    EXPECT_EQ(defaults.stringArray(CalendarEventsService::kExcludedCalendarIDsKey), QStringList());
    EXPECT_TRUE(section(view().description(), "Calendar").rows[3].isOn);
}

TEST_F(SettingsViewTest, TheLoginItemIsReadAgainWhenShownAndOnEveryActivation) {
    view();
    loginItems.statusValue = LoginItemStatus::requiresApproval;
    EXPECT_FALSE(services().launchAtLogin().needsApproval());
    view().shown();
    EXPECT_TRUE(services().launchAtLogin().needsApproval());
    EXPECT_EQ(section(view().description(), "General").rows.size(), 2u);

    QSignalSpy changed(&view(), &SettingsView::changed);
    loginItems.statusValue = LoginItemStatus::enabled;
    windows.becomeActive();
    EXPECT_TRUE(services().launchAtLogin().isEnabled());
    EXPECT_GE(changed.size(), 1);

    // Gone with the form.
    view_.reset();
    loginItems.statusValue = LoginItemStatus::notRegistered;
    windows.becomeActive();
    EXPECT_TRUE(services().launchAtLogin().isEnabled());
}

TEST_F(SettingsViewTest, TogglesWriteTheirKeysAndButtonsReachTheirServices) {
    QSignalSpy changed(&view(), &SettingsView::changed);
    view().perform(SettingsAction::setShowWeekNumbers, true);
    view().perform(SettingsAction::setStartOnMonday, true);
    view().perform(SettingsAction::setBetaUpdates, true);
    EXPECT_EQ(defaults.boolValue(CalendarView::kShowWeekNumbersKey), true);
    EXPECT_EQ(defaults.boolValue(CalendarView::kStartOnMondayKey), true);
    EXPECT_EQ(defaults.boolValue(UpdaterService::kBetaEnabledKey), true);
    EXPECT_EQ(changed.size(), 3);

    view().perform(SettingsAction::setLaunchAtLogin, true);
    view().perform(SettingsAction::openLoginItems);
    EXPECT_EQ(loginItems.calls, (QStringList{QStringLiteral("register"), QStringLiteral("openSettings")}));
    EXPECT_TRUE(section(view().description(), "General").rows[0].isOn);
}

TEST_F(SettingsViewTest, StartOnMondayFollowsTheCalendarUntilTheUserChooses) {
    {
        ScopedCalendarPin pin(QStringLiteral("en_US"), QStringLiteral("America/New_York"));
        EXPECT_FALSE(view().state().startOnMonday);
    }
    {
        ScopedCalendarPin pin(QStringLiteral("de_DE"), QStringLiteral("Europe/Berlin"));
        EXPECT_TRUE(view().state().startOnMonday);
        defaults.setBool(CalendarView::kStartOnMondayKey, false);
        EXPECT_FALSE(view().state().startOnMonday);
    }
}

TEST_F(SettingsViewTest, SigningOutDisablesSignOutAndDropsTheSignedInRow) {
    signIn();
    const SettingsSection signedIn = section(view().description(), "Account");
    ASSERT_EQ(signedIn.rows.size(), 2u);
    EXPECT_EQ(signedIn.rows[0].content, QStringLiteral("ada@example.org"));

    QSignalSpy changed(&view(), &SettingsView::changed);
    view().perform(SettingsAction::signOut);
    queue.runUntilIdle();
    EXPECT_FALSE(services().account().isSignedIn());
    EXPECT_GE(changed.size(), 1);
    const SettingsSection signedOut = section(view().description(), "Account");
    ASSERT_EQ(signedOut.rows.size(), 1u);
    EXPECT_FALSE(signedOut.rows[0].isEnabled);
}

TEST_F(SettingsViewTest, NoUpdateFrameworkConfiguredMeansNoCheck) {
    const SettingsSection updates = section(view().description(), "Updates");
    EXPECT_FALSE(updates.rows[0].isEnabled);
    EXPECT_EQ(section(view().description(), "About").rows[0].content, Constants::version());
}
