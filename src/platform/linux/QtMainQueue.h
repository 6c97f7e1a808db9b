#pragma once

#include "platform/MainQueue.h"

#include <QObject>

// The Qt event loop as the main queue. Wall-clock timers run on timerfd(CLOCK_REALTIME, absolute), which the
// kernel fires as soon as the machine wakes past the fire time; a monotonic timer would fire late.
class QtMainQueue final : public MainQueue {
public:
    explicit QtMainQueue(QObject* context = nullptr);

    void post(Work work) override;
    Handle postAfter(double seconds, Work work) override;
    Handle postAtWallClock(Instant at, Work work) override;
    Instant now() const override { return Instant::now(); }

private:
    QObject* context_;
    QObject fallbackContext_;
};
