#pragma once

#include "services/google/GoogleCalendarError.h"
#include "services/google/GoogleCalendarService.h"
#include "support/CapturingLogSink.h"
#include "support/InMemorySecretStore.h"
#include "support/LoopbackHttpServer.h"
#include "support/MainThreadWatch.h"
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
#include <gtest/gtest.h>

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
