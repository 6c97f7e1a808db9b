#include "support/GoogleTestSupport.h"

namespace {

using Reply = LoopbackHttpServer::Reply;

QJsonObject calendarEntry(const QString& id, std::optional<bool> selected,
                          std::optional<bool> primary = std::nullopt) {
    QJsonObject entry{{QStringLiteral("id"), id},
                      {QStringLiteral("backgroundColor"), QStringLiteral("#00FF00")}};
    if (selected)
        entry.insert(QStringLiteral("selected"), *selected);
    if (primary)
        entry.insert(QStringLiteral("primary"), *primary);
    return entry;
}

QJsonObject timedEvent(const QString& id, const QString& start, const QString& end) {
    return {{QStringLiteral("id"), id},
            {QStringLiteral("summary"), id},
            {QStringLiteral("start"), QJsonObject{{QStringLiteral("dateTime"), start}}},
            {QStringLiteral("end"), QJsonObject{{QStringLiteral("dateTime"), end}}}};
}

class GoogleCalendarServiceTest : public GoogleServiceTest {
protected:
    // "work" (selected) and "home" (primary) are shown; "hidden" is neither and must not be fetched.
    void scriptAccount() {
        server.on("GET", kCalendarListPath, [](const LoopbackHttpServer::Request&) {
            return Reply{200,
                         json({{QStringLiteral("items"),
                                QJsonArray{calendarEntry(QStringLiteral("work"), true),
                                           calendarEntry(QStringLiteral("hidden"), false),
                                           calendarEntry(QStringLiteral("home"), std::nullopt, true)}}})};
        });
        QJsonObject cancelled =
            timedEvent(QStringLiteral("gone"), QStringLiteral("2026-03-10T08:00:00+01:00"),
                       QStringLiteral("2026-03-10T09:00:00+01:00"));
        cancelled.insert(QStringLiteral("status"), QStringLiteral("cancelled"));
        scriptEvents("work",
                     {timedEvent(QStringLiteral("standup"), QStringLiteral("2026-03-10T09:30:00+01:00"),
                                 QStringLiteral("2026-03-10T09:45:00+01:00")),
                      cancelled});
        scriptEvents("home",
                     {timedEvent(QStringLiteral("dinner"), QStringLiteral("2026-03-10T19:00:00+01:00"),
                                 QStringLiteral("2026-03-10T21:00:00+01:00"))});
    }
    void scriptEvents(const std::string& calendar, const QJsonArray& events) {
        server.on("GET", eventsPath(calendar), [events](const LoopbackHttpServer::Request&) {
            return Reply{200, json({{QStringLiteral("items"), events}})};
        });
    }
    QStringList titlesOn(Instant date) const {
        QStringList titles;
        for (const DayEvent& e : service->events(date))
            titles << e.title();
        return titles;
    }
    size_t listRequests() const { return server.count("GET", kCalendarListPath); }
    void fetch(Instant date) {
        service->ensureCoverage(date);
        ASSERT_TRUE(waitForFetch());
    }

