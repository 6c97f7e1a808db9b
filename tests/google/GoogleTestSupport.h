#pragma once

#include "services/google/GoogleCalendarError.h"
#include "services/google/GoogleCalendarService.h"
#include "support/InMemorySecretStore.h"
#include "support/LoopbackHttpServer.h"
#include "support/QtPrinters.h"
#include "support/VirtualMainQueue.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <gtest/gtest.h>

// Pumps the Qt event loop (the loopback answers arrive through it) until `done` holds or ten seconds pass.
template <typename Predicate> bool runEventsUntil(Predicate done, int timeoutMilliseconds = 10'000) {
    QDeadlineTimer deadline(timeoutMilliseconds);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// The outcome of a task run to its end: its value or its exception.
template <typename T> struct Outcome {
    std::optional<T> value;
    std::exception_ptr error;
    bool done = false;

    template <typename E> bool failedWith(const std::function<bool(const E&)>& check = {}) const {
        if (!error)
            return false;
        try {
            std::rethrow_exception(error);
        } catch (const E& e) {
            return !check || check(e);
        } catch (...) {
            return false;
        }
    }
};

template <typename T> QCoro::Task<> captureInto(QCoro::Task<T> task, std::shared_ptr<Outcome<T>> outcome) {
    try {
        outcome->value = co_await task;
    } catch (...) {
        outcome->error = std::current_exception();
    }
    outcome->done = true;
}

// Starts the task and returns where its outcome will be; pair with runEventsUntil or `finish`.
template <typename T> std::shared_ptr<Outcome<T>> begin(QCoro::Task<T> task) {
    auto outcome = std::make_shared<Outcome<T>>();
    captureInto(std::move(task), outcome);
    return outcome;
}

template <typename T> Outcome<T> finish(QCoro::Task<T> task) {
    auto outcome = begin(std::move(task));
    EXPECT_TRUE(runEventsUntil([&] { return outcome->done; })) << "the task did not end";
    return *outcome;
}

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
    GoogleServerTest() { network.setProxy(QNetworkProxy::NoProxy); }

    GoogleEndpoints endpoints() const { return GoogleEndpoints::on(server.baseURL()); }
    GoogleCalendarClient client() { return GoogleCalendarClient(&network, server.baseURL()); }

    LoopbackHttpServer server;
    QNetworkAccessManager network;
};

inline const std::string kCalendarListPath = "/calendar/v3/users/me/calendarList";
inline std::string eventsPath(const std::string& calendarID) {
    return "/calendar/v3/calendars/" + calendarID + "/events";
}
