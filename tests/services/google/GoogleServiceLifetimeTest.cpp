#include "support/GoogleTestSupport.h"

namespace {

using Reply = LoopbackHttpServer::Reply;

// The service may go away while its requests are still on the network; what comes back later must find
// nothing of it.
class GoogleServiceLifetimeTest : public GoogleServiceTest {
protected:
    bool waitForAnswers(size_t count) {
        return runEventsUntil(
            [&] { return server.requests().size() >= count && finishedReplies >= qsizetype(count); });
    }
};

TEST_F(GoogleServiceLifetimeTest, AFetchThatEndsAfterTheServiceIsGoneTouchesNothing) {
    connect();
    server.enqueue(
        "GET", kCalendarListPath,
        {{200, R"({"items":[{"id":"a","selected":true}],"nextPageToken":"2"})", "application/json", 100},
         {200, R"({"items":[{"id":"b","selected":true}]})"}});
    service->ensureCoverage(queue.now());
    ASSERT_TRUE(service->isFetching());

    service.reset();

    // The paging that runs is not cancelled, but nothing comes of it.
    ASSERT_TRUE(waitForAnswers(2));
    QCoreApplication::processEvents();
    EXPECT_EQ(server.count("GET", eventsPath("a")), 0u);
    EXPECT_EQ(server.count("GET", eventsPath("b")), 0u);
}

TEST_F(GoogleServiceLifetimeTest, ARefreshThatEndsAfterTheServiceIsGoneStoresNothing) {
    connect(tokensExpiringIn(0));
    server.enqueue("POST", "/token",
                   {{200, tokenAnswer(QStringLiteral("access-2")), "application/json", 100}});
    service->ensureCoverage(queue.now());
    ASSERT_TRUE(service->isRefreshing());

    service.reset();

    ASSERT_TRUE(waitForAnswers(1));
    QCoreApplication::processEvents();
    EXPECT_EQ(storedTokens()->accessToken, QStringLiteral("access-1"));
    EXPECT_EQ(server.count("GET", kCalendarListPath), 0u);
}

TEST_F(GoogleServiceLifetimeTest, AServiceWithItsOwnNetworkCanGoWhileAFetchRuns) {
    secrets.put(GoogleTokenKeychain::baseKeychainQuery(), tokensExpiringIn(3600).toJson());
    GoogleCalendarService::Environment own = environment();
    own.network = nullptr;
    service = std::make_unique<GoogleCalendarService>(own);
    server.enqueue("GET", kCalendarListPath, {{200, R"({"items":[]})", "application/json", 100}});
    service->ensureCoverage(queue.now());
    ASSERT_TRUE(service->isFetching());

    // Its requests go with its network; their coroutines must end rather than wait forever (a leak).
    service.reset();

    QDeadlineTimer settle(300);
    while (!settle.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(server.count("GET", eventsPath("a")), 0u);
}

TEST_F(GoogleServiceLifetimeTest, AServiceWithItsOwnNetworkCanGoWhileSeveralCalendarsAreFetched) {
    secrets.put(GoogleTokenKeychain::baseKeychainQuery(), tokensExpiringIn(3600).toJson());
    GoogleCalendarService::Environment own = environment();
    own.network = nullptr;
    service = std::make_unique<GoogleCalendarService>(own);
    server.enqueue("GET", kCalendarListPath,
                   {{200, R"({"items":[{"id":"a","selected":true},{"id":"b","selected":true}]})"}});
    server.enqueue("GET", eventsPath("a"), {{200, R"({"items":[]})", "application/json", 300}});
    server.enqueue("GET", eventsPath("b"), {{200, R"({"items":[]})", "application/json", 300}});
    service->ensureCoverage(queue.now());
    ASSERT_TRUE(runEventsUntil(
        [&] { return server.count("GET", eventsPath("a")) + server.count("GET", eventsPath("b")) == 2; }));

    // Aborting the first reply fails the fan-out, which aborts the other one while it is being gone over.
    service.reset();

    QDeadlineTimer settle(500);
    while (!settle.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(server.requests().size(), 3u);
}

} // namespace
