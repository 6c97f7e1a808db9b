#include "LaunchFixture.h"

#include "app/NotificationCenter.h"
#include "utilities/Constants.h"

namespace {

using AppDelegateLaunchTest = LaunchFixture;

} // namespace

TEST_F(AppDelegateLaunchTest, RunsTheStartUpStepsInOrderAndTheLaunchTaskAfterThem) {
    bundlePath = QStringLiteral("/private/var/folders/AppTranslocation/X/Mondrel");
    make().applicationDidFinishLaunching();
    EXPECT_EQ(windows.calls, QStringList({"claim", "policy accessory", "defaults NSDisabledDictationMenuItem",
                                          "defaults NSDisabledCharacterPaletteMenuItem", "status monitor",
                                          "defaults mondrel.appTranslocationWarningShown"}));
    EXPECT_EQ(AppDelegate::shared(), delegate.get());

    windows.calls.clear();
    queue.runUntilIdle();
    EXPECT_EQ(windows.calls.mid(0, 5),
              QStringList({"gate 1", "policy regular", "activate", "key 1", "front 1"}))
        << "signed out: the launch task opens the gate";

    int opened = 0;
    SettingsPresenter::setOpenAction([&] { ++opened; });
    NotificationCenter::defaultCenter().post(AppDelegate::kOpenSettingsNotification);
    EXPECT_EQ(opened, 1);
    delegate.reset();
    NotificationCenter::defaultCenter().post(AppDelegate::kOpenSettingsNotification);
    EXPECT_EQ(opened, 1) << "the observer goes with the delegate";
}

TEST_F(AppDelegateLaunchTest, SelfTestLogsTheVersionTurnsAccessoryAndTerminatesOnTheNextTurn) {
    AppDelegate::setSharedAccount(nullptr);
    AppDelegate::setSharedBridge(nullptr);
    AppDelegate& app = make({"mondrel", "-v", "--selftest"});
    ASSERT_TRUE(app.isSelfTest());
    app.applicationDidFinishLaunching();
    EXPECT_EQ(log.messages("lifecycle"),
              QStringList{QStringLiteral("selftest ok \u2014 Mondrel ") + Constants::version()});
    EXPECT_EQ(windows.calls, QStringList{"policy accessory"});
    queue.runUntilIdle();
    EXPECT_EQ(windows.calls, QStringList({"policy accessory", "terminate"}));
    EXPECT_EQ(singleInstance.claims, 0);
    EXPECT_TRUE(app.applicationShouldTerminateAfterLastWindowClosed());
    EXPECT_TRUE(app.applicationShouldHandleReopen(false));
    app.showGate();
    queue.advance(5);
    EXPECT_EQ(gatesMade(), 0);
    EXPECT_TRUE(alerts.shown.empty());
}

TEST_F(AppDelegateLaunchTest, SelfTestIsOneWholeArgumentInAnyPosition) {
    EXPECT_TRUE(AppDelegate::isSelfTestArguments({"mondrel", "mondrel://x", "--selftest"}));
    EXPECT_FALSE(AppDelegate::isSelfTestArguments({"mondrel", "--selftest=1"}));
    EXPECT_FALSE(AppDelegate::isSelfTestArguments({"mondrel", "--SelfTest"}));
    EXPECT_FALSE(AppDelegate::isSelfTestArguments({"mondrel", "--selftests"}));
    EXPECT_FALSE(make().applicationShouldTerminateAfterLastWindowClosed());
}

TEST_F(AppDelegateLaunchTest, ASecondInstanceHandsOverItsURLsAndExitsBeforeInstallingAnything) {
    singleInstance.role = SingleInstance::Role::secondary;
    launch({"mondrel", "--verbose", "mondrel://auth/callback?code=1", "notes.txt", "mondrel://calendar"});
    EXPECT_EQ(singleInstance.claimedWith,
              QStringList({"mondrel://auth/callback?code=1", "mondrel://calendar"}));
    EXPECT_EQ(windows.calls, QStringList({"claim", "exit 0"}));
    EXPECT_TRUE(log.entries.empty());

    singleInstance.role = SingleInstance::Role::undelivered;
    windows.calls.clear();
    launch({"mondrel", "mondrel://auth/callback?code=2"});
    EXPECT_EQ(windows.calls, QStringList({"claim", "exit 1"})) << "a link the running instance refused";
}

