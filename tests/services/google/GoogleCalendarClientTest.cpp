#include "support/GoogleTestSupport.h"

#include "services/google/GoogleCalendarError.h"

namespace {

using Reply = LoopbackHttpServer::Reply;

std::string calendarPage(const QJsonArray& items, const std::optional<QString>& next = std::nullopt) {
    QJsonObject page{{QStringLiteral("items"), items}};
    if (next)
        page.insert(QStringLiteral("nextPageToken"), *next);
    return json(page);
}

QJsonObject calendar(const QString& id) {
    return {{QStringLiteral("id"), id}, {QStringLiteral("selected"), true}};
}

QJsonObject event(const QString& id) {
    return {{QStringLiteral("id"), id},
            {QStringLiteral("start"),
             QJsonObject{{QStringLiteral("dateTime"), QStringLiteral("2026-03-02T09:00:00Z")}}}};
}

const DateInterval kWindow{Instant::fromSecondsSince1970(1'771'113'600),  // 2026-02-15T00:00:00Z
                           Instant::fromSecondsSince1970(1'776'211'200)}; // 2026-04-15T00:00:00Z

class GoogleCalendarClientTest : public GoogleServerTest {};

TEST_F(GoogleCalendarClientTest, CalendarListSendsTheBearerTokenAndTheFixedQuery) {
    server.enqueue("GET", kCalendarListPath, {{200, calendarPage({calendar("a"), calendar("b")})}});

    const auto outcome = finish(client().fetchCalendarList(QStringLiteral("tok/en")));

    ASSERT_TRUE(outcome.value);
    ASSERT_EQ(outcome.value->size(), 2);
    EXPECT_EQ(outcome.value->at(1).id, QStringLiteral("b"));
    const auto requests = server.requests("GET", kCalendarListPath);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].header("authorization"), "Bearer tok/en");
    EXPECT_EQ(requests[0].target,
              kCalendarListPath + "?minAccessRole=reader&fields=items(id,summary,backgroundColor,selected,"
                                  "primary),nextPageToken&maxResults=250");
}

TEST_F(GoogleCalendarClientTest, CalendarListFollowsEveryPageTokenEvenEmptyOnesAndPagesWithoutItems) {
    server.on("GET", kCalendarListPath, [](const LoopbackHttpServer::Request& r) {
        if (!r.query.count("pageToken"))
            return Reply{200, json({{QStringLiteral("nextPageToken"), QStringLiteral("p2")}})};
        if (r.query.at("pageToken") == "p2")
            return Reply{200, calendarPage({calendar("a")}, QString())};
        return Reply{200, calendarPage({calendar("b")})};
    });

    const auto outcome = finish(client().fetchCalendarList(QStringLiteral("t")));

    ASSERT_TRUE(outcome.value);
    ASSERT_EQ(outcome.value->size(), 2);
    EXPECT_EQ(outcome.value->at(0).id, QStringLiteral("a"));
    const auto requests = server.requests("GET", kCalendarListPath);
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[2].query.at("pageToken"), "");
    EXPECT_TRUE(requests[2].target.ends_with("&maxResults=250&pageToken="));
}

TEST_F(GoogleCalendarClientTest, PagingStopsAtTenCalendarPagesAndTwentyEventPages) {
    server.on("GET", kCalendarListPath, [](const LoopbackHttpServer::Request&) {
        return Reply{200, calendarPage({calendar("c")}, QStringLiteral("more"))};
    });
    server.on("GET", eventsPath("cal"), [](const LoopbackHttpServer::Request&) {
        return Reply{200, json({{QStringLiteral("items"), QJsonArray{event("e")}},
                                {QStringLiteral("nextPageToken"), QStringLiteral("more")}})};
    });

    const auto calendars = finish(client().fetchCalendarList(QStringLiteral("t")));
    const auto events = finish(client().fetchEvents(QStringLiteral("cal"), kWindow, QStringLiteral("t")));

    ASSERT_TRUE(calendars.value);
    EXPECT_EQ(calendars.value->size(), 10);
    EXPECT_EQ(server.count("GET", kCalendarListPath), 10u);
    ASSERT_TRUE(events.value);
    EXPECT_EQ(events.value->size(), 20);
    EXPECT_EQ(server.count("GET", eventsPath("cal")), 20u);
}

TEST_F(GoogleCalendarClientTest, EventsRequestCarriesTheWindowInUtcAndKeepsTheCalendarIdInOneSegment) {
    const QString id = QStringLiteral("team/a@group.calendar.google.com#x");
    server.on("GET", eventsPath("team/a@group.calendar.google.com#x"),
              [](const LoopbackHttpServer::Request&) {
                  return Reply{200, json({})};
              });

    const auto outcome = finish(client().fetchEvents(id, kWindow, QStringLiteral("t")));

    ASSERT_TRUE(outcome.value) << "the server did not see the decoded id as the path";
    EXPECT_TRUE(outcome.value->isEmpty());
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(
        requests[0].target,
        "/calendar/v3/calendars/team%2Fa%40group.calendar.google.com%23x/events"
        "?timeMin=2026-02-15T00:00:00Z&timeMax=2026-04-15T00:00:00Z&singleEvents=true&orderBy=startTime"
        "&maxResults=250&fields=items(id,iCalUID,status,summary,start(date,dateTime),end(date,dateTime)),"
        "nextPageToken");
}

// Qt sends "%2E" as "." and then drops dot and empty segments, so such an id would reach another path
// ("/calendar/v3/events" for ".."); it is never sent, and the other calendars are fetched as usual.
TEST_F(GoogleCalendarClientTest, IdsThatCannotStayOneSegmentAreNeverSent) {
    server.enqueue("GET", eventsPath("a"),
                   {{200, json({{QStringLiteral("items"), QJsonArray{event("a1")}}})}});
    for (const QString& id : {QStringLiteral(".."), QStringLiteral("."), QString()}) {
        const auto outcome = finish(client().fetchEvents(id, kWindow, QStringLiteral("t")));
        EXPECT_TRUE(outcome.failedWith<GoogleCalendarError>([](const GoogleCalendarError& e) {
            return e.kind() == GoogleCalendarError::Kind::malformedResponse;
        })) << id.toStdString();
    }
    QList<GCalendarListEntry> calendars(4);
    calendars[0].id = QStringLiteral("..");
    calendars[1].id = QStringLiteral("a");
    calendars[2].id = QStringLiteral(".");
    calendars[3].id = QString();

    const auto outcome = finish(client().fetchAllEvents(calendars, kWindow, QStringLiteral("t")));

    ASSERT_TRUE(outcome.value);
    ASSERT_EQ(outcome.value->size(), 1);
    EXPECT_EQ(outcome.value->at(0).calendar.id, QStringLiteral("a"));
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].path, eventsPath("a"));
    EXPECT_TRUE(GoogleCalendarClient::isAddressable(QStringLiteral("...")));
    EXPECT_TRUE(GoogleCalendarClient::isAddressable(QStringLiteral(".a")));
}

