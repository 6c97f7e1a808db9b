#pragma once

#include "services/google/GoogleCalendarError.h"
#include "services/google/GoogleCalendarService.h"
#include "support/CapturingLogSink.h"
#include "support/InMemorySecretStore.h"
#include "support/LoopbackHttpServer.h"
#include "support/QtPrinters.h"
#include "support/RunEvents.h"
#include "support/TaskOutcome.h"
#include "support/VirtualMainQueue.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTimer>
#include <ctime>
#include <gtest/gtest.h>
#if defined(__SANITIZE_ADDRESS__)
extern "C" size_t __sanitizer_get_current_allocated_bytes(); // the address sanitizer's runtime
#else
#include <malloc.h>
#endif

inline bool isGoogleError(const std::exception_ptr& error, GoogleCalendarError::Kind kind) {
    try {
        std::rethrow_exception(error);
    } catch (const GoogleCalendarError& e) {
        return e.kind() == kind;
    } catch (...) {
        return false;
    }
}

inline std::string json(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

// Ticks every 10 ms on the main thread while it lives: the most work the main thread did between two ticks
// is the longest it kept its events waiting. Work is the thread's own CPU time, so that other processes on a
// busy machine do not count. Each tick also samples the heap (memory that the address sanitizer holds back
// after a free does not count).
class MainThreadWatch {
public:
    MainThreadWatch() : lastTick_(threadMilliseconds()), heapBefore_(heapBytes()) {
        timer_.callOnTimeout([this] {
            longestWork_ = std::max(longestWork_, workSinceLastTick());
            lastTick_ = threadMilliseconds();
            mostHeap_ = std::max(mostHeap_, heapBytes());
        });
        timer_.start(10);
    }
    // The main thread never worked 50 ms without a tick (stretched like every time a test allows), the heap
    // never grew by 100 MB.
    void expectResponsiveAndBounded() const {
        EXPECT_LT(std::max(longestWork_, workSinceLastTick()), 50.0 * testTimeScale()) << "ms without a tick";
        EXPECT_LT(mostHeap_ - heapBefore_, qint64(100) << 20) << "bytes more on the heap";
    }

private:
    double workSinceLastTick() const { return threadMilliseconds() - lastTick_; }
    static double threadMilliseconds() {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
    }
    static qint64 heapBytes() {
#if defined(__SANITIZE_ADDRESS__)
        return qint64(__sanitizer_get_current_allocated_bytes());
#else
        const struct mallinfo2 info = mallinfo2();
        return qint64(info.uordblks) + qint64(info.hblkhd);
#endif
    }

    QTimer timer_;
    double lastTick_;
    double longestWork_ = 0;
    const qint64 heapBefore_;
    qint64 mostHeap_ = heapBefore_;
};

// A loopback server standing in for the three Google endpoints, with a network manager that reaches it.
class GoogleServerTest : public ::testing::Test {
protected:
    GoogleServerTest() {
        network.setProxy(QNetworkProxy::NoProxy);
        QObject::connect(&network, &QNetworkAccessManager::finished, [this] { ++finishedReplies; });
    }
    // Lets unattended requests (a revocation) end before the network goes away.
    ~GoogleServerTest() override {
        runEventsUntil([this] { return finishedReplies >= qsizetype(server.requests().size()); }, 3000);
        QCoreApplication::processEvents();
    }

    GoogleEndpoints endpoints() const { return GoogleEndpoints::on(server.baseURL()); }
    GoogleCalendarClient client(GoogleHttp::Limits limits = {}) {
        return GoogleCalendarClient(&network, server.baseURL(), limits);
    }

    LoopbackHttpServer server;
    QNetworkAccessManager network;
    qsizetype finishedReplies = 0;
};

inline const std::string kCalendarListPath = "/calendar/v3/users/me/calendarList";
inline std::string eventsPath(const std::string& calendarID) {
    return "/calendar/v3/calendars/" + calendarID + "/events";
}

// A service wired to the loopback server, the virtual clock and an in-memory secret store, in Berlin.
class GoogleServiceTest : public GoogleServerTest {
protected:
    static Instant berlin(int y, int m, int d, int h = 0, int min = 0, int s = 0) {
        return *Calendar::current().date(y, m, d, h, min, s);
    }

    GoogleServiceTest() : queue(berlin(2026, 3, 10, 12)) {}
    ~GoogleServiceTest() override {
        if (service)
            runEventsUntil([this] { return !service->isFetching() && !service->isRefreshing(); });
    }

    GoogleCalendarService::Environment environment(const QString& clientID = QStringLiteral("client-1")) {
        return {queue, secrets, &network, endpoints(), clientID, limits};
    }
    // Connected with a token set that is good for an hour unless told otherwise.
    void connect(const GoogleTokenSet& tokens) {
        secrets.put(GoogleTokenKeychain::baseKeychainQuery(), tokens.toJson());
        service = std::make_unique<GoogleCalendarService>(environment());
    }
    void connect() { connect(tokensExpiringIn(3600)); }
    GoogleTokenSet tokensExpiringIn(double seconds,
                                    std::optional<QString> refreshToken = QStringLiteral("refresh-1")) {
        return {QStringLiteral("access-1"), std::move(refreshToken), queue.now().addingSeconds(seconds),
                QStringLiteral("me@example.com")};
    }
    std::optional<GoogleTokenSet> storedTokens() const {
        const QByteArray data = secrets.data(GoogleTokenKeychain::baseKeychainQuery());
        return data.isEmpty() ? std::nullopt : GoogleTokenSet::fromJson(data);
    }
    bool waitForFetch() {
        return runEventsUntil([this] { return !service->isFetching(); });
    }

    ScopedCalendarPin pin{QStringLiteral("en_US"), QStringLiteral("Europe/Berlin")};
    VirtualMainQueue queue;
    InMemorySecretStore secrets;
    GoogleHttp::Limits limits;
    std::unique_ptr<GoogleCalendarService> service;
};

inline std::string tokenAnswer(const QString& accessToken, std::optional<int> expiresIn = 3600,
                               std::optional<QString> refreshToken = std::nullopt) {
    QJsonObject answer{{QStringLiteral("access_token"), accessToken},
                       {QStringLiteral("token_type"), QStringLiteral("Bearer")}};
    if (expiresIn)
        answer.insert(QStringLiteral("expires_in"), *expiresIn);
    if (refreshToken)
        answer.insert(QStringLiteral("refresh_token"), *refreshToken);
    return json(answer);
}
