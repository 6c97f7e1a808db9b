#pragma once

#include "app/ActivationPolicyController.h"
#include "app/GateWindowFactory.h"
#include "app/QuintorMenuChrome.h"
#include "platform/AlertPresenter.h"
#include "platform/MainQueue.h"
#include "platform/SingleInstance.h"
#include "platform/WindowSystem.h"
#include "platform/Workspace.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <qcoro/qcorotask.h>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class AccountModel;
class QuintorAccountBridge;
class UpdaterService;
class UserDefaults;

// Receives the program's life-cycle events: runs the start-up sequence, answers reopen requests, routes
// incoming URLs, and owns the window plumbing around them (the activation policy, the main-menu clean-up,
// the sign-in gate and the focusing of the settings window).
class AppDelegate final : public QObject {
    Q_OBJECT
public:
    static constexpr double kSettingsLookupInterval = 0.05;
    // Attempts are numbered from 0: 21 lookups, about a second.
    static constexpr int kLastSettingsLookup = 20;
    static constexpr double kForegroundRefreshMinInterval = 45.0;
    static constexpr double kPopoverDelay = 0.35;
    static constexpr double kTranslocationAlertDelay = 0.6;
    static constexpr int kGateWidth = 520;
    static constexpr int kGateHeight = 640;

    // Posting it opens and fronts the settings window.
    static inline const QString kOpenSettingsNotification = QStringLiteral("mondrel.openSettings");
    static inline const QString kTranslocationWarningShownKey =
        QStringLiteral("mondrel.appTranslocationWarningShown");

    struct Environment {
        MainQueue& mainQueue; // also the clock of the foreground refresh
        WindowSystem& windowSystem;
        UserDefaults& defaults;
        // The process's arguments, the program first.
        QStringList arguments = {};
        // Nothing skips the single-instance check.
        SingleInstance* singleInstance = nullptr;
        AlertPresenter* alerts = nullptr;
        Workspace* workspace = nullptr;
        // Where the program runs from.
        QString bundlePath = {};
        // Ends the application's event loop.
        std::function<void()> terminate = {};
        // Ends the process at once.
        std::function<void(int status)> exitProcess = {};
        // Installs the status item's mouse monitor.
        std::function<void()> installStatusItemMonitor = {};
        GateWindowFactory makeGateWindow = {};
    };

    explicit AppDelegate(Environment environment, QObject* parent = nullptr);
    AppDelegate(MainQueue& mainQueue, WindowSystem& windowSystem, UserDefaults& defaults,
                QObject* parent = nullptr);
    ~AppDelegate() override;

    // The delegate while one exists.
    static AppDelegate* shared();
    // Published by the composition root before launch; nothing in self-test mode or once destroyed.
    static AccountModel* sharedAccount();
    static QuintorAccountBridge* sharedBridge();
    static void setSharedAccount(AccountModel* account);
    static void setSharedBridge(QuintorAccountBridge* bridge);
    // The update service, published at start-up for code outside the views; empty until then.
    static UpdaterService* sharedUpdater();
    static void setSharedUpdater(UpdaterService* updater);

    MainQueue& mainQueue() const { return env_.mainQueue; }
    WindowSystem& windowSystem() const { return env_.windowSystem; }
    UserDefaults& defaults() const { return env_.defaults; }
    ActivationPolicyController& activationPolicy() { return activationPolicy_; }
    QuintorMenuChrome& menuChrome() { return menuChrome_; }
    bool isSelfTest() const { return isSelfTest_; }
    std::optional<Instant> lastForegroundRefreshAt() const { return lastForegroundRefreshAt_; }

    // "--selftest" as one whole argument, in any position.
    static bool isSelfTestArguments(const QStringList& arguments);
    // The arguments after the program's that begin with a URL scheme, in order.
    static QStringList urlsInArguments(const QStringList& arguments);
    // A URL's scheme and host exactly as written (a parsed URL has both lower-cased); nothing when it
    // has none.
    static std::optional<QString> schemeOf(QStringView url);
    static std::optional<QString> hostOf(QStringView url);

    // Life cycle.
    // Settles, once, whether this process is the running instance; false when another one runs and has
    // been handed this launch's URLs (the process is then ended). The composition root calls it before it
    // builds anything that reads the user's data; the launch handler calls it otherwise.
    bool claimSingleInstance();
    void applicationDidFinishLaunching();
    bool applicationShouldTerminateAfterLastWindowClosed() const { return isSelfTest_; }
    // Opens the popover when signed in, else brings back or makes the gate. False except in self-test mode.
    bool applicationShouldHandleReopen(bool hasVisibleWindows);
    void checkAppTranslocation();
    // Opens the popover a moment later; fails silently.
    void openMenuBarPopover();

    // The sign-in gate and incoming URLs.
    void showGate();
    void installGateMenu();
    // URLs as the program received them: their scheme and host are matched as written.
    void openURLs(const QStringList& urls);
    void handleIncomingURL(const QString& url);

    // The sign-in gate while it exists.
    std::optional<WindowId> gateWindow() const { return gateWindow_; }
    void setGateWindow(std::optional<WindowId> window) { gateWindow_ = window; }

    // Looks for the settings window until it shows up, then fronts it and watches its closing; gives up
    // with a diagnostic line after the last attempt. The first call passes 0.
    void focusSettingsWindow(int attempt);
    // The visible ordinary window other than the gate whose identifier mentions settings, else the first
    // such window at all.
    std::optional<WindowDescription> settingsWindow() const;

    // "ClassName/id=identifier/lvl=0/vis=true", as in the diagnostic line.
    static QString describeForDiagnostics(const WindowDescription& window);

private:
    class TerminateResponder;

    std::optional<WindowDescription> settingsWindow(const std::vector<WindowDescription>& windows) const;
    void gateDidClose();
    bool isVisible(WindowId window) const;
    void foregroundRefresh();
    void showTranslocationAlert();
    static QCoro::Task<> runLaunchTask(QPointer<AppDelegate> self);
    static QCoro::Task<> refreshAccount(QPointer<AccountModel> account);

    Environment env_;
    ActivationPolicyController activationPolicy_;
    QuintorMenuChrome menuChrome_;
    std::unique_ptr<TerminateResponder> terminateResponder_;
    Observation terminateRegistration_;
    std::optional<WindowId> gateWindow_;
    QPointer<QObject> gateWindowObject_;
    Observation windowCloseObserver_;
    Observation didBecomeActiveObserver_;
    Observation openSettingsObserver_;
    std::optional<Instant> lastForegroundRefreshAt_;
    bool isSelfTest_ = false;
    // Whether this process runs on as the instance, once the claim is settled.
    std::optional<bool> claimed_;
    Observation settingsPresenterWindowSystem_;
};
