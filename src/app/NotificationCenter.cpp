#include "app/NotificationCenter.h"

NotificationCenter& NotificationCenter::defaultCenter() {
    static NotificationCenter center;
    return center;
}

Observation NotificationCenter::addObserver(const QString& name, std::function<void()> handler) {
    return registrations_.add({name, std::move(handler)});
}

void NotificationCenter::post(const QString& name) const {
    registrations_.visitUntil([&name](const Registration& registration) {
        if (registration.name == name)
            registration.handler();
        return false;
    });
}
