#pragma once

#include "support/RunEvents.h"

#include <QCoro/QCoroTask>
#include <gtest/gtest.h>

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <variant>

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

// A task without a result has an empty value once it has ended without an exception.
inline QCoro::Task<> captureInto(QCoro::Task<> task, std::shared_ptr<Outcome<std::monostate>> outcome) {
    try {
        co_await task;
        outcome->value.emplace();
    } catch (...) {
        outcome->error = std::current_exception();
    }
    outcome->done = true;
}

inline std::shared_ptr<Outcome<std::monostate>> begin(QCoro::Task<> task) {
    auto outcome = std::make_shared<Outcome<std::monostate>>();
    captureInto(std::move(task), outcome);
    return outcome;
}

inline Outcome<std::monostate> finish(QCoro::Task<> task) {
    auto outcome = begin(std::move(task));
    EXPECT_TRUE(runEventsUntil([&] { return outcome->done; })) << "the task did not end";
    return *outcome;
}
