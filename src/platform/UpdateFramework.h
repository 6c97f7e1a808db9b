#pragma once

#include "platform/WindowSystem.h"

#include <QSet>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

// What the update framework asks of the program during an update cycle. Called on the main thread.
class UpdaterDelegate {
public:
    virtual ~UpdaterDelegate() = default;
    // Channels the updater may offer besides the default one.
    virtual QSet<QString> allowedChannels() = 0;
    // The cycle has ended; `error` describes why it failed, nothing when it did not.
    virtual void didFinishUpdateCycle(const std::optional<QString>& error) = 0;
};

// The framework's updater: whether a check can start now, with reports of changes.
class Updater {
public:
    virtual ~Updater() = default;
    // May be read on any thread.
    virtual bool canCheckForUpdates() const = 0;
    // Calls `report` once at once and after every change of canCheckForUpdates(), possibly on another
    // thread, while the observation lives.
    [[nodiscard]] virtual Observation observeCanCheckForUpdates(std::function<void()> report) = 0;
};

// The framework's standard controller: owns the updater and runs user-initiated checks with its own dialogs.
class UpdaterController {
public:
    virtual ~UpdaterController() = default;
    virtual Updater& updater() = 0;
    virtual void checkForUpdates() = 0;
};

// An update framework that the program can start. The feed and the signing key are its configuration.
class UpdateFramework {
public:
    virtual ~UpdateFramework() = default;
    // A controller whose updater has started, reporting to `delegate` (not owned), which outlives it.
    virtual std::unique_ptr<UpdaterController> startController(UpdaterDelegate& delegate) = 0;
};