// The composition root settles the claim before it builds the services; the launch does not claim again.
TEST_F(AppDelegateLaunchTest, AClaimSettledBeforeTheLaunchIsMadeOnce) {
    AppDelegate& app = make({"mondrel", "mondrel://calendar"});
    ASSERT_TRUE(app.claimSingleInstance());
    app.applicationDidFinishLaunching();
    EXPECT_EQ(singleInstance.claims, 1);
    EXPECT_EQ(singleInstance.claimedWith, QStringList{"mondrel://calendar"});
}

TEST_F(AppDelegateLaunchTest, TheRunningInstanceRoutesHandedURLsAndTreatsABareLaunchAsReopen) {
    launch();
    ASSERT_TRUE(singleInstance.handlers.openURLs && singleInstance.handlers.reopen);
    singleInstance.handlers.openURLs({"mondrel://calendar", "mondrel:today"});
    EXPECT_EQ(log.messages("auth"),
              QStringList({"auth_callback_unmatched host=calendar", "auth_callback_unmatched host=nil"}));

    windows.close(*delegate->gateWindow());
    queue.runUntilIdle();
    singleInstance.handlers.reopen();
    EXPECT_EQ(gatesMade(), 2);
}

TEST_F(AppDelegateLaunchTest, URLsOfItsOwnCommandLineAreRoutedOnceLaunched) {
    launch({"mondrel", "mondrel://Calendar"});
    EXPECT_EQ(log.messages("auth"), QStringList{"auth_callback_unmatched host=Calendar"});
}

TEST_F(AppDelegateLaunchTest, AStoredSessionIsRestoredAndNoWindowOpens) {
    storeSession();
    launch();
    EXPECT_EQ(account.route(), AccountModel::Route::calendar);
    EXPECT_TRUE(account.isSignedIn());
    EXPECT_EQ(gatesMade(), 0);
    EXPECT_EQ(windows.policy, ActivationPolicy::accessory);
}

TEST_F(AppDelegateLaunchTest, AFailingRestoreStillRefreshesAndOpensTheGate) {
    storeSession(-1);
    launch();
    EXPECT_EQ(account.route(), AccountModel::Route::signIn);
    EXPECT_EQ(gatesMade(), 1);
    EXPECT_TRUE(secrets.contains(StoredSession::keychainItem())) << "an expired session is kept";
}

TEST_F(AppDelegateLaunchTest, AKeyringWaitingForItsUnlockHoldsTheGateBackAndADismissalKeepsTheSession) {
    storeSession();
    secrets.holdCalls = true;
    launch();
    EXPECT_EQ(gatesMade(), 0) << "nothing is decided while the unlock prompt is open";
    EXPECT_FALSE(account.isSignedIn());

    secrets.available = false;
    secrets.failureReason = SecretStore::kLocked;
    secrets.answerHeldCalls();
    queue.runUntilIdle();
    EXPECT_EQ(gatesMade(), 1);
    EXPECT_TRUE(secrets.contains(StoredSession::keychainItem()));
    EXPECT_EQ(secrets.removeCount + secrets.updateCount + secrets.addCount, 0);
    EXPECT_EQ(log.messages("account"),
              QStringList{"session_restore_failed reason=keychain_unavailable keychain=locked"});
}

TEST_F(AppDelegateLaunchTest, ForegroundRefreshRunsAtMostOnceEvery45Seconds) {
    storeSession(24 * 3600);
    launch();
    const int readsAfterLaunch = secrets.readCount;
    windows.becomeActive();
    EXPECT_EQ(secrets.readCount, readsAfterLaunch + 1) << "the first activation refreshes";
    queue.advance(44);
    windows.becomeActive();
    EXPECT_EQ(secrets.readCount, readsAfterLaunch + 1);
    queue.advance(1);
    windows.becomeActive();
    EXPECT_EQ(secrets.readCount, readsAfterLaunch + 2) << "45 s after the last refresh started";

    queue.setWallClock(queue.now().addingSeconds(-3600));
    windows.becomeActive();
    EXPECT_EQ(secrets.readCount, readsAfterLaunch + 3) << "a clock set back does not hold refreshes off";
}