    CapturingLogSink logs;
};

TEST_F(GoogleCalendarServiceTest, WithoutAClientIdentifierTheSourceStaysOff) {
    secrets.put(GoogleTokenKeychain::baseKeychainQuery(), tokensExpiringIn(3600).toJson());
    service = std::make_unique<GoogleCalendarService>(environment(QString()));

    service->ensureCoverage(queue.now());
    service->connect();

    EXPECT_EQ(service->state(), GoogleConnectionState::notConfigured());
    EXPECT_FALSE(service->tokens()) << "the keychain is not read";
    EXPECT_FALSE(service->lastRequestedDay());
    EXPECT_FALSE(service->isFetching());
    EXPECT_TRUE(service->events(queue.now()).isEmpty());
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(GoogleCalendarServiceTest, WithAClientIdentifierTheStoredTokenSetDecidesTheState) {
    service = std::make_unique<GoogleCalendarService>(environment());
    EXPECT_EQ(service->state(), GoogleConnectionState::notConnected());

    secrets.available = false;
    secrets.put(GoogleTokenKeychain::baseKeychainQuery(), tokensExpiringIn(3600).toJson());
    service = std::make_unique<GoogleCalendarService>(environment());
    EXPECT_EQ(service->state(), GoogleConnectionState::notConnected())
        << "an unreachable keychain holds nothing";

    secrets.available = true;
    connect();
    EXPECT_EQ(service->state(), GoogleConnectionState::connected(QStringLiteral("me@example.com")));
}

TEST_F(GoogleCalendarServiceTest, TheWindowIsTheMonthPaddedByFourteenDays) {
    const DateInterval window = GoogleCalendarService::window(berlin(2026, 3, 31, 23, 59));
    EXPECT_EQ(window.start, berlin(2026, 2, 15));
    EXPECT_EQ(window.end, berlin(2026, 4, 15));
    EXPECT_EQ(GoogleCalendarService::window(berlin(2026, 3, 1)), window);
}

TEST_F(GoogleCalendarServiceTest, AFetchFillsTheCacheFromTheShownCalendarsOnly) {
    connect();
    scriptAccount();
    QSignalSpy loading(service.get(), &GoogleCalendarService::isLoadingChanged);

    fetch(queue.now());

    EXPECT_EQ(titlesOn(berlin(2026, 3, 10, 23)), (QStringList{"standup", "dinner"}));
    EXPECT_EQ(service->events(berlin(2026, 3, 10)).first().color(), QColor(0, 255, 0));
    EXPECT_EQ(server.count("GET", eventsPath("hidden")), 0u);
    const auto listRequest = server.requests("GET", kCalendarListPath).at(0);
    EXPECT_EQ(listRequest.header("authorization"), "Bearer access-1");
    EXPECT_EQ(server.requests("GET", eventsPath("work")).at(0).query.at("timeMin"), "2026-02-14T23:00:00Z");
    EXPECT_EQ(service->coverage(),
              (GoogleCalendarService::Coverage{GoogleCalendarService::window(queue.now()), queue.now()}));
    EXPECT_EQ(service->dataToken(), 1);
    EXPECT_EQ(logs.messages(QStringLiteral("google-calendar")),
              QStringList{QStringLiteral("fetched 3 events across 2 calendars")});
    EXPECT_FALSE(service->isLoading());
    EXPECT_EQ(loading.count(), 2);
}

TEST_F(GoogleCalendarServiceTest, AFreshWindowIsNotFetchedAgainForFiveMinutes) {
    connect();
    scriptAccount();
    fetch(queue.now());

    queue.advance(299);
    service->ensureCoverage(berlin(2026, 4, 15));
    service->ensureCoverage(berlin(2026, 2, 20));
    EXPECT_FALSE(service->isFetching());
    EXPECT_EQ(listRequests(), 1u);

    queue.advance(1);
    fetch(berlin(2026, 3, 20));
    EXPECT_EQ(listRequests(), 2u);
}

TEST_F(GoogleCalendarServiceTest, ADayOutsideTheRunningFetchIsFetchedWhenItEnds) {
    connect();
    scriptAccount();
    service->ensureCoverage(queue.now());
    service->ensureCoverage(berlin(2026, 6, 10));
    EXPECT_EQ(service->lastRequestedDay(), berlin(2026, 6, 10));

    ASSERT_TRUE(runEventsUntil([&] { return listRequests() == 2 && !service->isFetching(); }));
    EXPECT_EQ(service->coverage()->interval, GoogleCalendarService::window(berlin(2026, 6, 10)));
    EXPECT_EQ(service->dataToken(), 2);
    EXPECT_TRUE(service->events(queue.now()).isEmpty()) << "the new window replaced the old cache";
}

TEST_F(GoogleCalendarServiceTest, NoShownCalendarEmptiesTheCacheAndStillCoversTheWindow) {
    connect();
    scriptAccount();
    fetch(queue.now());
    server.on("GET", kCalendarListPath, [](const LoopbackHttpServer::Request&) {
        return Reply{
            200, json({{QStringLiteral("items"), QJsonArray{calendarEntry(QStringLiteral("x"), false)}}})};
    });
    queue.advance(300);

    fetch(queue.now());

    EXPECT_TRUE(service->eventsByDay().isEmpty());
    EXPECT_EQ(service->coverage()->fetchedAt, queue.now());
    EXPECT_EQ(logs.messages().last(), QStringLiteral("fetched 0 events across 0 calendars"));
}

TEST_F(GoogleCalendarServiceTest, A401OnTheCalendarListRefreshesOnceAndRetries) {
    connect();
    scriptAccount();
    server.on("GET", kCalendarListPath, [](const LoopbackHttpServer::Request& r) {
        if (r.header("authorization") != "Bearer access-2")
            return Reply{401, "{}"};
        return Reply{
            200, json({{QStringLiteral("items"), QJsonArray{calendarEntry(QStringLiteral("work"), true)}}})};
    });
    server.enqueue("POST", "/token", {{200, tokenAnswer(QStringLiteral("access-2"))}});

    fetch(queue.now());

    EXPECT_EQ(server.count("POST", "/token"), 1u);
    EXPECT_EQ(listRequests(), 2u);
    EXPECT_EQ(server.requests("GET", eventsPath("work")).at(0).header("authorization"), "Bearer access-2");
    EXPECT_EQ(titlesOn(queue.now()), QStringList{"standup"});
}

TEST_F(GoogleCalendarServiceTest, A401AfterTheRetryOrFromEventsFailsTheFetchWithBackOff) {
    connect();
    server.on("GET", kCalendarListPath, [](const LoopbackHttpServer::Request&) { return Reply{401, "{}"}; });
    server.on("POST", "/token", [](const LoopbackHttpServer::Request&) {
        return Reply{200, tokenAnswer(QStringLiteral("access-2"))};
    });

    fetch(queue.now());

    EXPECT_EQ(listRequests(), 2u);
    EXPECT_EQ(server.count("POST", "/token"), 1u);
    ASSERT_EQ(logs.messages().size(), 1);
    EXPECT_TRUE(logs.messages()[0].startsWith(QStringLiteral("event fetch failed: ")));
    EXPECT_EQ(logs.entries[0].type, LogType::error);
    const DateInterval window = GoogleCalendarService::window(queue.now());
    EXPECT_EQ(service->coverage(),
              (GoogleCalendarService::Coverage{window, queue.now().addingSeconds(-270)}));
    EXPECT_EQ(service->dataToken(), 0);

    scriptAccount();
    server.on("GET", eventsPath("home"), [](const LoopbackHttpServer::Request&) { return Reply{401, "{}"}; });
    queue.advance(31);
    fetch(queue.now());
    EXPECT_EQ(server.count("POST", "/token"), 1u) << "an events 401 is not retried";
    EXPECT_EQ(logs.messages().size(), 2);
    EXPECT_EQ(service->coverage()->fetchedAt, queue.now().addingSeconds(-301))
        << "the stale back-off coverage holds the window's start and stays";
    EXPECT_FALSE(service->isLoading());

    // Its age no longer holds the next attempt back, the failure itself does.
    service->ensureCoverage(queue.now());
    EXPECT_FALSE(service->isFetching());
    queue.advance(30);
    service->ensureCoverage(queue.now());
    EXPECT_TRUE(service->isFetching());
}

TEST_F(GoogleCalendarServiceTest, AFailedWindowIsRetriedOnlyAfterThirtySeconds) {
    connect();
    server.on("GET", kCalendarListPath, [](const LoopbackHttpServer::Request&) { return Reply{500, "{}"}; });
    fetch(queue.now());
    EXPECT_EQ(listRequests(), 1u);

    queue.advance(29);
    service->ensureCoverage(berlin(2026, 3, 20));
    EXPECT_FALSE(service->isFetching());

    queue.advance(2);
    fetch(berlin(2026, 3, 20));
    EXPECT_EQ(listRequests(), 2u);
}

TEST_F(GoogleCalendarServiceTest, AFailureLogsItsStatusAndWaitsAtLeastWhatRetryAfterAsks) {
    connect();
    server.enqueue("GET", kCalendarListPath,
                   {{429, "{}", "application/json", 0, {{"Retry-After", "120"}}}, {500, "{}"}});

    fetch(queue.now());
    queue.advance(119);
    service->ensureCoverage(berlin(2026, 3, 12));
    EXPECT_FALSE(service->isFetching()) << "asked again before Retry-After";
    queue.advance(2);
    fetch(berlin(2026, 3, 12));
    queue.advance(31); // without Retry-After the usual 30 seconds hold again
    fetch(berlin(2026, 3, 12));

    EXPECT_EQ(listRequests(), 3u);
    ASSERT_GE(logs.messages().size(), 2);
    EXPECT_EQ(logs.messages().at(0),
              QStringLiteral("event fetch failed: The operation couldn’t be completed. "
                             "(GoogleCalendarError error 1.) status=429 retry_after=120"));
    EXPECT_TRUE(logs.messages().at(1).endsWith(QStringLiteral("error 1.) status=500")));
}

TEST_F(GoogleCalendarServiceTest, ThousandsOfShownCalendarsAreCutToTheLimitAndFetchedFourAtATime) {
    // Each request is timed from its own start: queued behind 2,500 others it would run out of time.
    limits.idleMilliseconds = 1000 * testTimeScale();
    server.on("GET", kCalendarListPath, [](const LoopbackHttpServer::Request& r) {
        const int page = r.query.count("pageToken") ? std::stoi(r.query.at("pageToken")) : 0;
        QJsonArray items;
        for (int i = 0; i < 250; ++i)
            items.append(calendarEntry(QStringLiteral("c%1").arg(page * 250 + i), true));
        return Reply{200, json({{QStringLiteral("items"), items},
                                {QStringLiteral("nextPageToken"), QString::number(page + 1)}})};
    });
    auto inFlight = std::make_shared<std::atomic<int>>(0);
    auto mostInFlight = std::make_shared<std::atomic<int>>(0);
    for (int i = 0; i < 2500; ++i)
        server.on("GET", eventsPath("c" + std::to_string(i)), [=](const LoopbackHttpServer::Request&) {
            const int now = ++*inFlight;
            for (int most = *mostInFlight; now > most && !mostInFlight->compare_exchange_weak(most, now);) {
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            --*inFlight;
            return Reply{200, json({})};
        });
    connect();
    const MainThreadWatch watch;

    fetch(queue.now());

    ASSERT_TRUE(service->coverage());
    EXPECT_EQ(service->coverage()->fetchedAt, queue.now()) << logs.messages().join('\n').toStdString();
    EXPECT_EQ(server.requests().size(), size_t(10 + GoogleCalendarService::kShownCalendarLimit));
    EXPECT_LE(mostInFlight->load(), GoogleCalendarClient::kConcurrentCalendarFetches);
    EXPECT_TRUE(
        logs.messages().contains(QStringLiteral("shown_calendars_left_out fetched=250 left_out=2250")));
    watch.expectResponsiveAndBounded();
}

TEST_F(GoogleCalendarServiceTest, AFailureInsideTheCoveredWindowKeepsCacheAndCoverageAndWaitsBeforeRetrying) {
    connect();
    scriptAccount();
    fetch(queue.now());
    const auto coverage = service->coverage();
    server.on("GET", kCalendarListPath, [](const LoopbackHttpServer::Request&) { return Reply{503, "{}"}; });

    // April's window starts on 18 March, inside the cached one, but 20 April is not covered.
    queue.advance(10);
    service->ensureCoverage(berlin(2026, 4, 20));
    ASSERT_TRUE(waitForFetch());

    EXPECT_EQ(service->coverage(), coverage);
    EXPECT_EQ(titlesOn(queue.now()), (QStringList{"standup", "dinner"}));
    EXPECT_EQ(listRequests(), 2u) << "the re-run must not ask the failing server again at once";
    queue.advance(29);
    service->ensureCoverage(berlin(2026, 4, 20));
    EXPECT_FALSE(service->isFetching());
    queue.advance(1);
    fetch(berlin(2026, 4, 20));
    EXPECT_EQ(listRequests(), 3u);
}

TEST_F(GoogleCalendarServiceTest, InvalidGrantDuringAFetchNeedsReconnectWithoutAFetchWarning) {
    connect(tokensExpiringIn(0));
    scriptAccount();
    server.enqueue("POST", "/token", {{400, R"({"error":"invalid_grant"})"}});

    fetch(queue.now());

    EXPECT_EQ(service->state(), GoogleConnectionState::needsReconnect());
    EXPECT_EQ(logs.messages(),
              QStringList{QStringLiteral("refresh rejected (invalid_grant) — reconnect required")});
    EXPECT_FALSE(service->coverage());
    EXPECT_EQ(listRequests(), 0u);
    EXPECT_TRUE(service->events(queue.now()).isEmpty());
    EXPECT_FALSE(service->isLoading());
}

// `other` stands for another host: whatever redirects there, it must hear nothing, not even a token.
TEST_F(GoogleCalendarServiceTest, NoCredentialFollowsARedirectToAnotherOrigin) {
    LoopbackHttpServer other;
    other.enqueue("POST", "/token", {{200, tokenAnswer(QStringLiteral("stolen"))}});
    const auto redirect = [](const QUrl& to, const std::string& path) {
        return Reply{307, "", "text/plain", 0, {{"Location", to.toString().toStdString() + path}}};
    };
    connect(tokensExpiringIn(0));
    const GoogleTokenSet held = *service->tokens();
    server.enqueue("POST", "/token",
                   {redirect(other.baseURL(), "/token"), {200, tokenAnswer(QStringLiteral("access-2"))}});
    server.enqueue("GET", kCalendarListPath,
                   {redirect(other.baseURL(), kCalendarListPath), redirect(server.baseURL(), "/moved")});
    server.on("GET", "/moved", [](const LoopbackHttpServer::Request&) {
        return Reply{200, json({{QStringLiteral("items"), QJsonArray{calendarEntry("work", true)}}})};
    });
    server.enqueue("GET", eventsPath("work"), {redirect(other.baseURL(), eventsPath("work")), {200, "{}"}});

    fetch(queue.now()); // the refresh is redirected
    EXPECT_EQ(service->tokens(), held);
    EXPECT_EQ(storedTokens(), held);
    for (int redirected : {2, 3}) { // the calendar list, then an events page
        queue.advance(31);
        fetch(queue.now());
        EXPECT_EQ(logs.messages().filter(QStringLiteral("cause=redirect_to_other_origin")).size(),
                  redirected);
    }
    queue.advance(31);
    fetch(queue.now());

    EXPECT_TRUE(other.requests().empty());
    EXPECT_EQ(service->coverage()->fetchedAt, queue.now()) << "a redirect within the origin is followed";
    EXPECT_EQ(server.requests("GET", "/moved").back().header("authorization"), "Bearer access-2");
    finishedReplies += qsizetype(server.count("GET", "/moved")); // one reply asked twice: nothing to wait for
}

TEST_F(GoogleCalendarServiceTest, ARebuildWithNothingStillCoversTheWindowAndSignals) {
    connect();
    QSignalSpy dataToken(service.get(), &GoogleCalendarService::dataTokenChanged);
    const DateInterval window = GoogleCalendarService::window(queue.now());

    service->rebuildCache({}, window);

    EXPECT_TRUE(service->eventsByDay().isEmpty());
    EXPECT_EQ(service->coverage(), (GoogleCalendarService::Coverage{window, queue.now()}));
    EXPECT_EQ(dataToken.count(), 1);
    service->ensureCoverage(window.end);
    EXPECT_FALSE(service->isFetching()) << "the day that begins at the window's end is covered";
}

} // namespace
