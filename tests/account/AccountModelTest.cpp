#include "account/AccountModel.h"
#include "support/CapturingLogSink.h"

#include "AccountTestSupport.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

class AccountModelTest : public ::testing::Test {
protected:
    Instant now = Instant::fromSecondsSince1970(1'800'000'000);
    InMemorySecretStore secrets;
    CapturingLogSink log;
    QuintorAccountBridge bridge{secrets, [this] { return now; }};
    AccountModel model{bridge};
    QSignalSpy routeChanges{&model, &AccountModel::routeChanged};
    QSignalSpy signedInChanges{&model, &AccountModel::isSignedInChanged};
    QSignalSpy accountChanges{&model, &AccountModel::accountChanged};
};

} // namespace

TEST_F(AccountModelTest, StartsSignedOutAndStaysSoWithoutASession) {
    EXPECT_EQ(&model.bridge(), &bridge);
    EXPECT_EQ(model.route(), AccountModel::Route::signIn);
    finish(model.refresh());
    EXPECT_FALSE(model.isSignedIn());
    EXPECT_FALSE(model.account());
    EXPECT_EQ(routeChanges.count() + signedInChanges.count() + accountChanges.count(), 0);
}

TEST_F(AccountModelTest, RestoringAStoredSessionRoutesToTheCalendarOnce) {
    secrets.put(StoredSession::keychainItem(), sampleSession(now).toJson());
    finish(bridge.manager().restore(false));
    finish(model.refresh());
    EXPECT_EQ(model.route(), AccountModel::Route::calendar);
    EXPECT_TRUE(model.isSignedIn());
    EXPECT_EQ(model.account(), sampleSession(now).account);

    finish(model.refresh());
    EXPECT_EQ(routeChanges.count(), 1);
    EXPECT_EQ(signedInChanges.count(), 1);
    EXPECT_EQ(accountChanges.count(), 1);
}

TEST_F(AccountModelTest, SignOutDeletesTheItemAndRoutesToSignInEvenWhenTheStoreFails) {
    secrets.put(StoredSession::keychainItem(), sampleSession(now).toJson());
    finish(bridge.manager().restore(false));
    finish(model.refresh());
    const Outcome<std::monostate> signedOut = finish(model.signOut());
    EXPECT_TRUE(signedOut.value);
    EXPECT_FALSE(secrets.contains(StoredSession::keychainItem()));
    EXPECT_EQ(model.route(), AccountModel::Route::signIn);
    EXPECT_FALSE(model.isSignedIn());
    EXPECT_FALSE(model.account());

    secrets.put(StoredSession::keychainItem(), sampleSession(now).toJson());
    finish(bridge.manager().restore(false));
    finish(model.refresh());
    secrets.available = false;
    const Outcome<std::monostate> despiteFailure = finish(model.signOut());
    EXPECT_TRUE(despiteFailure.value) << "never throws";
    EXPECT_FALSE(model.isSignedIn());
}

TEST_F(AccountModelTest, ASessionThatDisappearsFromTheStoreSignsOutOnRefresh) {
    secrets.put(StoredSession::keychainItem(), sampleSession(now).toJson());
    finish(bridge.manager().restore(false));
    finish(model.refresh());
    secrets.erase(StoredSession::keychainItem());
    finish(model.refresh());
    EXPECT_FALSE(model.isSignedIn());
    EXPECT_EQ(model.route(), AccountModel::Route::signIn);
}

TEST_F(AccountModelTest, AStoreLockedForAWhileIsLoggedAndSignsInAgainOnceUnlocked) {
    secrets.put(StoredSession::keychainItem(), sampleSession(now).toJson());
    finish(bridge.manager().restore(false));
    secrets.available = false;
    secrets.failureReason = SecretStore::kLocked;
    finish(model.refresh());
    EXPECT_FALSE(model.isSignedIn());
    EXPECT_FALSE(bridge.lastReadSession());
    EXPECT_TRUE(log.messages("account").contains("current_session_unreadable keychain=locked"));
    EXPECT_EQ(secrets.removeCount + secrets.updateCount + secrets.addCount, 0);

    secrets.available = true;
    finish(model.refresh());
    EXPECT_TRUE(model.isSignedIn()) << "the session was never given up";
    EXPECT_EQ(bridge.lastReadSession()->email, "ada@example.org");
}
