#pragma once

#include <QStringList>

#include <functional>

// Keeps one running instance of the program per user. A later launch hands its URLs, or a plain request
// to come forward when it has none, to the running instance and then ends.
class SingleInstance {
public:
    enum class Role {
        // This process is the running instance; requests from later launches reach the handlers.
        primary,
        // Another instance runs and has been handed the request: this process should end.
        secondary,
        // Neither could be settled (no socket directory, a lock held too long): run on as if alone.
        unavailable,
        // Another instance runs but did not take the request (too long, malformed, not acknowledged): this
        // process should end with a failure status rather than lose the request silently.
        undelivered,
    };

    struct Handlers {
        // URLs a later launch was started with, as it received them, in their order.
        std::function<void(const QStringList& urls)> openURLs;
        // A later launch without URLs.
        std::function<void()> reopen;
    };

    virtual ~SingleInstance() = default;

    // Becomes the running instance, or hands `urls` (a reopen when empty) to the one that runs.
    virtual Role claim(const QStringList& urls) = 0;
    // Where requests go once this process is the running instance.
    virtual void setHandlers(Handlers handlers) = 0;
};
