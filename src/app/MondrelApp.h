#pragma once

#include "app/AppDelegate.h"
#include "app/AppServices.h"
#include "platform/linux/DesktopWorkspace.h"
#include "platform/linux/LibsecretStore.h"
#include "platform/linux/LocalSocketSingleInstance.h"
#include "platform/linux/QtAlertPresenter.h"
#include "platform/linux/QtMainQueue.h"
#include "platform/linux/QtWindowSystem.h"
#include "platform/linux/XdgAutostartLoginItems.h"
#include "utilities/UserDefaults.h"

#include <QStringList>

#include <memory>

class MenuBarLabelHost;
class QtStatusItem;
class SettingsScene;
class StatusItemMenuController;

// The running program: the desktop's adapters, the application delegate, the services and the two scenes
// (the tray icon with its popover, and the settings window). With "--selftest" among the arguments it
// builds no service and no scene: the delegate only writes its line and ends the program.
class MondrelApp final {
public:
    explicit MondrelApp(const QStringList& arguments);
    ~MondrelApp();
    MondrelApp(const MondrelApp&) = delete;
    MondrelApp& operator=(const MondrelApp&) = delete;

    // Runs the delegate's launch handler, shows the tray icon and runs the event loop; the exit status.
    int exec();

    // Nothing in self-test mode.
    AppServices* services() const { return services_.get(); }

private:
    void makeScenes();

    QtMainQueue mainQueue_;
    QtWindowSystem windowSystem_;
    UserDefaults defaults_;
    LibsecretStore secretStore_;
    DesktopWorkspace workspace_;
    XdgAutostartLoginItems loginItems_{workspace_};
    LocalSocketSingleInstance singleInstance_;
    QtAlertPresenter alerts_;

    std::unique_ptr<AppDelegate> appDelegate_;
    std::unique_ptr<AppServices> services_;

    std::unique_ptr<SettingsScene> settings_;
    std::unique_ptr<QtStatusItem> statusItem_;
    std::unique_ptr<StatusItemMenuController> statusItemMenu_;
    std::unique_ptr<MenuBarLabelHost> label_;
};