TEST_F(GoogleCalendarClientTest, PageTokensWithReservedCharactersSurviveTheQuery) {
    server.on("GET", eventsPath("c"), [](const LoopbackHttpServer::Request& r) {
        if (!r.query.count("pageToken"))
            return Reply{200, json({{QStringLiteral("nextPageToken"), QStringLiteral("a+b&c=d")}})};
        return Reply{200, json({{QStringLiteral("items"),
                                 QJsonArray{event(QString::fromStdString(r.query.at("pageToken")))}}})};
    });

    const auto outcome = finish(client().fetchEvents(QStringLiteral("c"), kWindow, QStringLiteral("t")));

    ASSERT_TRUE(outcome.value);
    ASSERT_EQ(outcome.value->size(), 1);
    EXPECT_EQ(outcome.value->at(0).id, QStringLiteral("a+b&c=d"));
}

TEST_F(GoogleCalendarClientTest, StatusesMapToErrorsWith401TestedFirst) {
    struct Case {
        int status;
        GoogleCalendarError expected;
    };
    for (const Case& c :
         {Case{401, GoogleCalendarError::unauthorized()}, Case{403, GoogleCalendarError::http(403)},
          Case{500, GoogleCalendarError::http(500)}}) {
        const int status = c.status;
        server.on("GET", kCalendarListPath, [status](const LoopbackHttpServer::Request&) {
            return Reply{status, calendarPage({calendar("a")})};
        });
        const auto outcome = finish(client().fetchCalendarList(QStringLiteral("t")));
        EXPECT_TRUE(outcome.failedWith<GoogleCalendarError>([&](const GoogleCalendarError& e) {
            return e == c.expected;
        })) << "status "
            << c.status;
    }
}

