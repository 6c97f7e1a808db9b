#include "platform/linux/QtMainQueue.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

namespace {
// Runs the event loop until `done` holds or a generous deadline passes.
template <typename Predicate> bool runUntil(Predicate done) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    return done();
}
} // namespace

TEST(QtMainQueue, RunsPostedWorkInOrderOnTheEventLoop) {
    QtMainQueue queue;
    QStringList order;
    queue.post([&] { order << "first"; });
    queue.postAfter(0.01, [&] { order << "delayed"; });
    queue.post([&] { order << "second"; });
    ASSERT_TRUE(runUntil([&] { return order.size() == 3; }));
    EXPECT_EQ(order, QStringList({"first", "second", "delayed"}));
}

TEST(QtMainQueue, WallClockTimersFireAtTheInstantAndAtOnceWhenPast) {
    QtMainQueue queue;
    int fired = 0;
    const Instant start = queue.now();
    queue.postAtWallClock(start.addingSeconds(-3600), [&] { ++fired; });
    queue.postAtWallClock(start.addingSeconds(0.05), [&] { ++fired; });
    ASSERT_TRUE(runUntil([&] { return fired == 2; }));
    EXPECT_GE(queue.now().secondsSince(start), 0.04);
}

TEST(QtMainQueue, CancelledWorkNeverRuns) {
    QtMainQueue queue;
    bool cancelledRan = false;
    bool sentinel = false;
    auto delayed = queue.postAfter(0.01, [&] { cancelledRan = true; });
    auto timer = queue.postAtWallClock(queue.now().addingSeconds(0.01), [&] { cancelledRan = true; });
    delayed.cancel();
    timer.cancel();
    EXPECT_FALSE(timer.isValid());
    queue.postAfter(0.05, [&] { sentinel = true; });
    ASSERT_TRUE(runUntil([&] { return sentinel; }));
    EXPECT_FALSE(cancelledRan);
}
