#include "support/GoogleTestSupport.h"

// The token set's item over a store that asks to be unlocked first: its calls are held until answered.
class GoogleTokenKeychainTest : public GoogleServiceTest {
protected:
    GoogleTokenKeychainTest() { secrets.holdCalls = true; }
    ~GoogleTokenKeychainTest() override {
        secrets.holdCalls = false;
        secrets.answerHeldCalls();
    }

    const SecretStore::ItemKey item = GoogleTokenKeychain::baseKeychainQuery();
};

TEST_F(GoogleTokenKeychainTest, TheServiceConnectsOnceTheStoreHasAnsweredAndADisconnectMeanwhileWins) {
    secrets.put(item, tokensExpiringIn(3600).toJson());
    service = std::make_unique<GoogleCalendarService>(environment());
    QSignalSpy stateChanged(service.get(), &GoogleCalendarService::stateChanged);
    EXPECT_EQ(service->state(), GoogleConnectionState::notConnected())
        << "nothing is known before the answer";
    secrets.answerHeldCalls();
    EXPECT_EQ(service->state(), GoogleConnectionState::connected(QStringLiteral("me@example.com")));
    EXPECT_EQ(service->tokens(), tokensExpiringIn(3600));
    EXPECT_EQ(stateChanged.size(), 1);

    service = std::make_unique<GoogleCalendarService>(environment());
    service->disconnect();
    while (secrets.heldCallCount() > 0)
        secrets.answerHeldCalls();
    EXPECT_EQ(service->state(), GoogleConnectionState::notConnected());
    EXPECT_FALSE(service->tokens()) << "the token set read before the disconnect stays dropped";
    EXPECT_FALSE(secrets.contains(item));
}

TEST_F(GoogleTokenKeychainTest, ARemovalIsNeverOvertakenByTheWritesAskedForBeforeIt) {
    GoogleTokenKeychain keychain(secrets);
    keychain.write(tokensExpiringIn(3600));
    keychain.write(tokensExpiringIn(7200));
    keychain.remove();
    const auto answerTheOneHeldCall = [&] {
        ASSERT_EQ(secrets.heldCallCount(), 1) << "one call at a time";
        secrets.answerHeldCalls();
    };
    answerTheOneHeldCall(); // the first update finds nothing: an add follows
    EXPECT_EQ(secrets.addCount, 1);
    answerTheOneHeldCall();
    EXPECT_EQ(secrets.updateCount, 2);
    EXPECT_EQ(secrets.removeCount, 0) << "no removal before both writes are done";
    answerTheOneHeldCall();
    EXPECT_EQ(GoogleTokenSet::fromJson(secrets.data(item)), tokensExpiringIn(7200));
    EXPECT_EQ(secrets.removeCount, 1);
    answerTheOneHeldCall();
    EXPECT_FALSE(secrets.contains(item));
}
