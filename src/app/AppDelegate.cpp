#include "app/AppDelegate.h"

#include "utilities/Log.h"

#include <QLocale>
#include <QPointer>

namespace {

QPointer<AppDelegate>& sharedDelegate() {
    static QPointer<AppDelegate> delegate;
    return delegate;
}

const Log& settingsLog() {
    static const Log log(QStringLiteral("settings"));
    return log;
}

} // namespace

AppDelegate::AppDelegate(MainQueue& mainQueue, WindowSystem& windowSystem, UserDefaults& defaults,
                         QObject* parent)
    : QObject(parent), mainQueue_(mainQueue), windowSystem_(windowSystem), defaults_(defaults),
      activationPolicy_(mainQueue, windowSystem), menuChrome_(mainQueue, windowSystem, defaults) {
    sharedDelegate() = this;
}

AppDelegate::~AppDelegate() = default;

AppDelegate* AppDelegate::shared() {
    return sharedDelegate().data();
}

QString AppDelegate::describeForDiagnostics(const WindowDescription& window) {
    return window.className + QStringLiteral("/id=") + window.identifier.value_or(QStringLiteral("-")) +
           QStringLiteral("/lvl=") + QString::number(window.level) + QStringLiteral("/vis=") +
           (window.visible ? QStringLiteral("true") : QStringLiteral("false"));
}

void AppDelegate::focusSettingsWindow(int attempt) {
    const std::vector<WindowDescription> windows = windowSystem_.windows();
    if (const std::optional<WindowDescription> window = settingsWindow(windows)) {
        activationPolicy_.observeClose(window->id);
        windowSystem_.makeKeyAndOrderFront(window->id);
        windowSystem_.orderFrontRegardless(window->id);
        const bool regular = windowSystem_.activationPolicy() == ActivationPolicy::regular;
        settingsLog().info(QStringLiteral("settings_window_front policy=") +
                           (regular ? QStringLiteral("regular") : QStringLiteral("accessory")));
        return;
    }
    if (attempt >= kLastSettingsLookup) {
        QStringList descriptions;
        for (const WindowDescription& window : windows)
            descriptions << describeForDiagnostics(window);
        settingsLog().error(QStringLiteral("settings_window_never_opened windows=[") +
                            descriptions.join(QLatin1Char(',')) + QStringLiteral("]"));
        activationPolicy_.demoteWhenIdle(false);
        return;
    }
    mainQueue_.postAfter(kSettingsLookupInterval, [self = QPointer(this), attempt] {
        if (self)
            self->focusSettingsWindow(attempt + 1);
    });
}

std::optional<WindowDescription> AppDelegate::settingsWindow() const {
    return settingsWindow(windowSystem_.windows());
}

std::optional<WindowDescription>
AppDelegate::settingsWindow(const std::vector<WindowDescription>& windows) const {
    std::vector<WindowDescription> candidates;
    for (const WindowDescription& window : windows)
        if (ActivationPolicyController::isOrdinaryWindow(window) && window.id != gateWindow_)
            candidates.push_back(window);
    if (candidates.empty())
        return std::nullopt;
    const QLocale locale;
    const QString fragment = locale.toLower(QStringLiteral("settings"));
    for (const WindowDescription& candidate : candidates)
        if (locale.toLower(candidate.identifier.value_or(QString())).contains(fragment))
            return candidate;
    return candidates.front();
}
