#include "app/AppDelegate.h"

#include "account/AccountModel.h"
#include "account/QuintorAccountBridge.h"
#include "account/QuintorAccountManager.h"
#include "app/NotificationCenter.h"
#include "app/SettingsPresenter.h"
#include "services/UpdaterService.h"
#include "utilities/Constants.h"
#include "utilities/Log.h"
#include "utilities/UserDefaults.h"

#include <QLocale>
#include <QPointer>
#include <QUrl>

#include <algorithm>
#include <string_view>

namespace {

QPointer<AppDelegate>& sharedDelegate() {
    static QPointer<AppDelegate> delegate;
    return delegate;
}

QPointer<AccountModel>& sharedAccountModel() {
    static QPointer<AccountModel> account;
    return account;
}

QPointer<QuintorAccountBridge>& sharedAccountBridge() {
    static QPointer<QuintorAccountBridge> bridge;
    return bridge;
}

QPointer<UpdaterService>& publishedUpdater() {
    static QPointer<UpdaterService> updater;
    return updater;
}

const Log& settingsLog() {
    static const Log log(QStringLiteral("settings"));
    return log;
}

const Log& lifecycleLog() {
    static const Log log(QStringLiteral("lifecycle"));
    return log;
}

const Log& authLog() {
    static const Log log(QStringLiteral("auth"));
    return log;
}

bool isAsciiLetter(QChar c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

qsizetype indexOfAny(QStringView text, std::u16string_view characters) {
    for (qsizetype i = 0; i < text.size(); ++i)
        if (characters.find(text[i].unicode()) != std::u16string_view::npos)
            return i;
    return text.size();
}

const QString kSelfTestArgument = QStringLiteral("--selftest");
const QString kScheme = QStringLiteral("mondrel");
const QStringList kAuthHosts = {QStringLiteral("auth"), QStringLiteral("auth-callback"),
                                QStringLiteral("signed-in")};

} // namespace

// Ends the program when the gate menu's "Quit Mondrel" is chosen.
class AppDelegate::TerminateResponder final : public ActionResponder {
public:
    explicit TerminateResponder(const std::function<void()>& terminate) : terminate_(terminate) {}
    bool tryToPerform(const QString& action, const MenuItem*) override {
        if (action != QStringLiteral("terminate:") || !terminate_)
            return false;
        terminate_();
        return true;
    }

private:
    const std::function<void()>& terminate_;
};

AppDelegate::AppDelegate(Environment environment, QObject* parent)
    : QObject(parent), env_(std::move(environment)), activationPolicy_(env_.mainQueue, env_.windowSystem),
      menuChrome_(env_.mainQueue, env_.windowSystem, env_.defaults),
      terminateResponder_(std::make_unique<TerminateResponder>(env_.terminate)),
      isSelfTest_(isSelfTestArguments(env_.arguments)),
      settingsPresenterWindowSystem_(SettingsPresenter::useWindowSystem(env_.windowSystem)) {
    terminateRegistration_ = env_.windowSystem.addResponder(terminateResponder_.get());
    sharedDelegate() = this;
}

AppDelegate::AppDelegate(MainQueue& mainQueue, WindowSystem& windowSystem, UserDefaults& defaults,
                         QObject* parent)
    : AppDelegate(Environment{mainQueue, windowSystem, defaults}, parent) {}

AppDelegate::~AppDelegate() {
    if (gateWindowObject_)
        gateWindowObject_->deleteLater();
}

AppDelegate* AppDelegate::shared() {
    return sharedDelegate().data();
}

AccountModel* AppDelegate::sharedAccount() {
    return sharedAccountModel().data();
}

QuintorAccountBridge* AppDelegate::sharedBridge() {
    return sharedAccountBridge().data();
}

void AppDelegate::setSharedAccount(AccountModel* account) {
    sharedAccountModel() = account;
}

void AppDelegate::setSharedBridge(QuintorAccountBridge* bridge) {
    sharedAccountBridge() = bridge;
}

UpdaterService* AppDelegate::sharedUpdater() {
    return publishedUpdater().data();
}

void AppDelegate::setSharedUpdater(UpdaterService* updater) {
    publishedUpdater() = updater;
}

bool AppDelegate::isSelfTestArguments(const QStringList& arguments) {
    return arguments.contains(kSelfTestArgument);
}

QStringList AppDelegate::urlsInArguments(const QStringList& arguments) {
    QStringList urls;
    for (qsizetype i = 1; i < arguments.size(); ++i)
        if (schemeOf(arguments[i]))
            urls << arguments[i];
    return urls;
}

std::optional<QString> AppDelegate::schemeOf(QStringView url) {
    const qsizetype colon = url.indexOf(QLatin1Char(':'));
    if (colon < 1 || !isAsciiLetter(url[0]))
        return std::nullopt;
    for (const QChar c : url.first(colon))
        if (!isAsciiLetter(c) && !(c >= u'0' && c <= u'9') && c != u'+' && c != u'-' && c != u'.')
            return std::nullopt;
    return url.first(colon).toString();
}

std::optional<QString> AppDelegate::hostOf(QStringView url) {
    const std::optional<QString> scheme = schemeOf(url);
    if (!scheme)
        return std::nullopt;
    QStringView rest = url.sliced(scheme->size() + 1);
    if (!rest.startsWith(QStringLiteral("//")))
        return std::nullopt;
    rest = rest.sliced(2);
    QStringView authority = rest.first(std::min(rest.size(), indexOfAny(rest, u"/?#")));
    if (const qsizetype at = authority.lastIndexOf(QLatin1Char('@')); at >= 0)
        authority = authority.sliced(at + 1);
    // A port follows the last colon, except inside an IPv6 literal.
    if (const qsizetype colon = authority.lastIndexOf(QLatin1Char(':'));
        colon >= 0 && !authority.sliced(colon).contains(QLatin1Char(']')))
        authority = authority.first(colon);
    if (authority.isEmpty())
        return std::nullopt;
    return authority.toString();
}

bool AppDelegate::claimSingleInstance() {
    if (claimed_)
        return *claimed_;
    claimed_ = true;
    if (isSelfTest_ || !env_.singleInstance)
        return true;
    const SingleInstance::Role role = env_.singleInstance->claim(urlsInArguments(env_.arguments));
    if (role == SingleInstance::Role::secondary || role == SingleInstance::Role::undelivered) {
        claimed_ = false;
        // A link the running instance did not take must not look handled to whoever opened it.
        if (env_.exitProcess)
            env_.exitProcess(role == SingleInstance::Role::secondary ? 0 : 1);
        return false;
    }
    QPointer<AppDelegate> self(this);
    env_.singleInstance->setHandlers({[self](const QStringList& urls) {
                                          if (self)
                                              self->openURLs(urls);
                                      },
                                      [self] {
                                          if (self)
                                              self->applicationShouldHandleReopen(false);
                                      }});
    return true;
}

// The order is the one the rest of the program relies on: nothing is installed by a second instance, and
// the launch task runs only after this handler has returned.
void AppDelegate::applicationDidFinishLaunching() {
    sharedDelegate() = this;

    if (isSelfTest_) {
        lifecycleLog().info(QStringLiteral("selftest ok \u2014 Mondrel ") + Constants::version());
        env_.windowSystem.setActivationPolicy(ActivationPolicy::accessory);
        env_.mainQueue.post([terminate = env_.terminate] {
            if (terminate)
                terminate();
        });
        return;
    }

    if (!claimSingleInstance())
        return;

    env_.windowSystem.setActivationPolicy(ActivationPolicy::accessory);
    menuChrome_.installSanitizer();
    if (env_.installStatusItemMonitor)
        env_.installStatusItemMonitor();
    openSettingsObserver_ = NotificationCenter::defaultCenter().addObserver(
        kOpenSettingsNotification, [] { SettingsPresenter::present(); });
    env_.mainQueue.post([self = QPointer(this)] {
        if (self)
            runLaunchTask(self);
    });
    checkAppTranslocation();
    didBecomeActiveObserver_ = env_.windowSystem.observeDidBecomeActive([self = QPointer(this)] {
        if (self)
            self->foregroundRefresh();
    });

    // A launch by a URL of the program's scheme delivers it like one sent to the running program.
    if (const QStringList launchURLs = urlsInArguments(env_.arguments); !launchURLs.isEmpty())
        env_.mainQueue.post([self = QPointer(this), launchURLs] {
            if (self)
                self->openURLs(launchURLs);
        });
}

QCoro::Task<> AppDelegate::runLaunchTask(QPointer<AppDelegate> self) {
    const QPointer<AccountModel> account = sharedAccount();
    if (!account)
        co_return;
    try {
        QCoro::Task<std::optional<QuintorAccount>> restoring = account->bridge().manager().restore(false);
        co_await restoring;
    } catch (...) {
        // Carry on as if nothing had been stored: the refresh reports signed out and the gate opens.
    }
    if (!account)
        co_return;
    QCoro::Task<> refreshing = account->refresh();
    co_await refreshing;
    if (self && account && account->route() != AccountModel::Route::calendar)
        self->showGate();
}

QCoro::Task<> AppDelegate::refreshAccount(QPointer<AccountModel> account) {
    if (!account)
        co_return;
    QCoro::Task<> refreshing = account->refresh();
    co_await refreshing;
}

void AppDelegate::foregroundRefresh() {
    if (!sharedAccount())
        return;
    const Instant now = env_.mainQueue.now();
    if (lastForegroundRefreshAt_) {
        // A clock set back must not hold off refreshes until it catches up again.
        const double elapsed = now.secondsSince(*lastForegroundRefreshAt_);
        if (elapsed >= 0 && elapsed < kForegroundRefreshMinInterval)
            return;
    }
    lastForegroundRefreshAt_ = now;
    refreshAccount(sharedAccount());
}

bool AppDelegate::applicationShouldHandleReopen(bool hasVisibleWindows) {
    Q_UNUSED(hasVisibleWindows);
    if (isSelfTest_)
        return true;
    if (const AccountModel* account = sharedAccount(); account && account->isSignedIn()) {
        openMenuBarPopover();
    } else if (gateWindow_ && isVisible(*gateWindow_)) {
        activationPolicy_.promoteForWindow();
        env_.windowSystem.makeKeyAndOrderFront(*gateWindow_);
    } else {
        showGate();
    }
    return false;
}

bool AppDelegate::isVisible(WindowId window) const {
    for (const WindowDescription& description : env_.windowSystem.windows())
        if (description.id == window)
            return description.visible;
    return false;
}

void AppDelegate::openMenuBarPopover() {
    env_.mainQueue.postAfter(kPopoverDelay, [self = QPointer(this)] {
        if (self)
            self->env_.windowSystem.openStatusItemPopover();
    });
}

void AppDelegate::checkAppTranslocation() {
    if (!env_.bundlePath.contains(QStringLiteral("AppTranslocation")))
        return;
    if (env_.defaults.boolValue(kTranslocationWarningShownKey, false))
        return;
    // Offered at most once, even when the program quits before the alert shows.
    env_.defaults.setBool(kTranslocationWarningShownKey, true);
    env_.mainQueue.postAfter(kTranslocationAlertDelay, [self = QPointer(this)] {
        if (self)
            self->showTranslocationAlert();
    });
}

void AppDelegate::showTranslocationAlert() {
    const ActivationPolicy previous = env_.windowSystem.activationPolicy();
    env_.windowSystem.setActivationPolicy(ActivationPolicy::regular);
    env_.windowSystem.activate();
    Alert alert;
    alert.messageText = QStringLiteral("Move Mondrel to ~/.local/bin");
    alert.informativeText = QStringLiteral("To enable automatic updates, please move ") +
                            QStringLiteral("Mondrel") + QStringLiteral(" to ~/.local/bin, then relaunch.");
    alert.style = Alert::Style::warning;
    alert.buttons = {QStringLiteral("Show in File Manager"), QStringLiteral("Later")};
    const QPointer<AppDelegate> self(this);
    const int choice = env_.alerts ? env_.alerts->runModal(alert) : -1;
    if (!self)
        return;
    if (choice == 0 && env_.workspace)
        env_.workspace->reveal(env_.bundlePath);
    if (previous == ActivationPolicy::accessory)
        activationPolicy_.demoteWhenIdle(false);
}

void AppDelegate::showGate() {
    if (gateWindow_) {
        activationPolicy_.promoteNow();
        env_.windowSystem.makeKeyAndOrderFront(*gateWindow_);
        env_.windowSystem.orderFrontRegardless(*gateWindow_);
        return;
    }
    AccountModel* account = sharedAccount();
    QuintorAccountBridge* bridge = sharedBridge();
    if (!account || !bridge || !env_.makeGateWindow)
        return;
    const QPointer<AppDelegate> self(this);
    GateContent content{
        [self] {
            if (!self)
                return;
            if (self->gateWindow_)
                self->env_.windowSystem.close(*self->gateWindow_);
            self->gateWindow_.reset();
        },
        [self]() -> std::optional<WindowId> { return self ? self->gateWindow_ : std::nullopt; }, *account,
        *bridge};
    const std::optional<GateWindowHandle> window = env_.makeGateWindow(std::move(content));
    if (!window)
        return;
    installGateMenu();
    gateWindow_ = window->id;
    gateWindowObject_ = window->window;
    activationPolicy_.promoteNow();
    env_.windowSystem.makeKeyAndOrderFront(window->id);
    env_.windowSystem.orderFrontRegardless(window->id);
    windowCloseObserver_ = env_.windowSystem.observeWillClose(window->id, [self] {
        if (self)
            self->gateDidClose();
    });
}

void AppDelegate::gateDidClose() {
    if (QuintorAccountBridge* bridge = sharedBridge())
        bridge->manager().cancelSignIn();
    activationPolicy_.demoteWhenIdle(true);
    env_.windowSystem.setMainMenu(nullptr);
    gateWindow_.reset();
    // The window is in the middle of closing: it goes once control is back in the event loop.
    if (gateWindowObject_)
        gateWindowObject_->deleteLater();
    gateWindowObject_.clear();
    windowCloseObserver_.reset();
}

void AppDelegate::installGateMenu() {
    auto app = std::make_shared<Menu>(QStringLiteral("Mondrel"));
    app->addItem(QStringLiteral("Quit Mondrel"), QStringLiteral("terminate:"), QStringLiteral("q"));
    auto edit = std::make_shared<Menu>(QStringLiteral("Edit"));
    edit->addItem(QStringLiteral("Cut"), QStringLiteral("cut:"), QStringLiteral("x"));
    edit->addItem(QStringLiteral("Copy"), QStringLiteral("copy:"), QStringLiteral("c"));
    edit->addItem(QStringLiteral("Paste"), QStringLiteral("paste:"), QStringLiteral("v"));
    edit->addItem(QStringLiteral("Select All"), QStringLiteral("selectAll:"), QStringLiteral("a"));
    auto menu = std::make_shared<Menu>();
    menu->addSubmenu(app);
    menu->addSubmenu(edit);
    env_.windowSystem.setMainMenu(menu);
}

void AppDelegate::openURLs(const QStringList& urls) {
    for (const QString& url : urls)
        handleIncomingURL(url);
}

void AppDelegate::handleIncomingURL(const QString& url) {
    if (schemeOf(url) != kScheme)
        return;
    const std::optional<QString> host = hostOf(url);
    QuintorAccountBridge* bridge = sharedBridge();
    if (host && kAuthHosts.contains(host->toLower()) && bridge &&
        bridge->manager().resume(QUrl(url, QUrl::StrictMode))) {
        env_.windowSystem.setActivationPolicy(ActivationPolicy::regular);
        QuintorAccountManager::activateForAuthReturn(env_.windowSystem, gateWindow_);
        return;
    }
    authLog().error(QStringLiteral("auth_callback_unmatched host=") + host.value_or(QStringLiteral("nil")));
}

QString AppDelegate::describeForDiagnostics(const WindowDescription& window) {
    return window.className + QStringLiteral("/id=") + window.identifier.value_or(QStringLiteral("-")) +
           QStringLiteral("/lvl=") + QString::number(window.level) + QStringLiteral("/vis=") +
           (window.visible ? QStringLiteral("true") : QStringLiteral("false"));
}

void AppDelegate::focusSettingsWindow(int attempt) {
    const std::vector<WindowDescription> windows = env_.windowSystem.windows();
    if (const std::optional<WindowDescription> window = settingsWindow(windows)) {
        activationPolicy_.observeClose(window->id);
        env_.windowSystem.makeKeyAndOrderFront(window->id);
        env_.windowSystem.orderFrontRegardless(window->id);
        const bool regular = env_.windowSystem.activationPolicy() == ActivationPolicy::regular;
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
    env_.mainQueue.postAfter(kSettingsLookupInterval, [self = QPointer(this), attempt] {
        if (self)
            self->focusSettingsWindow(attempt + 1);
    });
}

std::optional<WindowDescription> AppDelegate::settingsWindow() const {
    return settingsWindow(env_.windowSystem.windows());
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
