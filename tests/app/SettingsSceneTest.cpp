#include "app/SettingsScene.h"
#include "app/AppDelegate.h"
#include "app/MenuBarLabelHost.h"
#include "platform/linux/QtStatusItem.h"
#include "platform/linux/QtWindowSystem.h"
#include "support/QtPrinters.h"
#include "support/ServicesFixture.h"
#include "views/SettingsWidget.h"

#include <QApplication>
#include <QWidget>

namespace {

class SettingsSceneTest : public ServicesFixture {
protected:
    ~SettingsSceneTest() override { SettingsPresenter::setOpenAction({}); }

    QtWindowSystem qtWindows;
};

} // namespace

TEST_F(SettingsSceneTest, OneFixedWindowMadeOnDemandAndFoundAsTheSettingsWindow) {
    SettingsScene scene(services().environment(), defaults, workspace, qtWindows,
                        dir.filePath(QStringLiteral("calendars")));
    EXPECT_FALSE(scene.window());

    scene.open();
    QWidget* window = scene.window();
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->size(), QSize(400, 520));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());

    // The application delegate finds it among the program's windows by its identifier.
    AppDelegate delegate(queue, qtWindows, defaults);
    const std::optional<WindowDescription> found = delegate.settingsWindow();
    ASSERT_TRUE(found);
    EXPECT_EQ(found->id, QtWindowSystem::idOf(window));
    EXPECT_TRUE(found->identifier->contains(QStringLiteral("settings")));

    window->close();
    scene.open();
    EXPECT_EQ(scene.window(), window);
    EXPECT_TRUE(window->isVisible());
}

TEST_F(SettingsSceneTest, TheFormFollowsTheServicesWhileTheWindowIsOpen) {
    SettingsScene scene(services().environment(), defaults, workspace, qtWindows,
                        dir.filePath(QStringLiteral("calendars")));
    scene.open();
    loginItems.statusValue = LoginItemStatus::requiresApproval;
    // Showing again reads the login item again.
    scene.window()->hide();
    scene.open();
    EXPECT_TRUE(services().launchAtLogin().needsApproval());
    const auto* form = qobject_cast<const SettingsWidget*>(scene.window());
    ASSERT_TRUE(form);
    EXPECT_EQ(form->sections().front().rows.size(), 2u);
}

TEST_F(SettingsSceneTest, TheTrayLabelHandsOverTheOpenActionOnceShown) {
    SettingsPresenter::setOpenAction({});
    int opened = 0;
    QtStatusItem statusItem(qtWindows, nullptr);
    MenuBarLabelHost label(statusItem, queue, [&opened] { ++opened; });
    label.show();
    EXPECT_FALSE(SettingsPresenter::openAction()) << "not before the label's first turn";
    queue.runUntilIdle();
    ASSERT_TRUE(SettingsPresenter::openAction());
    SettingsPresenter::openAction()();
    EXPECT_EQ(opened, 1);
}
