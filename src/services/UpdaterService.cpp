#include "services/UpdaterService.h"

#include "utilities/UserDefaults.h"

#include <QPointer>

namespace {

QString trimmedString(const BundleInfo& bundle, const QString& key) {
    const QVariant value = bundle.value(key);
    return value.typeId() == QMetaType::QString ? value.toString().trimmed() : QString();
}

} // namespace

UpdaterService::UpdaterService(MainQueue& mainQueue, WindowSystem& windowSystem, UserDefaults& defaults,
                               UpdateFramework* framework, const BundleInfo& bundle,
                               const QProcessEnvironment& environment, QObject* parent)
    : QObject(parent), mainQueue_(mainQueue), windowSystem_(windowSystem), defaults_(defaults) {
    if (framework && hasValidUpdateConfig(bundle)) {
        controller_ = framework->startController(*this);
        Updater& updater = controller_->updater();
        // Reports may come from any thread: read the flag there, write it on the main thread.
        canCheckObservation_ =
            updater.observeCanCheckForUpdates([self = QPointer<UpdaterService>(this), &updater, &mainQueue] {
                const bool canCheck = updater.canCheckForUpdates();
                mainQueue.post([self, canCheck] {
                    if (self)
                        self->setCanCheckForUpdates(canCheck);
                });
            });
    }
    if (environment.value(kForceCheckVariable) == QStringLiteral("1")) {
        mainQueue_.postAfter(kForcedCheckDelay, [self = QPointer<UpdaterService>(this)] {
            if (self)
                self->checkForUpdates();
        });
    }
}

// The observation ends before the controller and its updater go.
UpdaterService::~UpdaterService() {
    canCheckObservation_.reset();
}

bool UpdaterService::hasValidUpdateConfig(const BundleInfo& bundle) {
    const QString feed = trimmedString(bundle, QStringLiteral("SUFeedURL"));
    const QString key = trimmedString(bundle, QStringLiteral("SUPublicEDKey"));
    return !feed.isEmpty() && !key.isEmpty() && !key.startsWith(QStringLiteral("REPLACE_"));
}

void UpdaterService::checkForUpdates() {
    if (!controller_)
        return;
    if (!policyBeforeCheck_)
        policyBeforeCheck_ = windowSystem_.activationPolicy();
    windowSystem_.setActivationPolicy(ActivationPolicy::regular);
    windowSystem_.activate();
    controller_->checkForUpdates();
}

QSet<QString> UpdaterService::allowedChannels() {
    if (defaults_.boolValue(kBetaEnabledKey, false))
        return {QStringLiteral("beta")};
    return {};
}

void UpdaterService::didFinishUpdateCycle(const std::optional<QString>& /*error*/) {
    if (const std::optional<ActivationPolicy> policy = std::exchange(policyBeforeCheck_, std::nullopt))
        windowSystem_.setActivationPolicy(*policy);
}

void UpdaterService::setCanCheckForUpdates(bool value) {
    if (canCheckForUpdates_ == value)
        return;
    canCheckForUpdates_ = value;
    emit canCheckForUpdatesChanged(value);
}
