#include "app/ActivationPolicyController.h"
#include "support/FakeWindowSystem.h"
#include "support/QtPrinters.h"
#include "support/VirtualMainQueue.h"

#include <gtest/gtest.h>

namespace {

class ActivationPolicyControllerTest : public ::testing::Test {
protected:
    VirtualMainQueue queue;
    FakeWindowSystem windows;
    ActivationPolicyController controller{queue, windows};
};

TEST_F(ActivationPolicyControllerTest, PromoteNowTurnsRegularOnceAndAlwaysActivates) {
    controller.promoteNow();
    EXPECT_EQ(windows.calls, QStringList({"policy regular", "activate"}));

    windows.calls.clear();
    controller.promoteNow();
    EXPECT_EQ(windows.calls, QStringList({"activate"}));
}

TEST_F(ActivationPolicyControllerTest, PromoteForWindowActsOnTheNextTurnButCancelsAtOnce) {
    windows.policy = ActivationPolicy::regular;
    controller.demoteWhenIdle(true);
    controller.promoteForWindow();
    EXPECT_TRUE(windows.calls.isEmpty());

    queue.runUntilIdle();
    queue.advance(1);
    EXPECT_EQ(windows.calls, QStringList({"activate"}));
    EXPECT_EQ(windows.lookups, 0) << "the pending demotion was cancelled";
}

TEST_F(ActivationPolicyControllerTest, TwoRequestsCloseTogetherGiveOneIdleCheckAfterTheLast) {
    windows.policy = ActivationPolicy::regular;
    controller.demoteWhenIdle(false);
    queue.advance(0.1);
    controller.demoteWhenIdle(false);
    queue.advance(0.19);
    EXPECT_EQ(windows.lookups, 0);
    queue.advance(0.011);
    EXPECT_EQ(windows.lookups, 1);
    EXPECT_EQ(windows.policy, ActivationPolicy::accessory);
    queue.advance(5);
    EXPECT_EQ(windows.lookups, 1);
}

TEST_F(ActivationPolicyControllerTest, ImmediateDemotionRunsOnTheNextTurn) {
    windows.policy = ActivationPolicy::regular;
    controller.demoteWhenIdle(true);
    EXPECT_EQ(windows.policy, ActivationPolicy::regular);
    queue.runUntilIdle();
    EXPECT_EQ(windows.policy, ActivationPolicy::accessory);
}

TEST_F(ActivationPolicyControllerTest, PromotionCancelsPendingDemotion) {
    windows.policy = ActivationPolicy::regular;
    controller.demoteWhenIdle(false);
    queue.advance(0.1);
    controller.promoteNow();
    queue.advance(1);
    EXPECT_EQ(windows.policy, ActivationPolicy::regular);
    EXPECT_EQ(windows.callCount("policy accessory"), 0);
}

TEST_F(ActivationPolicyControllerTest, OnlyVisibleNormalLevelNonPanelWindowsKeepTheProgramRegular) {
    struct Case {
        const char* name;
        int level;
        bool visible;
        bool panel;
        bool keepsRegular;
    };
    const Case cases[] = {
        {"floating", WindowLevel::floating, true, false, false},
        {"status bar", WindowLevel::statusBar, true, false, false},
        {"panel", WindowLevel::normal, true, true, false},
        {"hidden", WindowLevel::normal, false, false, false},
        {"some ordinary window", WindowLevel::normal, true, false, true},
    };
    for (const Case& c : cases) {
        FakeWindowSystem system;
        system.policy = ActivationPolicy::regular;
        WindowDescription window;
        window.className = QStringLiteral("Window");
        window.level = c.level;
        window.visible = c.visible;
        window.panel = c.panel;
        system.addWindow(window);
        ActivationPolicyController policy(queue, system);
        policy.demoteWhenIdle(true);
        queue.runUntilIdle();
        EXPECT_EQ(system.policy == ActivationPolicy::regular, c.keepsRegular) << c.name;
    }
}

TEST_F(ActivationPolicyControllerTest, AWindowIsWatchedOnceUntilItCloses) {
    const WindowId settings = windows.addOrdinaryWindow("settings");
    controller.observeClose(settings);
    controller.observeClose(settings);
    EXPECT_EQ(windows.closeObserverCount(settings), 1);

    windows.close(settings);
    queue.runUntilIdle();
    EXPECT_EQ(windows.closeObserverCount(settings), 0);

    windows.setVisible(settings, true);
    controller.observeClose(settings);
    EXPECT_EQ(windows.closeObserverCount(settings), 1);
}

TEST_F(ActivationPolicyControllerTest, AWindowGoneBeforeItsCloseIsHandledLeavesNoWatchBehind) {
    windows.policy = ActivationPolicy::regular;
    const WindowId settings = windows.addOrdinaryWindow("settings");
    controller.observeClose(settings);
    windows.close(settings);
    windows.removeWindow(settings);
    queue.advance(1);
    EXPECT_EQ(windows.policy, ActivationPolicy::accessory);

    // A new window that comes to have the same identity is watched and demotes on its close.
    WindowDescription reused;
    reused.id = settings;
    reused.visible = true;
    windows.addWindow(reused);
    controller.promoteNow();
    controller.observeClose(settings);
    EXPECT_EQ(windows.closeObserverCount(settings), 1);
    windows.close(settings);
    queue.advance(1);
    EXPECT_EQ(windows.policy, ActivationPolicy::accessory);
}

TEST_F(ActivationPolicyControllerTest, ClosingAWatchedWindowDemotesAfterTheDelayUnlessAnotherIsOpen) {
    windows.policy = ActivationPolicy::regular;
    const WindowId gate = windows.addOrdinaryWindow("gate");
    const WindowId settings = windows.addOrdinaryWindow("settings");
    controller.observeClose(settings);

    windows.close(settings);
    queue.advance(1);
    EXPECT_EQ(windows.policy, ActivationPolicy::regular) << "the gate is still open";

    windows.setVisible(settings, true);
    controller.observeClose(settings);
    windows.close(gate);
    windows.close(settings);
    queue.advance(0.199);
    EXPECT_EQ(windows.policy, ActivationPolicy::regular);
    queue.advance(0.002);
    EXPECT_EQ(windows.policy, ActivationPolicy::accessory);
}

TEST_F(ActivationPolicyControllerTest, ReopeningWithinTheDelayKeepsTheProgramRegularWithoutFlicker) {
    windows.policy = ActivationPolicy::regular;
    const WindowId settings = windows.addOrdinaryWindow("settings");
    controller.observeClose(settings);
    windows.close(settings);
    queue.advance(0.1);

    controller.promoteNow();
    windows.setVisible(settings, true);
    controller.observeClose(settings);
    queue.advance(1);
    EXPECT_EQ(windows.callCount("policy accessory"), 0);
    EXPECT_EQ(windows.callCount("policy regular"), 0);
}

TEST_F(ActivationPolicyControllerTest, NothingRunsAfterTheControllerIsGone) {
    FakeWindowSystem system;
    system.policy = ActivationPolicy::regular;
    const WindowId window = system.addOrdinaryWindow("settings");
    {
        ActivationPolicyController policy(queue, system);
        policy.observeClose(window);
        policy.promoteForWindow();
        policy.demoteWhenIdle(false);
    }
    EXPECT_EQ(system.closeObserverCount(window), 0);
    system.close(window);
    queue.advance(1);
    EXPECT_TRUE(system.calls.isEmpty());
}

} // namespace
