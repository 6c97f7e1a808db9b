#include "account/QuintorAccountManager.h"
#include "support/CapturingLogSink.h"
#include "support/FakeWindowSystem.h"
#include "support/QtPrinters.h"

#include "AccountTestSupport.h"

#include <gtest/gtest.h>

namespace {

class QuintorAccountManagerTest : public ::testing::Test {
protected:
    void store(const StoredSession& session) { secrets.put(StoredSession::keychainItem(), session.toJson()); }

    Instant now = Instant::fromSecondsSince1970(1'800'000'000);
    InMemorySecretStore secrets;
    CapturingLogSink log;
    QuintorAccountBridge bridge{secrets, [this] { return now; }};
    QuintorAccountManager& manager = bridge.manager();

    std::optional<QuintorAccountBridge::CurrentSession> currentSession() {
        return finish(bridge.currentSession()).value.value_or(std::nullopt);
    }
};

} // namespace

TEST_F(QuintorAccountManagerTest, RestoresAStoredSessionAndReportsItAsCurrent) {
    store(sampleSession(now));
    const Outcome<std::optional<QuintorAccount>> restored = finish(manager.restore(false));
    ASSERT_TRUE(restored.done);
    ASSERT_FALSE(restored.error);
    EXPECT_EQ(*restored.value, sampleSession(now).account);
    EXPECT_EQ(manager.state(), QuintorAccountManager::State::signedIn);
    EXPECT_EQ(currentSession(),
              (QuintorAccountBridge::CurrentSession{"qas_token_1", "qa_01936f3c-6c2e-7a4b-9d1e-2f3a4b5c6d7e",
                                                    "ada@example.org"}));
    EXPECT_EQ(log.messages("account"), QStringList{"session_restored"});
}

TEST_F(QuintorAccountManagerTest, WithoutAStoredSessionStaysSignedOutWithNoCurrentSession) {
    const Outcome<std::optional<QuintorAccount>> restored = finish(manager.restore(false));
    ASSERT_TRUE(restored.value);
    EXPECT_FALSE(*restored.value);
    EXPECT_EQ(manager.state(), QuintorAccountManager::State::signedOut);
    EXPECT_FALSE(currentSession());
}

TEST_F(QuintorAccountManagerTest, AnExpiredOrUnreadableSessionFailsAndStaysStored) {
    StoredSession expired = sampleSession(now);
    expired.expiresAt = now;
    store(expired);
    Outcome<std::optional<QuintorAccount>> restored = finish(manager.restore(false));
    ASSERT_TRUE(restored.error);
    EXPECT_EQ(errorKind(restored.error), QuintorAccountError::Kind::refreshUnavailable);
    EXPECT_EQ(manager.state(), QuintorAccountManager::State::failed);
    EXPECT_EQ(secrets.data(StoredSession::keychainItem()), expired.toJson());
    EXPECT_FALSE(currentSession());

    secrets.put(StoredSession::keychainItem(), "{\"qas\":");
    restored = finish(manager.restore(false));
    EXPECT_EQ(errorKind(restored.error), QuintorAccountError::Kind::malformedSession);
    EXPECT_EQ(secrets.data(StoredSession::keychainItem()), "{\"qas\":");

    secrets.available = false;
    restored = finish(manager.restore(false));
    EXPECT_EQ(errorKind(restored.error), QuintorAccountError::Kind::keychainUnavailable);
}

TEST_F(QuintorAccountManagerTest, AForcedRefreshNeedsTheIdentityServer) {
    store(sampleSession(now));
    const Outcome<std::optional<QuintorAccount>> restored = finish(manager.restore(true));
    ASSERT_TRUE(restored.error);
    EXPECT_EQ(errorKind(restored.error), QuintorAccountError::Kind::refreshUnavailable);
    EXPECT_TRUE(secrets.contains(StoredSession::keychainItem()));
}

TEST_F(QuintorAccountManagerTest, CurrentSessionReadsTheStoreOnEveryCall) {
    store(sampleSession(now));
    finish(manager.restore(false));
    StoredSession renewed = sampleSession(now);
    renewed.qas = QStringLiteral("qas_token_2");
    secrets.put(StoredSession::keychainItem(), renewed.toJson());
    EXPECT_EQ(currentSession()->qas, "qas_token_2");
    secrets.erase(StoredSession::keychainItem());
    EXPECT_FALSE(currentSession());
    EXPECT_EQ(manager.state(), QuintorAccountManager::State::signedIn);
}

TEST_F(QuintorAccountManagerTest, SignOutDeletesTheItemAndReportsAStoreThatKeepsIt) {
    store(sampleSession(now));
    finish(manager.restore(false));
    const Outcome<std::monostate> signedOut = finish(manager.signOut());
    EXPECT_TRUE(signedOut.value);
    EXPECT_FALSE(secrets.contains(StoredSession::keychainItem()));
    EXPECT_EQ(manager.state(), QuintorAccountManager::State::signedOut);
    EXPECT_FALSE(manager.account());
    EXPECT_TRUE(finish(manager.signOut()).value) << "nothing stored is already signed out";

    store(sampleSession(now));
    finish(manager.restore(false));
    secrets.available = false;
    const Outcome<std::monostate> failed = finish(manager.signOut());
    ASSERT_TRUE(failed.error);
    EXPECT_EQ(manager.state(), QuintorAccountManager::State::signedOut);
}

TEST_F(QuintorAccountManagerTest, WithNoSignInInProgressNothingResumesOrCancels) {
    EXPECT_FALSE(manager.resume(QUrl(QStringLiteral("mondrel://auth/callback?code=1"))));
    EXPECT_FALSE(manager.cancelSignIn());
    EXPECT_EQ(manager.config().redirectURI, QUrl(QStringLiteral("mondrel://auth/callback")));
    EXPECT_EQ(manager.config().logCategory, "account");
}

TEST(ActivateForAuthReturnTest, FrontsTheGivenWindowElseTheKeyElseAnOrdinaryElseAnyVisibleOne) {
    FakeWindowSystem windows;
    QuintorAccountManager::activateForAuthReturn(windows, std::nullopt);
    EXPECT_EQ(windows.calls, QStringList({"activate", "windows"}));

    WindowDescription panel;
    panel.visible = true;
    panel.panel = true;
    const WindowId popover = windows.addWindow(panel);
    const WindowId hidden = windows.addOrdinaryWindow("hidden");
    windows.setVisible(hidden, false);
    windows.calls.clear();
    QuintorAccountManager::activateForAuthReturn(windows, std::nullopt);
    EXPECT_EQ(windows.calls, QStringList({"activate", "windows", QStringLiteral("key %1").arg(popover),
                                          QStringLiteral("front %1").arg(popover)}));

    const WindowId ordinary = windows.addOrdinaryWindow("settings");
    windows.calls.clear();
    QuintorAccountManager::activateForAuthReturn(windows, std::nullopt);
    EXPECT_TRUE(windows.calls.contains(QStringLiteral("key %1").arg(ordinary)));

    const WindowId key = windows.addOrdinaryWindow("other");
    windows.window(key).key = true;
    windows.calls.clear();
    QuintorAccountManager::activateForAuthReturn(windows, std::nullopt);
    EXPECT_TRUE(windows.calls.contains(QStringLiteral("key %1").arg(key)));

    windows.calls.clear();
    QuintorAccountManager::activateForAuthReturn(windows, hidden);
    EXPECT_EQ(windows.calls, QStringList({"activate", QStringLiteral("key %1").arg(hidden),
                                          QStringLiteral("front %1").arg(hidden)}));
}
