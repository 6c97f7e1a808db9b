#pragma once

#include "account/AccountModel.h"
#include "account/QuintorAccountBridge.h"
#include "account/StoredSession.h"
#include "support/InMemorySecretStore.h"

#include <exception>
#include <optional>

// The account layer awaits nothing slow in this build, so its tasks have ended by the time they return.
template <typename T> struct Settled {
    std::optional<T> value;
    std::exception_ptr error;
    bool done = false;
};

template <typename T> QCoro::Task<> settleInto(QCoro::Task<T> task, Settled<T>* out) {
    try {
        out->value = co_await task;
    } catch (...) {
        out->error = std::current_exception();
    }
    out->done = true;
}

inline QCoro::Task<> settleVoidInto(QCoro::Task<> task, Settled<bool>* out) {
    try {
        co_await task;
        out->value = true;
    } catch (...) {
        out->error = std::current_exception();
    }
    out->done = true;
}

template <typename T> Settled<T> settle(QCoro::Task<T> task) {
    Settled<T> out;
    settleInto(std::move(task), &out);
    return out;
}

inline Settled<bool> settle(QCoro::Task<> task) {
    Settled<bool> out;
    settleVoidInto(std::move(task), &out);
    return out;
}

inline QuintorAccountError::Kind errorKind(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const QuintorAccountError& e) {
        return e.kind();
    }
}

// A session that expires an hour after `now`.
inline StoredSession sampleSession(Instant now) {
    return {QStringLiteral("qas_token_1"),
            QStringLiteral("refresh_1"),
            now.addingSeconds(3600),
            {QStringLiteral("qa_01936f3c-6c2e-7a4b-9d1e-2f3a4b5c6d7e"),
             QStringLiteral("ada@example.org"),
             {QStringLiteral("google")}},
            QStringLiteral("mondrel"),
            now.addingSeconds(-60)};
}
