#pragma once

#include "platform/MenuModel.h"

#include <functional>
#include <memory>

// The one way to open the settings window: promote the program, ask for the window, then find and front
// it once it shows up.
class SettingsPresenter {
public:
    // Opens the settings window; handed in by whoever can open it directly.
    using OpenSettingsAction = std::function<void()>;

    SettingsPresenter() = delete;

    // The most recently handed action; empty until one is handed.
    static const OpenSettingsAction& openAction();
    static void setOpenAction(OpenSettingsAction action);

    // With the stored action, else through the main menu.
    static void present();
    // Stores `action`, then presents with it.
    static void present(const OpenSettingsAction& action);

    // Fires the main menu's settings item, else sends "showSettingsWindow:" along the responder chain.
    static void openViaMenu();
    // The first item, depth first, whose action name contains "Settings".
    static std::shared_ptr<MenuItem> settingsMenuItem(const Menu* menu);
};
