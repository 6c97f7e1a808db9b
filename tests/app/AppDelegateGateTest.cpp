#include "LaunchFixture.h"

namespace {

class AppDelegateGateTest : public LaunchFixture {
protected:
    AppDelegateGateTest() { make(); }

    QStringList titles(const Menu& menu) const {
        QStringList result;
        for (const Menu::ItemPtr& item : menu.items())
            result << item->title + QLatin1Char('|') + item->action + QLatin1Char('|') + item->keyEquivalent;
        return result;
    }
};

} // namespace

TEST_F(AppDelegateGateTest, ShowingTheGateTwiceMakesOneWindowAndFrontsItAgain) {
    delegate->showGate();
    ASSERT_TRUE(delegate->gateWindow());
    const WindowId gate = *delegate->gateWindow();
    EXPECT_EQ(windows.calls,
              QStringList({QStringLiteral("gate %1").arg(gate), "policy regular", "activate",
                           QStringLiteral("key %1").arg(gate), QStringLiteral("front %1").arg(gate)}));
    windows.calls.clear();
    windows.policy = ActivationPolicy::accessory;
    delegate->showGate();
    EXPECT_EQ(windows.calls, QStringList({"policy regular", "activate", QStringLiteral("key %1").arg(gate),
                                          QStringLiteral("front %1").arg(gate)}));
    EXPECT_EQ(windows.closeObserverCount(gate), 1);
}

TEST_F(AppDelegateGateTest, WithoutTheAccountServicesOrAFactoryNoGateIsMade) {
    AppDelegate::setSharedBridge(nullptr);
    delegate->showGate();
    EXPECT_FALSE(delegate->gateWindow());
    EXPECT_TRUE(windows.calls.isEmpty());
}

TEST_F(AppDelegateGateTest, TheGateMenuHasTheProgramAndEditMenusAndQuitTerminates) {
    delegate->showGate();
    const std::shared_ptr<Menu> menu = windows.mainMenu();
    ASSERT_TRUE(menu);
    ASSERT_EQ(menu->count(), 2);
    EXPECT_EQ(menu->items()[0]->submenu->title(), "Mondrel");
    EXPECT_EQ(titles(*menu->items()[0]->submenu), QStringList{"Quit Mondrel|terminate:|q"});
    EXPECT_EQ(menu->items()[1]->submenu->title(), "Edit");
    EXPECT_EQ(titles(*menu->items()[1]->submenu),
              QStringList({"Cut|cut:|x", "Copy|copy:|c", "Paste|paste:|v", "Select All|selectAll:|a"}));
    for (const Menu::ItemPtr& item : menu->items()[1]->submenu->items())
        EXPECT_FALSE(item->target) << "editing goes to the focused control";

    windows.calls.clear();
    EXPECT_TRUE(windows.sendAction(QStringLiteral("terminate:"), nullptr, nullptr));
    EXPECT_EQ(windows.calls, QStringList({"send terminate:", "terminate"}));
}

TEST_F(AppDelegateGateTest, ClosingTheGateCancelsSignInRemovesTheMenuAndDemotesOnTheNextTurn) {
    delegate->showGate();
    const WindowId gate = *delegate->gateWindow();
    log.clear();
    windows.close(gate);
    EXPECT_EQ(log.messages("account"), QStringList{"sign_in_cancel reason=no_sign_in_in_progress"});
    EXPECT_FALSE(windows.mainMenu());
    EXPECT_FALSE(delegate->gateWindow());
    EXPECT_EQ(windows.closeObserverCount(gate), 0);
    EXPECT_EQ(windows.policy, ActivationPolicy::regular);
    queue.runUntilIdle();
    EXPECT_EQ(windows.policy, ActivationPolicy::accessory);
}

TEST_F(AppDelegateGateTest, ClosingTheGateKeepsTheProgramRegularWhileAnotherWindowIsOpen) {
    delegate->showGate();
    windows.addOrdinaryWindow(QStringLiteral("mondrel.settings"));
    windows.close(*delegate->gateWindow());
    queue.runUntilIdle();
    EXPECT_EQ(windows.policy, ActivationPolicy::regular);
}

