#pragma once

#include "app/SettingsPresenter.h"

class MainQueue;
class QtStatusItem;

// The status item's label: the program's icon in the tray. Once it has been shown it hands the settings
// scene's open action to the settings presenter, so that code outside the views (the tray menu, the
// open-settings notification) can open the settings window even if the popover never opened.
class MenuBarLabelHost {
public:
    MenuBarLabelHost(QtStatusItem& statusItem, MainQueue& mainQueue,
                     SettingsPresenter::OpenSettingsAction openSettings);

    // False when the desktop has no tray to show it in.
    bool show();

private:
    QtStatusItem& statusItem_;
    MainQueue& mainQueue_;
    SettingsPresenter::OpenSettingsAction openSettings_;
};
