#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>

// Pumps the Qt event loop until `done` holds or the time runs out; false when it ran out.
template <typename Predicate> bool runEventsUntil(Predicate done, int timeoutMilliseconds = 10'000) {
    QDeadlineTimer deadline(timeoutMilliseconds);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}
