#pragma once

#include "platform/MenuModel.h"

#include <functional>
#include <memory>

// The status item's context menu: "Settings…", "Check for Updates…", a separator and "Quit <app>".
class StatusItemMenuBuilder {
public:
    StatusItemMenuBuilder() = delete;

    // The updates item is enabled exactly when `canCheckForUpdates`; the others always are.
    static std::shared_ptr<Menu> make(const QString& appName, bool canCheckForUpdates,
                                      std::function<void()> onSettings,
                                      std::function<void()> onCheckForUpdates);
};
