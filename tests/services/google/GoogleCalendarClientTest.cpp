#include "support/GoogleTestSupport.h"

#include "services/google/GoogleCalendarError.h"

#include <QTimeZone>
#include <future>
#include <httplib.h>

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

// A body sent chunked, piece by piece, and as it is: the loopback server compresses plain "application/json".
Reply streamed(std::function<std::optional<std::string>(size_t)> pieces, int pieceDelayMilliseconds = 0) {
    Reply reply;
    reply.contentType = "application/json; charset=utf-8";
    reply.pieces = std::move(pieces);
    reply.pieceDelayMilliseconds = pieceDelayMilliseconds;
    return reply;
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
    // Every page brings a new item and a new token.
    const auto page = [](const LoopbackHttpServer::Request& r) {
        const int next = r.query.count("pageToken") ? std::stoi(r.query.at("pageToken")) + 1 : 1;
        return QString::number(next);
    };
    server.on("GET", kCalendarListPath, [page](const LoopbackHttpServer::Request& r) {
        return Reply{200, calendarPage({calendar(QStringLiteral("c") + page(r))}, page(r))};
    });
    server.on("GET", eventsPath("cal"), [page](const LoopbackHttpServer::Request& r) {
        return Reply{200, json({{QStringLiteral("items"), QJsonArray{event(QStringLiteral("e") + page(r))}},
                                {QStringLiteral("nextPageToken"), page(r)}})};
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

TEST_F(GoogleCalendarClientTest, OneFailingCalendarFailsTheFanOutAbortsTheSlowOnesAndStartsNoMore) {
    // The slow calendars answer only once the fan-out has ended: it must not wait for them.
    std::promise<void> release;
    const std::shared_future<void> released = release.get_future().share();
    QList<GCalendarListEntry> calendars(8);
    for (qsizetype i = 0; i < calendars.size(); ++i) {
        const std::string id = i == 1 ? "broken" : "slow" + std::to_string(i);
        calendars[i].id = QString::fromStdString(id);
        server.on("GET", eventsPath(id), [released, i](const LoopbackHttpServer::Request&) {
            if (i == 1)
                return Reply{500, "{}"};
            released.wait();
            return Reply{200, json({})};
        });
    }

    const auto outcome = finish(client().fetchAllEvents(calendars, kWindow, QStringLiteral("t")));
    const size_t requested = server.requests().size();
    release.set_value();

    EXPECT_FALSE(outcome.value);
    EXPECT_TRUE(outcome.failedWith<GoogleCalendarError>(
        [](const GoogleCalendarError& e) { return e == GoogleCalendarError::http(500); }));
    EXPECT_LE(requested, size_t(GoogleCalendarClient::kConcurrentCalendarFetches));
    EXPECT_EQ(server.count("GET", eventsPath("slow7")), 0u) << "a fetch started after the failure";
}

TEST_F(GoogleCalendarClientTest, ARepeatedPageTokenEndsPagingAndAnIdIsKeptOnce) {
    // Tokens x, y, x: the third page's token came before.
    server.on("GET", eventsPath("c"), [](const LoopbackHttpServer::Request& r) {
        const QString token =
            QString::fromStdString(r.query.count("pageToken") ? r.query.at("pageToken") : "");
        return Reply{200, json({{QStringLiteral("items"), QJsonArray{event("shared"), event("own" + token)}},
                                {QStringLiteral("nextPageToken"), token == "x" ? "y" : "x"}})};
    });

    const auto events = finish(client().fetchEvents(QStringLiteral("c"), kWindow, QStringLiteral("t")));

    ASSERT_TRUE(events.value);
    QStringList ids;
    for (const GEvent& e : *events.value)
        ids << *e.id;
    EXPECT_EQ(ids, QStringList({"shared", "own", "ownx", "owny"}));
    EXPECT_EQ(server.count("GET", eventsPath("c")), 3u);
}

// Each test's server never holds the body whole: it goes out in pieces, as it is, chunked.
TEST_F(GoogleCalendarClientTest, ABodyOverTheLimitIsCutOffAsItArrivesAndALargeOneIsDecodedAside) {
    server.enqueue("GET", eventsPath("huge"), {streamed([](size_t index) -> std::optional<std::string> {
                       return index < 64 ? std::optional(std::string(size_t(1) << 20, ' ')) : std::nullopt;
                   })});
    // 10,000 events, 0.6 MB of JSON: several frames' worth of decoding, sent 500 events to a piece.
    server.enqueue("GET", eventsPath("big"), {streamed([](size_t index) -> std::optional<std::string> {
                       if (index > 20)
                           return std::nullopt;
                       std::string piece = index == 0 ? R"({"items":[{})" : index == 20 ? "]}" : "";
                       for (int i = 0; i < 500 && index < 20; ++i)
                           piece += ',' + json(event(QString::number(index * 500 + i)));
                       return piece;
                   })});
    // 15 MB of tiny calendars: within the size limit, but Qt's document of it would take 250 MB.
    server.enqueue("GET", kCalendarListPath, {streamed([](size_t index) -> std::optional<std::string> {
                       if (index > 1100)
                           return std::nullopt;
                       std::string piece = index == 0 ? R"({"items":[{})" : index == 1100 ? "]}" : "";
                       for (int i = 0; i < 500 && index < 1100; ++i)
                           piece += R"(,{"id":"x"})";
                       return piece;
                   })});
    const MainThreadWatch watch;

    const auto huge = finish(client().fetchEvents(QStringLiteral("huge"), kWindow, QStringLiteral("t")));
    const auto big = finish(client().fetchEvents(QStringLiteral("big"), kWindow, QStringLiteral("t")));
    const auto dense = finish(client().fetchCalendarList(QStringLiteral("t")));

    EXPECT_TRUE(huge.failedWith<GoogleCalendarError>([](const GoogleCalendarError& e) {
        return e.kind() == GoogleCalendarError::Kind::malformedResponse &&
               e.logDetails() == QStringLiteral("cause=body_over_16777216_bytes");
    }));
    ASSERT_TRUE(big.value);
    EXPECT_EQ(big.value->size(), 10'001);
    EXPECT_TRUE(dense.failedWith<GoogleDecodingError>());
    watch.expectResponsiveAndBounded();
}

// 4 GiB of spaces in 4 MB of gzip. Qt refuses to inflate it but, left alone, never ends the reply.
TEST_F(GoogleCalendarClientTest, ACompressedBodyThatInflatesPastTheLimitFailsAtOnceWhateverItsStatus) {
    std::string member; // 1 MiB of spaces; gzip members may follow one another
    httplib::detail::gzip_compressor().compress(std::string(size_t(1) << 20, ' ').data(), size_t(1) << 20,
                                                true, [&](const char* data, size_t size) {
                                                    member.append(data, size);
                                                    return true;
                                                });
    Reply bomb =
        streamed([member](size_t index) { return index < 4096 ? std::optional(member) : std::nullopt; });
    bomb.headers = {{"Content-Encoding", "gzip"}};
    server.enqueue("GET", eventsPath("ok"), {bomb});
    bomb.status = 429;
    server.enqueue("GET", eventsPath("busy"), {bomb});

    for (const char* id : {"ok", "busy"}) {
        auto outcome = begin(client().fetchEvents(QString::fromLatin1(id), kWindow, QStringLiteral("t")));
        ASSERT_TRUE(runEventsUntil([&] { return outcome->done; }, 5000)) << id;
        EXPECT_TRUE(outcome->failedWith<GoogleCalendarError>([](const GoogleCalendarError& e) {
            return e.logDetails() == QStringLiteral("cause=body_over_16777216_bytes");
        })) << id;
    }
}

TEST_F(GoogleCalendarClientTest, ATrickleEndsAtTheDeadlineAndSilenceAtTheIdleLimitEachSayingSo) {
    GoogleHttp::Limits limits;
    limits.idleMilliseconds = 150 * testTimeScale();
    limits.deadlineMilliseconds = 400 * testTimeScale();
    server.enqueue("GET", eventsPath("trickle"),
                   {streamed([](size_t) { return std::optional<std::string>(" "); }, 10)});
    server.enqueue("GET", eventsPath("silent"),
                   {{200, "{}", "application/json", 3 * limits.idleMilliseconds}});

    for (const auto& [id, cause] :
         {std::pair("trickle", "not complete after"), std::pair("silent", "nothing received for")}) {
        const auto outcome =
            finish(client(limits).fetchEvents(QString::fromLatin1(id), kWindow, QStringLiteral("t")));
        EXPECT_TRUE(outcome.failedWith<GoogleTransportError>([expected = std::string(cause)](
                                                                 const GoogleTransportError& e) {
            return e.networkError() == int(QNetworkReply::TimeoutError) &&
                   std::string(e.what()).find(expected) != std::string::npos;
        })) << id;
    }
}

TEST(GoogleRetryAfter, ReadsSecondsOrAnHttpDateWithinTheCap) {
    const QDateTime now(QDate(2026, 3, 10), QTime(12, 0), QTimeZone::utc());
    const auto read = [&](const char* value) { return GoogleHttp::retryAfterSeconds(value, now, 3600); };

    EXPECT_EQ(read(" 120 "), 120.0);
    EXPECT_EQ(read("86400"), 3600.0);
    EXPECT_EQ(read("99999999999999999999"), 3600.0);
    EXPECT_EQ(read("Tue, 10 Mar 2026 12:02:00 GMT"), 120.0);
    EXPECT_EQ(read("Tue, 10 Mar 2026 11:00:00 GMT"), 0.0);
    for (const char* unreadable : {"", "-5", "soon", "1.5"})
        EXPECT_EQ(read(unreadable), std::nullopt) << unreadable;
}

TEST_F(GoogleCalendarClientTest, NoCalendarsMeansNoRequest) {
    const auto outcome =
        finish(client().fetchAllEvents({GCalendarListEntry{}}, kWindow, QStringLiteral("t")));

    ASSERT_TRUE(outcome.value);
    EXPECT_TRUE(outcome.value->isEmpty());
    EXPECT_TRUE(server.requests().empty());
}

} // namespace
