#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <algorithm>

// The time a test allows for real work to finish. Under valgrind everything runs many times slower:
// MONDREL_TEST_TIMEOUT_SCALE stretches it.
inline int testTimeoutScale() {
    return std::max(1, qEnvironmentVariableIntValue("MONDREL_TEST_TIMEOUT_SCALE"));
}

inline QDeadlineTimer testDeadline(int milliseconds) {
    return QDeadlineTimer(qint64(milliseconds) * testTimeoutScale());
}

// Pumps the Qt event loop until `done` holds or the time runs out; false when it ran out.
template <typename Predicate> bool runEventsUntil(Predicate done, int timeoutMilliseconds = 10'000) {
    const QDeadlineTimer deadline = testDeadline(timeoutMilliseconds);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}
