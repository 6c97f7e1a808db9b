#pragma once

#include "platform/MenuModel.h"
#include "platform/WindowSystem.h"

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

    // Where the main menu is looked up and actions are sent, while the returned observation lives; the one
    // handed in last that still lives is used. The application delegate hands in its window system, and the
    // composition root may do so before there is a delegate, so the menu works with or without one.
    [[nodiscard]] static Observation useWindowSystem(WindowSystem& windowSystem);

    // With the stored action, else through the main menu.
    static void present();
    // Stores `action`, then presents with it. An empty action is no action: it is not stored, and the
    // stored one or the main menu opens the window.
    static void present(const OpenSettingsAction& action);

    // Fires the main menu's settings item, else sends "showSettingsWindow:" along the responder chain.
    static void openViaMenu();
    // The first item, depth first, whose action name contains "Settings".
    static std::shared_ptr<MenuItem> settingsMenuItem(const Menu* menu);
};
