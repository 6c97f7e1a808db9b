#include "support/GoogleTestSupport.h"

namespace {

using Reply = LoopbackHttpServer::Reply;

class GoogleTokenLifecycleTest : public GoogleServiceTest {
protected:
    Outcome<QString> accessToken(bool forceRefresh = false) {
        return finish(service->validAccessToken(forceRefresh));
    }
    size_t tokenPosts() const { return server.count("POST", "/token"); }
};

TEST_F(GoogleTokenLifecycleTest, ATokenIsUsedUntilThirtySecondsBeforeItsExpiry) {
    connect(tokensExpiringIn(31));
    EXPECT_EQ(accessToken().value, QStringLiteral("access-1"));
    EXPECT_EQ(accessToken().value, QStringLiteral("access-1")) << "handing the token out kept it";
    EXPECT_EQ(tokenPosts(), 0u);

    server.enqueue("POST", "/token", {{200, tokenAnswer(QStringLiteral("access-2"))}});
    queue.advance(1);
    EXPECT_EQ(accessToken().value, QStringLiteral("access-2"));
    EXPECT_EQ(tokenPosts(), 1u);
}

TEST_F(GoogleTokenLifecycleTest, ForcedRefreshSendsTheRefreshGrantFormEncoded) {
    connect(tokensExpiringIn(3600, QStringLiteral("1//ab/c d")));
    server.enqueue("POST", "/token", {{200, tokenAnswer(QStringLiteral("access-2"))}});

    EXPECT_EQ(accessToken(true).value, QStringLiteral("access-2"));

    const auto posts = server.requests("POST", "/token");
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0].header("content-type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(posts[0].body, "client_id=client-1&grant_type=refresh_token&refresh_token=1%2F%2Fab%2Fc%20d");
}

TEST_F(GoogleTokenLifecycleTest, ConcurrentCallersShareOneRefreshAndGetTheSameToken) {
    connect(tokensExpiringIn(10));
    server.enqueue("POST", "/token",
                   {{200, tokenAnswer(QStringLiteral("access-2")), "application/json", 50}});

    auto first = begin(service->validAccessToken(false));
    auto second = begin(service->validAccessToken(true));
    ASSERT_TRUE(runEventsUntil([&] { return first->done && second->done; }));

    EXPECT_EQ(tokenPosts(), 1u);
    EXPECT_EQ(first->value, QStringLiteral("access-2"));
    EXPECT_EQ(second->value, QStringLiteral("access-2"));
    EXPECT_FALSE(service->isRefreshing());
}

TEST_F(GoogleTokenLifecycleTest, ARefreshSetsTheExpiryAndKeepsOrReplacesTheRefreshToken) {
    connect(tokensExpiringIn(0));
    server.enqueue(
        "POST", "/token",
        {{200, tokenAnswer(QStringLiteral("access-2"), 3600)},
         {200, tokenAnswer(QStringLiteral("access-3"), std::nullopt, QStringLiteral("refresh-2"))}});

    ASSERT_EQ(accessToken().value, QStringLiteral("access-2"));
    EXPECT_EQ(service->tokens()->expiresAt, queue.now().addingSeconds(3540));
    EXPECT_EQ(service->tokens()->refreshToken, QStringLiteral("refresh-1"));
    EXPECT_EQ(service->tokens()->email, QStringLiteral("me@example.com"));
    EXPECT_EQ(storedTokens(), service->tokens());

    ASSERT_EQ(accessToken(true).value, QStringLiteral("access-3"));
    EXPECT_EQ(service->tokens()->expiresAt, queue.now().addingSeconds(3540));
    EXPECT_EQ(service->tokens()->refreshToken, QStringLiteral("refresh-2"));
    EXPECT_EQ(storedTokens()->refreshToken, QStringLiteral("refresh-2"));
    EXPECT_EQ(secrets.itemCount(), 1);
    EXPECT_EQ(secrets.addCount, 0) << "both writes update the stored item";
}

// A lifetime out of any sane range once gave years that the store's reader refuses: the next launch found
// no sign-in. And a launch seldom falls on a whole second, which the store does not keep.
TEST_F(GoogleTokenLifecycleTest, EveryTokenSetTheServiceWritesReadsBackEqualAtTheNextLaunch) {
    connect();
    const Instant inAYear = queue.now().addingSeconds(367.0 * 24 * 3600);
    for (const std::string lifetime : {"9007199254740991", "-1000000000000", "-1", "0", "3599", "1e15"}) {
        SCOPED_TRACE(lifetime);
        queue.advance(0.375);
        server.enqueue("POST", "/token", {{200, R"({"access_token":"a","expires_in":)" + lifetime + "}"}});
        ASSERT_EQ(accessToken(true).value, QStringLiteral("a"));

        const GoogleCalendarService relaunched(environment());

        EXPECT_EQ(relaunched.state(), GoogleConnectionState::connected(QStringLiteral("me@example.com")));
        EXPECT_EQ(relaunched.tokens(), service->tokens());
        EXPECT_LT(service->tokens()->expiresAt, inAYear);
        EXPECT_GT(service->tokens()->expiresAt, queue.now().addingSeconds(-61));
    }
}

TEST_F(GoogleTokenLifecycleTest, InvalidGrantDropsTheAuthorization) {
    CapturingLogSink logs;
    connect(tokensExpiringIn(0));
    service->rebuildCache({}, GoogleCalendarService::window(queue.now()));
    QSignalSpy dataToken(service.get(), &GoogleCalendarService::dataTokenChanged);
    server.enqueue("POST", "/token",
                   {{400, R"({"error":"invalid_grant","error_description":"Bad Request"})"}});

    const auto outcome = accessToken();

    EXPECT_TRUE(isGoogleError(outcome.error, GoogleCalendarError::Kind::needsReconnect));
    EXPECT_EQ(logs.messages(QStringLiteral("google-calendar")),
              QStringList{QStringLiteral("refresh rejected (invalid_grant) — reconnect required")});
    EXPECT_EQ(service->state(), GoogleConnectionState::needsReconnect());
    EXPECT_FALSE(service->tokens());
    EXPECT_FALSE(secrets.contains(GoogleTokenKeychain::baseKeychainQuery()));
    EXPECT_FALSE(service->coverage());
    EXPECT_EQ(dataToken.count(), 1);
    EXPECT_TRUE(service->events(queue.now()).isEmpty());
}

TEST_F(GoogleTokenLifecycleTest, OtherTokenEndpointFailuresLeaveEverythingAsItWas) {
    connect(tokensExpiringIn(0));
    const GoogleTokenSet before = *service->tokens();
    server.enqueue("POST", "/token",
                   {{500, R"({"error_description":"boom"})"},
                    {400, R"({"error":"invalid_request"})"},
                    {503, "<html>down</html>", "text/html"},
                    {200, R"({"expires_in":3600})"},
                    {200, R"({"access_token":"a","expires_in":"3600"})"},
                    {503, R"({"error":"invalid_grant"})"},
                    {200, tokenAnswer(QString(8193, 'a'))},
                    {200, tokenAnswer(QStringLiteral("a"), 3600, QString(4 << 20, 'r'))},
                    {200, tokenAnswer(QStringLiteral("a\r\nX-Injected: 1"))}});

    EXPECT_TRUE(accessToken().failedWith<GoogleCalendarError>([](const GoogleCalendarError& e) {
        return e == GoogleCalendarError::oauth(QStringLiteral("http_500"));
    }));
    EXPECT_TRUE(accessToken().failedWith<GoogleCalendarError>([](const GoogleCalendarError& e) {
        return e == GoogleCalendarError::oauth(QStringLiteral("invalid_request"));
    }));
    EXPECT_TRUE(accessToken().failedWith<GoogleDecodingError>()) << "503 with a body that is not JSON";
    EXPECT_TRUE(isGoogleError(accessToken().error, GoogleCalendarError::Kind::malformedResponse));
    EXPECT_TRUE(accessToken().failedWith<GoogleDecodingError>()) << "expires_in as text";
    EXPECT_TRUE(accessToken().failedWith<GoogleCalendarError>([](const GoogleCalendarError& e) {
        return e == GoogleCalendarError::oauth(QStringLiteral("http_503"));
    })) << "only a 400 or 401 refuses the grant";
    for (const char* oversized : {"access token", "refresh token"})
        EXPECT_TRUE(accessToken().failedWith<GoogleCalendarError>([](const GoogleCalendarError& e) {
            return e.kind() == GoogleCalendarError::Kind::malformedResponse &&
                   e.logDetails() == QStringLiteral("cause=token_over_8192_bytes");
        })) << oversized;
    EXPECT_TRUE(isGoogleError(accessToken().error, GoogleCalendarError::Kind::malformedResponse))
        << "a line break in a token";

    EXPECT_EQ(tokenPosts(), 9u) << "every failure clears the refresh, so each call starts a new one";
    EXPECT_EQ(service->tokens(), before);
    EXPECT_EQ(storedTokens(), before);
    EXPECT_TRUE(service->state().isConnected());
}

TEST_F(GoogleTokenLifecycleTest, WithoutARefreshTokenTheServiceNeedsReconnectWithoutAsking) {
    connect(tokensExpiringIn(0, QString()));
    EXPECT_TRUE(isGoogleError(accessToken().error, GoogleCalendarError::Kind::needsReconnect));
    EXPECT_EQ(service->state(), GoogleConnectionState::needsReconnect());
    EXPECT_EQ(tokenPosts(), 0u);

    service->disconnect();
    EXPECT_TRUE(isGoogleError(accessToken().error, GoogleCalendarError::Kind::notConnected));
}

TEST_F(GoogleTokenLifecycleTest, AnUnreachableKeychainLeavesTheTokenSetInMemory) {
    connect(tokensExpiringIn(0));
    secrets.available = false;
    server.enqueue("POST", "/token", {{200, tokenAnswer(QStringLiteral("access-2"))}});

    EXPECT_EQ(accessToken().value, QStringLiteral("access-2"));
    EXPECT_EQ(service->tokens()->accessToken, QStringLiteral("access-2"));
    EXPECT_EQ(accessToken().value, QStringLiteral("access-2"));
    EXPECT_EQ(tokenPosts(), 1u);
}

TEST_F(GoogleTokenLifecycleTest, DisconnectRevokesTheRefreshTokenAndForgetsEverything) {
    connect(tokensExpiringIn(3600, QStringLiteral("re/fresh")));
    server.enqueue("POST", "/revoke", {{200, "{}"}});
    QSignalSpy dataToken(service.get(), &GoogleCalendarService::dataTokenChanged);

    service->disconnect();

    EXPECT_EQ(service->state(), GoogleConnectionState::notConnected());
    EXPECT_FALSE(service->tokens());
    EXPECT_FALSE(secrets.contains(GoogleTokenKeychain::baseKeychainQuery()));
    EXPECT_EQ(dataToken.count(), 1);
    ASSERT_TRUE(runEventsUntil([&] { return server.count("POST", "/revoke") == 1; }));
    const auto revoke = server.requests("POST", "/revoke")[0];
    EXPECT_EQ(revoke.body, "token=re%2Ffresh");
    EXPECT_EQ(revoke.header("content-type"), "application/x-www-form-urlencoded");
}

TEST_F(GoogleTokenLifecycleTest, DisconnectRevokesNothingWithoutAUsableToken) {
    connect(tokensExpiringIn(3600, QString()));
    service->disconnect();
    service->disconnect();
    QCoreApplication::processEvents();
    EXPECT_EQ(service->state(), GoogleConnectionState::notConnected());
    EXPECT_EQ(service->dataToken(), 2);
    EXPECT_TRUE(server.requests().empty()) << "an empty refresh token is not replaced by the access token";
}

TEST_F(GoogleTokenLifecycleTest, ARefreshThatEndsAfterADisconnectIsNotStored) {
    connect(tokensExpiringIn(0));
    server.enqueue("POST", "/token",
                   {{200, tokenAnswer(QStringLiteral("access-2")), "application/json", 50}});
    server.enqueue("POST", "/revoke", {{200, "{}"}});

    auto outcome = begin(service->validAccessToken(false));
    service->disconnect();
    ASSERT_TRUE(runEventsUntil([&] { return outcome->done; }));

    EXPECT_TRUE(isGoogleError(outcome->error, GoogleCalendarError::Kind::notConnected));
    EXPECT_FALSE(service->tokens());
    EXPECT_FALSE(secrets.contains(GoogleTokenKeychain::baseKeychainQuery()));
}

TEST_F(GoogleTokenLifecycleTest, ARefreshRejectedAfterADisconnectLeavesTheServiceDisconnected) {
    CapturingLogSink logs;
    connect(tokensExpiringIn(0));
    server.enqueue("POST", "/token", {{400, R"({"error":"invalid_grant"})", "application/json", 50}});
    server.enqueue("POST", "/revoke", {{200, "{}"}});

    auto outcome = begin(service->validAccessToken(false));
    service->disconnect();
    ASSERT_TRUE(runEventsUntil([&] { return outcome->done; }));

    EXPECT_TRUE(isGoogleError(outcome->error, GoogleCalendarError::Kind::notConnected));
    EXPECT_EQ(service->state(), GoogleConnectionState::notConnected());
    EXPECT_TRUE(logs.messages(QStringLiteral("google-calendar")).isEmpty());
    EXPECT_EQ(service->dataToken(), 1) << "only the disconnect cleared the cache";
}

TEST_F(GoogleTokenLifecycleTest, CancelConnectOutsideAConnectionAttemptOnlyClearsThePendingAuthorization) {
    connect();
    QSignalSpy state(service.get(), &GoogleCalendarService::stateChanged);
    service->connect();
    service->cancelConnect();
    EXPECT_EQ(service->state(), GoogleConnectionState::connected(QStringLiteral("me@example.com")));
    EXPECT_FALSE(service->pendingAuth());
    EXPECT_EQ(state.count(), 0);
}

TEST(GoogleTokenSetJson, RoundTripsWithWholeSecondUtcExpiryAndOmitsAbsentKeys) {
    const GoogleTokenSet tokens{QStringLiteral("a"), std::nullopt,
                                Instant::fromSecondsSince1970(1'773'825'300.7),
                                QStringLiteral("me@example.com")};
    const QByteArray encoded = tokens.toJson();
    EXPECT_TRUE(encoded.contains("\"expiresAt\":\"2026-03-18T09:15:00Z\"")) << encoded.toStdString();
    EXPECT_FALSE(encoded.contains("refreshToken"));
    const auto decoded = GoogleTokenSet::fromJson(encoded);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->expiresAt, Instant::fromSecondsSince1970(1'773'825'300));
    EXPECT_EQ(decoded->email, QStringLiteral("me@example.com"));
    EXPECT_FALSE(GoogleTokenSet::fromJson(R"({"accessToken":"a"})"));
    EXPECT_FALSE(GoogleTokenSet::fromJson(R"({"accessToken":1,"expiresAt":"2026-03-18T09:15:00Z"})"));
}

TEST(GoogleFormEncoding, KeepsLettersDigitsAndUnreservedMarksAndEncodesTheRest) {
    EXPECT_EQ(GoogleHttp::formEncodedValue(QStringLiteral("aZ9-._~")), "aZ9-._~");
    EXPECT_EQ(GoogleHttp::formEncodedValue(QStringLiteral("a/b c+d=e&f%")), "a%2Fb%20c%2Bd%3De%26f%25");
    EXPECT_EQ(GoogleHttp::formEncodedValue(QStringLiteral("é€")), QByteArray("\xC3\xA9%E2%82%AC"));
}

} // namespace