TEST_F(AppDelegateGateTest, CompletingSignInClosesTheGateThroughTheSameSteps) {
    delegate->showGate();
    const WindowId gate = *delegate->gateWindow();
    ASSERT_TRUE(gateContent);
    EXPECT_EQ(&gateContent->account, &account);
    EXPECT_EQ(&gateContent->bridge, &bridge);
    EXPECT_EQ(gateContent->hostWindow(), gate);
    gateContent->onComplete();
    EXPECT_FALSE(windows.window(gate).visible);
    EXPECT_FALSE(delegate->gateWindow());
    EXPECT_FALSE(windows.mainMenu());
    EXPECT_EQ(gateContent->hostWindow(), std::nullopt);

    delegate.reset();
    gateContent->onComplete();
    EXPECT_EQ(gateContent->hostWindow(), std::nullopt) << "callbacks outliving the delegate do nothing";
}

TEST_F(AppDelegateGateTest, URLsAreRoutedByExactSchemeAndLowerCasedHost) {
    const QString offered = QStringLiteral("sign_in_resume_refused reason=no_sign_in_in_progress");
    delegate->handleIncomingURL(QStringLiteral("mondrel://AUTH/callback"));
    EXPECT_EQ(log.messages("account"), QStringList{offered}) << "offered to the sign-in";
    EXPECT_EQ(log.messages("auth"), QStringList{"auth_callback_unmatched host=AUTH"}) << "as received";
    const CapturingLogSink::Entry& line = log.entries.back();
    EXPECT_EQ(line.type, LogType::error);

    log.clear();
    delegate->handleIncomingURL(QStringLiteral("MONDREL://auth/callback"));
    delegate->handleIncomingURL(QStringLiteral("https://auth/callback"));
    delegate->handleIncomingURL(QStringLiteral("no scheme at all"));
    EXPECT_TRUE(log.entries.empty()) << "other schemes leave no trace";

    delegate->handleIncomingURL(QStringLiteral("mondrel://calendar"));
    delegate->handleIncomingURL(QStringLiteral("mondrel:calendar"));
    delegate->handleIncomingURL(QStringLiteral("mondrel:///today"));
    EXPECT_EQ(log.messages("account"), QStringList{});
    EXPECT_EQ(log.messages("auth"),
              QStringList({"auth_callback_unmatched host=calendar", "auth_callback_unmatched host=nil",
                           "auth_callback_unmatched host=nil"}));

    log.clear();
    delegate->openURLs({"mondrel://signed-in", "mondrel://user@Auth-Callback:8080/x"});
    EXPECT_EQ(log.messages("account"), QStringList({offered, offered}));
    EXPECT_EQ(log.messages("auth"), QStringList({"auth_callback_unmatched host=signed-in",
                                                 "auth_callback_unmatched host=Auth-Callback"}));

    log.clear();
    delegate->handleIncomingURL(QStringLiteral("mondrel://calendar\nauth error: auth_callback_accepted/x"));
    EXPECT_EQ(log.messages("auth"), QStringList{"auth_callback_unmatched host=calendar\\nauth error"})
        << "a host cannot write a line of its own";

    log.clear();
    AppDelegate::setSharedBridge(nullptr);
    delegate->handleIncomingURL(QStringLiteral("mondrel://auth/callback"));
    EXPECT_EQ(log.messages(), QStringList{"auth_callback_unmatched host=auth"});
}

TEST(IncomingURLTest, SchemeAndHostAreReadAsWritten) {
    EXPECT_EQ(AppDelegate::schemeOf(u"Mondrel://x"), "Mondrel");
    EXPECT_EQ(AppDelegate::schemeOf(u"web+cal.v-2:x"), "web+cal.v-2");
    EXPECT_FALSE(AppDelegate::schemeOf(u"/usr/bin/mondrel"));
    EXPECT_FALSE(AppDelegate::schemeOf(u"2fa:x"));
    EXPECT_FALSE(AppDelegate::schemeOf(u":x"));
    EXPECT_EQ(AppDelegate::hostOf(u"mondrel://Auth?code=1"), "Auth");
    EXPECT_EQ(AppDelegate::hostOf(u"mondrel://[::1]:80/"), "[::1]");
    EXPECT_EQ(AppDelegate::hostOf(u"mondrel://[::1]/"), "[::1]");
    EXPECT_EQ(AppDelegate::hostOf(u"mondrel://a@b@host#frag"), "host");
    EXPECT_FALSE(AppDelegate::hostOf(u"mondrel://:80/x"));
    EXPECT_FALSE(AppDelegate::hostOf(u"mondrel:/auth"));
}
