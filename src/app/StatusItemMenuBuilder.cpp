#include "app/StatusItemMenuBuilder.h"

#include "app/StatusItemMenuAction.h"

std::shared_ptr<Menu> StatusItemMenuBuilder::make(const QString& appName, bool canCheckForUpdates,
                                                  std::function<void()> onSettings,
                                                  std::function<void()> onCheckForUpdates) {
    auto menu = std::make_shared<Menu>();
    // The items hold their actions, so the actions live exactly as long as the menu.
    const auto settings =
        menu->addItem(QStringLiteral("Settings…"), StatusItemMenuAction::kFire, QStringLiteral(","));
    settings->target = std::make_shared<StatusItemMenuAction>(std::move(onSettings));
    const auto updates = menu->addItem(QStringLiteral("Check for Updates…"), StatusItemMenuAction::kFire);
    updates->target = std::make_shared<StatusItemMenuAction>(std::move(onCheckForUpdates));
    updates->enabled = canCheckForUpdates;
    menu->addSeparator();
    // Without a target: the application's delegate answers "terminate:" along the responder chain.
    menu->addItem(QStringLiteral("Quit ") + appName, QStringLiteral("terminate:"), QStringLiteral("q"));
    return menu;
}
