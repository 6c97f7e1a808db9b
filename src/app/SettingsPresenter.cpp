#include "app/SettingsPresenter.h"

#include "app/AppDelegate.h"
#include "utilities/Log.h"

#include <QPointer>

namespace {

SettingsPresenter::OpenSettingsAction& storedAction() {
    static SettingsPresenter::OpenSettingsAction action;
    return action;
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

void SettingsPresenter::present() {
    // A copy: the action may hand in a new one while it runs.
    const OpenSettingsAction action = storedAction();
    presentWith(action ? action : OpenSettingsAction(&SettingsPresenter::openViaMenu));
}

void SettingsPresenter::present(const OpenSettingsAction& action) {
    setOpenAction(action);
    presentWith(action);
}

void SettingsPresenter::openViaMenu() {
    AppDelegate* delegate = AppDelegate::shared();
    WindowSystem* windowSystem = delegate ? &delegate->windowSystem() : nullptr;
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
        if (const std::shared_ptr<MenuItem> found = settingsMenuItem(item->submenu.get()))
            return found;
    }
    return nullptr;
}
