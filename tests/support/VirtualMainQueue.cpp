#include "support/VirtualMainQueue.h"

#include <algorithm>
#include <limits>

VirtualMainQueue::VirtualMainQueue(Instant wallClock) : wallClock_(wallClock) {}

void VirtualMainQueue::post(Work work) {
    items_.push_back({false, monotonic_, nextOrder_++, std::make_shared<bool>(false), std::move(work)});
}

MainQueue::Handle VirtualMainQueue::postAfter(double seconds, Work work) {
    auto cancelled = std::make_shared<bool>(false);
    items_.push_back({false, monotonic_ + std::max(0.0, seconds), nextOrder_++, cancelled, std::move(work)});
    return Handle(cancelled);
}

MainQueue::Handle VirtualMainQueue::postAtWallClock(Instant at, Work work) {
    auto cancelled = std::make_shared<bool>(false);
    items_.push_back({true, at.secondsSince2001(), nextOrder_++, cancelled, std::move(work)});
    return Handle(cancelled);
}

bool VirtualMainQueue::isDue(const Item& item) const {
    return item.wallClock ? item.due <= wallClock_.secondsSince2001() : item.due <= monotonic_;
}

bool VirtualMainQueue::runOneDue() {
    auto best = items_.end();
    for (auto it = items_.begin(); it != items_.end(); ++it) {
        if (!isDue(*it))
            continue;
        if (best == items_.end() || it->order < best->order)
            best = it;
    }
    if (best == items_.end())
        return false;
    Item item = std::move(*best);
    items_.erase(best);
    if (!*item.cancelled) {
        *item.cancelled = true;
        item.work();
    }
    return true;
}

void VirtualMainQueue::runUntilIdle() {
    while (runOneDue()) {
    }
}

void VirtualMainQueue::advance(double seconds) {
    const double end = monotonic_ + seconds;
    runUntilIdle();
    for (;;) {
        // The next moment anything falls due, on either clock, expressed as monotonic time.
        double next = std::numeric_limits<double>::infinity();
        for (const Item& item : items_) {
            if (*item.cancelled)
                continue;
            const double at =
                item.wallClock ? monotonic_ + (item.due - wallClock_.secondsSince2001()) : item.due;
            next = std::min(next, at);
        }
        if (next > end)
            break;
        const double step = std::max(0.0, next - monotonic_);
        monotonic_ += step;
        wallClock_ = wallClock_.addingSeconds(step);
        runUntilIdle();
    }
    const double rest = end - monotonic_;
    monotonic_ = end;
    wallClock_ = wallClock_.addingSeconds(rest);
    runUntilIdle();
}

void VirtualMainQueue::suspend(double seconds) {
    wallClock_ = wallClock_.addingSeconds(seconds);
    runUntilIdle();
}

size_t VirtualMainQueue::pendingCount() const {
    return size_t(std::count_if(items_.begin(), items_.end(), [](const Item& i) { return !*i.cancelled; }));
}
