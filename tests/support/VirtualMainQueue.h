#pragma once

#include "platform/MainQueue.h"

#include <vector>

// A main queue on virtual time. Delays run on a monotonic clock that stops during a simulated suspend;
// wall-clock timers run on the wall clock, which a suspend moves on.
class VirtualMainQueue final : public MainQueue {
public:
    explicit VirtualMainQueue(Instant wallClock = Instant::fromSecondsSince1970(1'800'000'000));

    void post(Work work) override;
    Handle postAfter(double seconds, Work work) override;
    Handle postAtWallClock(Instant at, Work work) override;
    Instant now() const override { return wallClock_; }

    // Runs everything due now, including work posted by that work.
    void runUntilIdle();
    // Moves both clocks forward step by step, running work in time order.
    void advance(double seconds);
    // The machine sleeps for `seconds`: only the wall clock moves, then due work runs.
    void suspend(double seconds);
    void setWallClock(Instant wallClock) { wallClock_ = wallClock; }

    double monotonicTime() const { return monotonic_; }
    size_t pendingCount() const;

private:
    struct Item {
        bool wallClock;
        double due; // monotonic seconds, or wall-clock seconds since 2001
        unsigned long long order;
        std::shared_ptr<bool> cancelled;
        Work work;
    };
    bool isDue(const Item& item) const;
    bool runOneDue();

    Instant wallClock_;
    double monotonic_ = 0;
    unsigned long long nextOrder_ = 0;
    std::vector<Item> items_;
};
