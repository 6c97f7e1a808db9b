#include "app/SettingsPresenter.h"

#include "app/AppDelegate.h"
#include "utilities/Log.h"

#include <QPointer>
#include <utility>
#include <vector>

namespace {

SettingsPresenter::OpenSettingsAction& storedAction() {
    static SettingsPresenter::OpenSettingsAction action;
    return action;
}

// Every window system handed in and still in use, the latest last.
std::vector<std::pair<quint64, WindowSystem*>>& windowSystems() {
    static std::vector<std::pair<quint64, WindowSystem*>> handedIn;
    return handedIn;
}

WindowSystem* currentWindowSystem() {
    return windowSystems().empty() ? nullptr : windowSystems().back().second;
}

// The program is regular and active before the window is asked for, and the window is looked for after.
void presentWith(const SettingsPresenter::OpenSettingsAction& open) {
    const QPointer<AppDelegate> delegate = AppDelegate::shared();
    if (!delegate) {
        open();
        return;
    }
    delegate->activationPolicy().promoteNow();
    open();
    if (delegate)
        delegate->focusSettingsWindow(0);
}

} // namespace

const SettingsPresenter::OpenSettingsAction& SettingsPresenter::openAction() {
    return storedAction();
}

void SettingsPresenter::setOpenAction(OpenSettingsAction action) {
    storedAction() = std::move(action);
}

Observation SettingsPresenter::useWindowSystem(WindowSystem& windowSystem) {
    static quint64 lastKey = 0;
    const quint64 key = ++lastKey;
    windowSystems().emplace_back(key, &windowSystem);
    return Observation(
        [key] { std::erase_if(windowSystems(), [key](const auto& entry) { return entry.first == key; }); });
}

void SettingsPresenter::present() {
    // A copy: the action may hand in a new one while it runs.
    const OpenSettingsAction action = storedAction();
    presentWith(action ? action : OpenSettingsAction(&SettingsPresenter::openViaMenu));
}

void SettingsPresenter::present(const OpenSettingsAction& action) {
    if (!action) {
        present();
        return;
    }
    setOpenAction(action);
    presentWith(action);
}

void SettingsPresenter::openViaMenu() {
    WindowSystem* windowSystem = currentWindowSystem();
    const std::shared_ptr<Menu> mainMenu = windowSystem ? windowSystem->mainMenu() : nullptr;
    if (const std::shared_ptr<MenuItem> item = settingsMenuItem(mainMenu.get())) {
        windowSystem->sendAction(item->action, item->target, item.get());
        return;
    }
    Log(QStringLiteral("settings"))
        .error(QStringLiteral("settings_menu_item_missing mainMenu=") +
               QString::number(mainMenu ? mainMenu->count() : -1));
    if (windowSystem)
        windowSystem->sendAction(QStringLiteral("showSettingsWindow:"), nullptr, nullptr);
}

std::shared_ptr<MenuItem> SettingsPresenter::settingsMenuItem(const Menu* menu) {
    if (!menu)
        return nullptr;
    for (const std::shared_ptr<MenuItem>& item : menu->items()) {
        if (item->action.contains(QStringLiteral("Settings")))
            return item;
        if (std::shared_ptr<MenuItem> found = settingsMenuItem(item->submenu.get()))
            return found;
    }
    return nullptr;
}
