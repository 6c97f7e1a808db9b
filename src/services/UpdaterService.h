#pragma once

#include "platform/BundleInfo.h"
#include "platform/MainQueue.h"
#include "platform/UpdateFramework.h"
#include "platform/WindowSystem.h"

#include <QObject>
#include <QProcessEnvironment>

#include <memory>
#include <optional>

class UserDefaults;

// Checks for new versions of the program through the update framework, when the build is configured for
// it: the information dictionary must name a feed and a real signing key. Unconfigured, or without a
// framework (as on Linux), it runs no updater and can never check.
class UpdaterService final : public QObject, public UpdaterDelegate {
    Q_OBJECT
public:
    static constexpr double kForcedCheckDelay = 1.0;
    static inline const QString kForceCheckVariable = QStringLiteral("MONDREL_FORCE_UPDATE_CHECK_ON_LAUNCH");
    static inline const QString kBetaEnabledKey = QStringLiteral("mondrel.updates.betaEnabled");

    // `framework` may be null: there is none to start.
    UpdaterService(MainQueue& mainQueue, WindowSystem& windowSystem, UserDefaults& defaults,
                   UpdateFramework* framework, const BundleInfo& bundle = BundleInfo::main(),
                   const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
                   QObject* parent = nullptr);
    ~UpdaterService() override;

    // A feed, and a signing key that is neither blank nor a placeholder.
    static bool hasValidUpdateConfig(const BundleInfo& bundle);

    bool isConfigured() const { return bool(controller_); }
    // Whether an update check can start now.
    bool canCheckForUpdates() const { return canCheckForUpdates_; }
    // The policy to restore when the running update cycle ends.
    std::optional<ActivationPolicy> policyBeforeCheck() const { return policyBeforeCheck_; }

    // Makes the program regular and active for the framework's dialogs, then asks for a check.
    void checkForUpdates();

    QSet<QString> allowedChannels() override;
    void didFinishUpdateCycle(const std::optional<QString>& error) override;

signals:
    void canCheckForUpdatesChanged(bool canCheckForUpdates);

private:
    void setCanCheckForUpdates(bool value);

    MainQueue& mainQueue_;
    WindowSystem& windowSystem_;
    UserDefaults& defaults_;
    std::unique_ptr<UpdaterController> controller_;
    Observation canCheckObservation_;
    bool canCheckForUpdates_ = false;
    std::optional<ActivationPolicy> policyBeforeCheck_;
};