TEST_F(AppDelegateLaunchTest, ReopenWhileSignedInOpensThePopoverAfterADelaySilently) {
    storeSession();
    launch();
    windows.calls.clear();
    windows.popoverOpens = false;
    EXPECT_FALSE(delegate->applicationShouldHandleReopen(true));
    queue.advance(0.34);
    EXPECT_FALSE(windows.calls.contains("open popover"));
    queue.advance(0.01);
    EXPECT_EQ(windows.calls, QStringList{"open popover"});
    EXPECT_TRUE(log.messages("statusItem").isEmpty());
}

TEST_F(AppDelegateLaunchTest, ReopenWhileSignedOutFrontsTheGateOrMakesANewOne) {
    launch();
    const WindowId gate = *delegate->gateWindow();
    windows.calls.clear();
    EXPECT_FALSE(delegate->applicationShouldHandleReopen(false));
    EXPECT_EQ(gatesMade(), 0) << "the gate behind other windows is brought forward, not made again";
    EXPECT_TRUE(windows.calls.contains(QStringLiteral("key %1").arg(gate)));
    EXPECT_EQ(windows.policy, ActivationPolicy::regular);

    windows.close(gate);
    queue.runUntilIdle();
    EXPECT_FALSE(delegate->applicationShouldHandleReopen(false));
    EXPECT_EQ(gatesMade(), 1) << "a closed gate is made anew";
    EXPECT_NE(*delegate->gateWindow(), gate);
}

TEST_F(AppDelegateLaunchTest, TheMoveAlertShowsOnceAfterADelayAndRevealsTheProgram) {
    bundlePath = QStringLiteral("/private/var/folders/AppTranslocation/ABC/d/Mondrel");
    storeSession();
    launch();
    EXPECT_TRUE(alerts.shown.empty());
    queue.advance(0.6);
    ASSERT_EQ(alerts.shown.size(), 1u);
    const Alert& alert = alerts.shown.front();
    EXPECT_EQ(alert.messageText, "Move Mondrel to ~/.local/bin");
    EXPECT_EQ(alert.informativeText,
              "To enable automatic updates, please move Mondrel to ~/.local/bin, then relaunch.");
    EXPECT_EQ(alert.style, Alert::Style::warning);
    EXPECT_EQ(alert.buttons, QStringList({"Show in File Manager", "Later"}));
    EXPECT_EQ(workspace.revealed, QStringList{bundlePath});
    EXPECT_EQ(windows.policy, ActivationPolicy::regular);
    queue.advance(0.2);
    EXPECT_EQ(windows.policy, ActivationPolicy::accessory) << "handed back to the controller";

    delegate.reset();
    alerts.choice = 1;
    launch();
    queue.advance(1);
    EXPECT_EQ(alerts.shown.size(), 1u) << "never twice for the same defaults";
}

TEST_F(AppDelegateLaunchTest, LaterRevealsNothingAndAnOrdinaryPathShowsNoAlert) {
    bundlePath = QStringLiteral("/tmp/AppTranslocation/Mondrel");
    alerts.choice = 1;
    launch();
    queue.advance(1);
    EXPECT_EQ(alerts.shown.size(), 1u);
    EXPECT_TRUE(workspace.revealed.isEmpty());

    QTemporaryDir other;
    UserDefaults fresh(other.filePath(QStringLiteral("defaults.json")));
    AppDelegate::Environment environment{queue, windows, fresh};
    environment.alerts = &alerts;
    environment.bundlePath = QStringLiteral("/opt/apptranslocation/Mondrel");
    AppDelegate(environment).checkAppTranslocation();
    queue.advance(1);
    EXPECT_EQ(alerts.shown.size(), 1u) << "the match is case-sensitive";
    EXPECT_FALSE(fresh.contains(AppDelegate::kTranslocationWarningShownKey));
}
