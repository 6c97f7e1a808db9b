#pragma once

#include "utilities/Instant.h"

#include <functional>
#include <memory>

// The program's main thread as a queue of work: the next turn, a delay, and a one-shot timer at a
// wall-clock instant. Everything posted runs on the main thread, one item at a time.
class MainQueue {
public:
    using Work = std::function<void()>;

    // Cancels the work it was returned for; cancelling after the work ran, or twice, does nothing.
    class Handle {
    public:
        Handle() = default;
        explicit Handle(std::shared_ptr<bool> cancelled) : cancelled_(std::move(cancelled)) {}
        void cancel() const {
            if (cancelled_)
                *cancelled_ = true;
        }
        bool isValid() const { return cancelled_ && !*cancelled_; }

    private:
        std::shared_ptr<bool> cancelled_;
    };

    virtual ~MainQueue() = default;

    virtual void post(Work work) = 0;
    virtual Handle postAfter(double seconds, Work work) = 0;
    // Fires once when the wall clock reaches `at`, at once when it is already past (e.g. after a suspend).
    virtual Handle postAtWallClock(Instant at, Work work) = 0;
    // The wall clock.
    virtual Instant now() const = 0;
};
