#include "app/MondrelApp.h"

#include "app/MenuBarLabelHost.h"
#include "app/QuintorMenuHygiene.h"
#include "app/SettingsScene.h"
#include "app/StatusItemMenuController.h"
#include "onboarding/GateWindow.h"
#include "platform/linux/QtStatusItem.h"
#include "platform/linux/VdirEventStore.h"
#include "utilities/Constants.h"
#include "views/CalendarPopoverWidget.h"

#include <QCoreApplication>

#include <cstdlib>

MondrelApp::MondrelApp(const QStringList& arguments) : singleInstance_(Constants::kBundleIdentifier) {
    // The command groups the scenes carry apply to every main menu a window shows. Linux menu layers add no
    // standard groups of their own, so there is nothing else to compose.
    windowSystem_.setMainMenuComposition([composer = MainMenuComposer(QuintorMenuHygiene::commands(), {})](
                                             const Menu& menu) { return composer.compose(menu); });

    appDelegate_ = std::make_unique<AppDelegate>(AppDelegate::Environment{
        mainQueue_,
        windowSystem_,
        defaults_,
        arguments,
        &singleInstance_,
        &alerts_,
        &workspace_,
        QCoreApplication::applicationFilePath(),
        [] { QCoreApplication::quit(); },
        [](int status) { std::exit(status); },
        [this] {
            if (statusItemMenu_)
                statusItemMenu_->install();
        },
        makeGateWindowFactory([this](QWidget* window) {
            windowSystem_.hostMainMenu(window);
            return QtWindowSystem::idOf(window);
        }),
    });
    if (AppDelegate::isSelfTestArguments(arguments))
        return;
    // A later launch hands its URLs over and ends here, before anything reads the calendars: reading a large
    // tree first kept the link waiting for seconds.
    if (!appDelegate_->claimSingleInstance())
        return;
    // Before the service reads the login item: an entry left pointing at where this program used to be.
    loginItems_.followMovedProgram();

    services_ = std::make_unique<AppServices>(AppServices::Platform{
        mainQueue_, windowSystem_, defaults_, secretStore_,
        [this] { return std::make_unique<VdirEventStore>(VdirEventStore::standardRoot(), mainQueue_); },
        loginItems_, nullptr});
    AppDelegate::setSharedAccount(&services_->account());
    AppDelegate::setSharedBridge(&services_->bridge());
    AppDelegate::setSharedUpdater(&services_->updater());
    makeScenes();
}

MondrelApp::~MondrelApp() {
    // The scenes' windows go before the services they show.
    label_.reset();
    statusItemMenu_.reset();
    statusItem_.reset();
    settings_.reset();
}

void MondrelApp::makeScenes() {
    const SceneEnvironment environment = services_->environment();
    settings_ = std::make_unique<SettingsScene>(environment, defaults_, workspace_, windowSystem_,
                                                VdirEventStore::standardRoot());
    const SettingsPresenter::OpenSettingsAction openSettings = [scene = settings_.get()] { scene->open(); };

    statusItem_ = std::make_unique<QtStatusItem>(windowSystem_, [this, environment, openSettings] {
        std::unique_ptr<QWidget> popover = std::make_unique<CalendarPopoverWidget>(ViewEnvironment{
            environment.account,
            environment.calendar,
            environment.events,
            environment.google,
            defaults_,
            mainQueue_,
            workspace_,
            VdirEventStore::standardRoot(),
            openSettings,
        });
        return popover;
    });
    statusItemMenu_ = std::make_unique<StatusItemMenuController>(*statusItem_, windowSystem_);
    label_ = std::make_unique<MenuBarLabelHost>(*statusItem_, mainQueue_, openSettings);
}

int MondrelApp::exec() {
    appDelegate_->applicationDidFinishLaunching();
    if (label_)
        label_->show();
    return QCoreApplication::exec();
}
