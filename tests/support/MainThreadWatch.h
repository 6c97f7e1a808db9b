#pragma once

#include "support/RunEvents.h"

#include <QTimer>
#include <algorithm>
#include <ctime>
#include <gtest/gtest.h>
#if defined(__SANITIZE_ADDRESS__)
extern "C" size_t __sanitizer_get_current_allocated_bytes(); // the address sanitizer's runtime
#else
#include <malloc.h>
#endif

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
