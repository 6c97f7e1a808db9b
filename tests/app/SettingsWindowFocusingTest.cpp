#include "AppFixture.h"
#include "support/QtPrinters.h"

namespace {

class SettingsWindowFocusingTest : public AppFixture {
protected:
    WindowId addWindow(const QString& className, const QString& identifier, int level, bool visible,
                       bool panel = false) {
        WindowDescription window;
        window.className = className;
        if (!identifier.isEmpty())
            window.identifier = identifier;
        window.level = level;
        window.visible = visible;
        window.panel = panel;
        return windows.addWindow(window);
    }
};

TEST_F(SettingsWindowFocusingTest, LookupPrefersASettingsIdentifierAmongOrdinaryWindowsOnly) {
    const WindowId gate = windows.addOrdinaryWindow("gate-settings-window");
    delegate.setGateWindow(gate);
    addWindow("Panel", "settings-panel", WindowLevel::normal, true, true);
    addWindow("Floating", "settings-floating", WindowLevel::floating, true);
    addWindow("Hidden", "settings-hidden", WindowLevel::normal, false);
    const WindowId plain = windows.addOrdinaryWindow("about");
    const WindowId settings = windows.addOrdinaryWindow("Mondrel-SETTINGS-window");

    ASSERT_TRUE(delegate.settingsWindow());
    EXPECT_EQ(delegate.settingsWindow()->id, settings);

    windows.removeWindow(settings);
    ASSERT_TRUE(delegate.settingsWindow()) << "the first ordinary window stands in";
    EXPECT_EQ(delegate.settingsWindow()->id, plain);

    windows.removeWindow(plain);
    EXPECT_FALSE(delegate.settingsWindow()) << "never the gate, a panel, a raised or a hidden window";
}

TEST_F(SettingsWindowFocusingTest, AWindowShowingUpOnTheFifthLookupIsFrontedOnce) {
    windows.policy = ActivationPolicy::regular;
    WindowId settings = 0;
    windows.beforeLookup = [&](int lookup) {
        if (lookup == 5)
            settings = windows.addOrdinaryWindow("settings");
    };
    delegate.focusSettingsWindow(0);
    queue.advance(0.2 - 0.001);
    EXPECT_EQ(windows.lookups, 4);
    queue.advance(0.002);
    EXPECT_EQ(windows.lookups, 5);
    EXPECT_EQ(
        windows.calls.mid(windows.calls.size() - 2),
        QStringList({QStringLiteral("key %1").arg(settings), QStringLiteral("front %1").arg(settings)}));
    EXPECT_EQ(log.messages("settings"), QStringList({"settings_window_front policy=regular"}));
    EXPECT_EQ(windows.closeObserverCount(settings), 1);

    queue.advance(5);
    EXPECT_EQ(windows.lookups, 5);
    EXPECT_EQ(windows.callCount(QStringLiteral("key %1").arg(settings)), 1);
}

TEST_F(SettingsWindowFocusingTest, ThePolicyWordIsAccessoryWhenNotRegular) {
    windows.policy = ActivationPolicy::accessory;
    windows.addOrdinaryWindow("settings");
    delegate.focusSettingsWindow(0);
    EXPECT_EQ(log.messages("settings"), QStringList({"settings_window_front policy=accessory"}));
}

TEST_F(SettingsWindowFocusingTest, GivesUpAfterTwentyOneLookupsDescribingEveryWindow) {
    windows.policy = ActivationPolicy::regular;
    const WindowId gate = addWindow("NSWindow", "gate", WindowLevel::normal, true);
    delegate.setGateWindow(gate);
    addWindow("PopoverPanel", "", WindowLevel::popUpMenu, true, true);
    addWindow("SettingsWindow", "settings", WindowLevel::normal, false);

    delegate.focusSettingsWindow(0);
    queue.advance(20 * 0.05 - 0.001);
    EXPECT_EQ(windows.lookups, 20);
    EXPECT_TRUE(log.messages("settings").isEmpty());
    queue.advance(0.002);
    EXPECT_EQ(windows.lookups, 21);
    ASSERT_EQ(log.entries.size(), 1u);
    EXPECT_EQ(log.entries[0].type, LogType::error);
    EXPECT_EQ(log.entries[0].message,
              "settings_window_never_opened windows=[NSWindow/id=gate/lvl=0/vis=true,"
              "PopoverPanel/id=-/lvl=101/vis=true,SettingsWindow/id=settings/lvl=0/vis=false]");

    // The gate is still open: the demotion that follows finds it and leaves the program regular.
    queue.advance(5);
    EXPECT_EQ(windows.lookups, 22);
    EXPECT_EQ(windows.policy, ActivationPolicy::regular);
}

TEST_F(SettingsWindowFocusingTest, WithNoWindowsTheLineListsNoneAndTheProgramTurnsAccessory) {
    windows.policy = ActivationPolicy::regular;
    delegate.focusSettingsWindow(0);
    queue.advance(1.01);
    EXPECT_EQ(log.messages("settings"), QStringList({"settings_window_never_opened windows=[]"}));
    queue.advance(0.2);
    EXPECT_EQ(windows.policy, ActivationPolicy::accessory);
}

TEST_F(SettingsWindowFocusingTest, TwoRequestsRunTwoIndependentChains) {
    delegate.focusSettingsWindow(0);
    delegate.focusSettingsWindow(0);
    queue.advance(1.01);
    EXPECT_EQ(windows.lookups, 42);
    EXPECT_EQ(log.messages("settings").size(), 2);
}

TEST_F(SettingsWindowFocusingTest, AChainEndsWithItsDelegate) {
    auto* other = new AppDelegate(queue, windows, defaults);
    other->focusSettingsWindow(0);
    delete other;
    queue.advance(2);
    EXPECT_EQ(windows.lookups, 1);
}

} // namespace
