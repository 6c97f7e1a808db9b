#pragma once

#include "platform/HandlerList.h"

#include <QString>

#include <functional>

// Named notifications within the program, for code that cannot reach the object that acts on them.
// Handlers run on the main thread, in the order they were added, while the poster waits.
class NotificationCenter {
public:
    static NotificationCenter& defaultCenter();

    [[nodiscard]] Observation addObserver(const QString& name, std::function<void()> handler);
    void post(const QString& name) const;

private:
    struct Registration {
        QString name;
        std::function<void()> handler;
    };
    HandlerList<Registration> registrations_;
};