TEST_F(GoogleCalendarClientTest, AFieldOfTheWrongTypeFailsTheWholeCallAndDiscardsEarlierPages) {
    server.on("GET", kCalendarListPath, [](const LoopbackHttpServer::Request& r) {
        if (!r.query.count("pageToken"))
            return Reply{200, calendarPage({calendar("a")}, QStringLiteral("2"))};
        return Reply{200, R"({"items":[{"id":"b","selected":"true"}]})"};
    });

    const auto outcome = finish(client().fetchCalendarList(QStringLiteral("t")));

    EXPECT_FALSE(outcome.value);
    EXPECT_TRUE(outcome.failedWith<GoogleDecodingError>());
}

TEST_F(GoogleCalendarClientTest, AnUnreachableServerIsATransportError) {
    GoogleCalendarClient unreachable(&network, QUrl(QStringLiteral("http://127.0.0.1:1")));

    const auto outcome = finish(unreachable.fetchCalendarList(QStringLiteral("t")));

    EXPECT_TRUE(outcome.failedWith<GoogleTransportError>());
}

TEST_F(GoogleCalendarClientTest, FanOutFetchesEveryCalendarWithAnIdAndSkipsTheOthers) {
    server.enqueue("GET", eventsPath("a"),
                   {{200, json({{QStringLiteral("items"), QJsonArray{event("a1"), event("a2")}}})}});
    server.enqueue("GET", eventsPath("b"),
                   {{200, json({{QStringLiteral("items"), QJsonArray{event("b1")}}})}});
    QList<GCalendarListEntry> calendars(3);
    calendars[0].id = QStringLiteral("a");
    calendars[2].id = QStringLiteral("b");

    const auto outcome = finish(client().fetchAllEvents(calendars, kWindow, QStringLiteral("t")));

    ASSERT_TRUE(outcome.value);
    ASSERT_EQ(outcome.value->size(), 2);
    QMap<QString, qsizetype> sizes; // completion order is not fixed
    for (const GCalendarEvents& pair : *outcome.value)
        sizes.insert(*pair.calendar.id, pair.events.size());
    EXPECT_EQ(sizes.value(QStringLiteral("a")), 2);
    EXPECT_EQ(sizes.value(QStringLiteral("b")), 1);
    EXPECT_EQ(server.requests().size(), 2u);
}

TEST_F(GoogleCalendarClientTest, OneFailingCalendarFailsTheFanOutAndAbortsTheSlowOnes) {
    server.enqueue("GET", eventsPath("slow"), {{200, json({}), "application/json", 800}});
    server.enqueue("GET", eventsPath("broken"), {{500, "{}"}});
    QList<GCalendarListEntry> calendars(2);
    calendars[0].id = QStringLiteral("slow");
    calendars[1].id = QStringLiteral("broken");

    QElapsedTimer elapsed;
    elapsed.start();
    const auto outcome = finish(client().fetchAllEvents(calendars, kWindow, QStringLiteral("t")));

    EXPECT_FALSE(outcome.value);
    EXPECT_TRUE(outcome.failedWith<GoogleCalendarError>(
        [](const GoogleCalendarError& e) { return e == GoogleCalendarError::http(500); }));
    EXPECT_LT(elapsed.elapsed(), 800) << "the failure waited for the slow calendar";
}

TEST_F(GoogleCalendarClientTest, NoCalendarsMeansNoRequest) {
    const auto outcome =
        finish(client().fetchAllEvents({GCalendarListEntry{}}, kWindow, QStringLiteral("t")));

    ASSERT_TRUE(outcome.value);
    EXPECT_TRUE(outcome.value->isEmpty());
    EXPECT_TRUE(server.requests().empty());
}

} // namespace
