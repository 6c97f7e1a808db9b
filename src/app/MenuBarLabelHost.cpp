#include "app/MenuBarLabelHost.h"

#include "app/MenuBarLabel.h"
#include "platform/MainQueue.h"
#include "platform/linux/QtStatusItem.h"

MenuBarLabelHost::MenuBarLabelHost(QtStatusItem& statusItem, MainQueue& mainQueue,
                                   SettingsPresenter::OpenSettingsAction openSettings)
    : statusItem_(statusItem), mainQueue_(mainQueue), openSettings_(std::move(openSettings)) {}

bool MenuBarLabelHost::show() {
    statusItem_.setImage(MenuBarLabel::image());
    const bool shown = statusItem_.show();
    mainQueue_.post([open = openSettings_] { SettingsPresenter::setOpenAction(open); });
    return shown;
}
