#include "app/StatusItemMenuController.h"
#include "app/AppDelegate.h"
#include "app/SettingsPresenter.h"
#include "services/UpdaterService.h"
#include "support/CapturingLogSink.h"
#include "support/FakeStatusItem.h"
#include "support/FakeUpdateFramework.h"
#include "support/FakeWindowSystem.h"
#include "support/QtPrinters.h"
#include "support/VirtualMainQueue.h"
#include "utilities/UserDefaults.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// An updater that can check now, shared through the application delegate while it lives.
struct CheckingUpdater {
    explicit CheckingUpdater(WindowSystem& windows) {
        framework.updater.canCheck = true;
        const QVariantMap info{{"SUFeedURL", "https://updates.example/appcast.xml"},
                               {"SUPublicEDKey", "a2V5"}};
        service.emplace(queue, windows, defaults, &framework, BundleInfo(info), QProcessEnvironment());
        queue.runUntilIdle();
        AppDelegate::setSharedUpdater(&*service);
    }
    ~CheckingUpdater() { AppDelegate::setSharedUpdater(nullptr); }
    CheckingUpdater(const CheckingUpdater&) = delete;
    CheckingUpdater& operator=(const CheckingUpdater&) = delete;

    QTemporaryDir dir;
    VirtualMainQueue queue;
    UserDefaults defaults{dir.filePath(QStringLiteral("defaults.json"))};
    FakeUpdateFramework framework;
    std::optional<UpdaterService> service;
};

// A 1440x900 screen under a 24-point menu bar, with the status item at its top edge.
class StatusItemMenuControllerTest : public ::testing::Test {
protected:
    StatusItemMenuControllerTest() {
        windows.screenList = {{QRectF(0, 0, 1440, 900), QRectF(0, 24, 1440, 876)}};
        statusItem.thickness = 22;
        statusWindow = windows.addWindow(statusBarWindow(QRectF(1200, 0, 30, 24)));
        popover = windows.addWindow(popoverWindow());
    }
    ~StatusItemMenuControllerTest() override {
        AppDelegate::setSharedUpdater(nullptr);
        SettingsPresenter::setOpenAction(nullptr);
    }

    static WindowDescription statusBarWindow(const QRectF& frame) {
        WindowDescription window;
        window.className = QStringLiteral("NSStatusBarWindow");
        window.level = WindowLevel::statusBar;
        window.visible = true;
        window.frame = frame;
        return window;
    }
    static WindowDescription popoverWindow() {
        WindowDescription window;
        window.className = QStringLiteral("CalendarPopover");
        window.visible = true;
        window.panel = true;
        window.frame = QRectF(1065, 24, 300, 420.5);
        return window;
    }
    static MouseDownEvent press(MouseButton button, bool control, std::optional<WindowDescription> window) {
        return {button, control, std::move(window)};
    }
    bool counts(const QRectF& frame) const { return controller.isStatusItemWindow(statusBarWindow(frame)); }

    CapturingLogSink log;
    FakeWindowSystem windows;
    FakeStatusItem statusItem;
    StatusItemMenuController controller{statusItem, windows};
    WindowId statusWindow = 0;
    WindowId popover = 0;
};

TEST_F(StatusItemMenuControllerTest, TheStatusItemsWindowLiesAlongAScreenEdgeAndFitsTheBar) {
    EXPECT_EQ(controller.menuBarHeight(), 24);
    EXPECT_TRUE(counts(QRectF(1200, 0, 30, 34))) << "10 points taller than the bar";
    EXPECT_FALSE(counts(QRectF(1200, 0, 30, 35))) << "11 points taller";
    EXPECT_FALSE(counts(QRectF(1200, 0, 30, 0)));
    EXPECT_TRUE(counts(QRectF(1200, 1, 30, 24))) << "1 point below the top";
    EXPECT_FALSE(counts(QRectF(1200, 1.5, 30, 24)));
    EXPECT_FALSE(counts(QRectF(1430, 0, 30, 24))) << "its middle is beyond the screen";

    WindowDescription window = statusBarWindow(QRectF(1200, 0, 30, 24));
    window.level = WindowLevel::popUpMenu;
    EXPECT_FALSE(controller.isStatusItemWindow(window));
    window = statusBarWindow(QRectF(1200, 0, 30, 24));
    window.visible = false;
    EXPECT_FALSE(controller.isStatusItemWindow(window));
    window = statusBarWindow(QRectF(1200, 0, 30, 24));
    window.className = QStringLiteral("StatusBar");
    EXPECT_FALSE(controller.isStatusItemWindow(window));
}

// Linux panels are as often at the bottom of the screen; their thickness counts as the bar's.
TEST_F(StatusItemMenuControllerTest, APanelAtTheBottomHoldsTheStatusItemToo) {
    windows.screenList = {{QRectF(0, 0, 1440, 900), QRectF(0, 0, 1440, 860)}};
    EXPECT_EQ(controller.menuBarHeight(), 40);
    EXPECT_TRUE(counts(QRectF(1200, 860, 40, 40)));
    EXPECT_FALSE(counts(QRectF(1200, 858, 40, 40))) << "2 points above the bottom edge";
}

// The icon's slot of a panel at the left or right: as wide as the panel, as high as the icon.
TEST_F(StatusItemMenuControllerTest, PanelsAtTheSidesHoldTheStatusItemToo) {
    EXPECT_TRUE(counts(QRectF(0, 600, 48, 22)));
    EXPECT_TRUE(counts(QRectF(1392, 600, 48, 22)));
    EXPECT_FALSE(counts(QRectF(1.5, 600, 48, 22))) << "1.5 points from the left edge";
    EXPECT_FALSE(counts(QRectF(0, 890, 48, 22))) << "its middle is below the screen";
    EXPECT_FALSE(counts(QRectF(0, 600, 48, 35))) << "taller than the bar allows";
}

TEST_F(StatusItemMenuControllerTest, WithoutScreensNoWindowCounts) {
    windows.screenList.clear();
    EXPECT_EQ(controller.menuBarHeight(), 22) << "the status bar's own thickness";
    EXPECT_FALSE(counts(QRectF(1200, 0, 30, 22)));
}

TEST_F(StatusItemMenuControllerTest, RectanglesAreWrittenInWholeNumbersTruncatedTowardZero) {
    EXPECT_EQ(StatusItemMenuController::describe(QRectF(20.9, -0.5, 30.99, 24)), "(20,0,30x24)");
    EXPECT_EQ(StatusItemMenuController::describe(QRectF(-20.9, 1e300, 0, 0)),
              "(-20,9000000000000000000,0x0)");
    EXPECT_EQ(StatusItemMenuController::describe(QRectF(qQNaN(), 0, 1, 1)), "(0,0,1x1)");
}

TEST_F(StatusItemMenuControllerTest, InstallingTwiceAddsOneMonitor) {
    controller.install();
    controller.install();
    EXPECT_EQ(statusItem.monitorCount(), 1);
    EXPECT_EQ(log.messages(), QStringList{"status_item_menu_monitor_installed"});
    EXPECT_EQ(log.entries.at(0).category, "statusItem");
}

// A panel that shows the menu itself reads the items ahead (nothing is logged then) and asks again each
// time it opens the menu, which then says whether an update check can start at that moment.
TEST_F(StatusItemMenuControllerTest, PanelsThatShowTheMenuThemselvesGetItFreshAtEachOpening) {
    controller.install();
    ASSERT_TRUE(statusItem.menuProvider);
    log.clear();
    const std::shared_ptr<Menu> ahead = statusItem.menuProvider(MenuRequest::contents);
    ASSERT_EQ(ahead->count(), 4);
    EXPECT_EQ(ahead->items()[0]->title, "Settings…");
    EXPECT_EQ(ahead->items()[3]->title, "Quit Mondrel");
    EXPECT_EQ(ahead->items()[3]->action, "terminate:");
    EXPECT_FALSE(ahead->items()[1]->enabled);
    EXPECT_TRUE(log.entries.empty());

    CheckingUpdater updater(windows);
    const std::shared_ptr<Menu> opened = statusItem.menuProvider(MenuRequest::opening);
    EXPECT_NE(opened, ahead);
    EXPECT_TRUE(opened->items()[1]->enabled);
    EXPECT_EQ(log.messages(), QStringList{"status_item_menu_shown items=4 canCheckForUpdates=true"});
    const auto& check = opened->items()[1];
    EXPECT_TRUE(check->target->tryToPerform(check->action, check.get()));
    EXPECT_EQ(updater.framework.checks, 1);
}

TEST_F(StatusItemMenuControllerTest, AMonitorThatCannotBeInstalledLeavesTheMenuClosed) {
    statusItem.monitorsInstallable = false;
    controller.install();
    EXPECT_FALSE(controller.isInstalled());
    EXPECT_EQ(log.messages(), QStringList{"status_item_menu_monitor_installed"});
    EXPECT_FALSE(statusItem.press(press(MouseButton::right, false, windows.window(statusWindow))));
    EXPECT_TRUE(statusItem.menus.empty());
}

TEST_F(StatusItemMenuControllerTest, APlainClickPassesAndARightOrControlClickOpensTheMenu) {
    controller.install();
    log.clear();
    EXPECT_FALSE(statusItem.press(press(MouseButton::left, false, windows.window(statusWindow))));
    EXPECT_TRUE(log.entries.empty());
    EXPECT_TRUE(statusItem.menus.empty());

    EXPECT_TRUE(statusItem.press(press(MouseButton::right, false, windows.window(statusWindow))));
    EXPECT_TRUE(statusItem.press(press(MouseButton::left, true, windows.window(statusWindow))));
    ASSERT_EQ(statusItem.menus.size(), 2u);
    EXPECT_EQ(statusItem.menus[0].anchor, QRectF(1200, 0, 30, 24));
    EXPECT_EQ(statusItem.menus[0].gap, 4);
    EXPECT_FALSE(statusItem.menus[0].menu->items()[1]->enabled) << "no updater: shown, but disabled";
    EXPECT_EQ(
        log.messages(),
        QStringList({"status_item_menu_anchor source=event class=NSStatusBarWindow frame=(1200,0,30x24) "
                     "menuBar=24",
                     "status_item_menu_shown items=4 canCheckForUpdates=false",
                     "status_item_menu_anchor source=event class=NSStatusBarWindow frame=(1200,0,30x24) "
                     "menuBar=24",
                     "status_item_menu_shown items=4 canCheckForUpdates=false"}));
    EXPECT_FALSE(controller.isShowingMenu());
}

TEST_F(StatusItemMenuControllerTest, PressesWhileTheMenuIsOpenAreConsumed) {
    controller.install();
    std::vector<bool> consumed;
    statusItem.whileMenuOpen = [&] {
        EXPECT_TRUE(controller.isShowingMenu());
        consumed.push_back(statusItem.press(press(MouseButton::right, false, windows.window(statusWindow))));
        consumed.push_back(statusItem.press(press(MouseButton::left, true, std::nullopt)));
        consumed.push_back(statusItem.press(press(MouseButton::left, false, std::nullopt)));
    };
    statusItem.press(press(MouseButton::right, false, windows.window(statusWindow)));
    EXPECT_EQ(consumed, std::vector<bool>({true, true, false}));
    EXPECT_EQ(statusItem.menus.size(), 1u);
    EXPECT_FALSE(controller.isShowingMenu());
}

TEST_F(StatusItemMenuControllerTest, ARightClickElsewhereIsPassedOnWithOneLine) {
    controller.install();
    log.clear();
    windows.addWindow(statusBarWindow(QRectF(900.5, 0, 40, 60))); // too tall, still listed
    WindowDescription hidden = statusBarWindow(QRectF(10, 0, 30, 24));
    hidden.visible = false;
    windows.addWindow(hidden);
    statusItem.pointer = QPointF(1100, 300);

    EXPECT_FALSE(statusItem.press(press(MouseButton::right, false, windows.window(popover))));
    EXPECT_TRUE(statusItem.menus.empty());
    EXPECT_EQ(
        log.messages(),
        QStringList{"status_item_menu_gesture_ignored eventWindow=CalendarPopover(1065,24,300x420) "
                    "statusLevelWindows=[NSStatusBarWindow(1200,0,30x24),NSStatusBarWindow(900,0,40x60)] "
                    "menuBar=24"});

    log.clear();
    windows.screenList.clear();
    statusItem.press(press(MouseButton::left, true, std::nullopt));
    EXPECT_TRUE(log.messages().at(0).startsWith("status_item_menu_gesture_ignored eventWindow=none "));
    EXPECT_TRUE(log.messages().at(0).endsWith("] menuBar=22"));
}

TEST_F(StatusItemMenuControllerTest, WithoutAnEventWindowTheWindowUnderThePointerIsTheAnchor) {
    controller.install();
    log.clear();
    statusItem.pointer = QPointF(1210, 12);
    EXPECT_TRUE(statusItem.press(press(MouseButton::right, false, windows.window(popover))));
    EXPECT_EQ(
        log.messages().at(0),
        "status_item_menu_anchor source=pointer class=NSStatusBarWindow frame=(1200,0,30x24) menuBar=24");
}

TEST_F(StatusItemMenuControllerTest, TheMenuReachesSettingsAndTheUpdater) {
    CheckingUpdater updater(windows);
    int settingsOpened = 0;
    SettingsPresenter::setOpenAction([&] { ++settingsOpened; });

    controller.install();
    statusItem.press(press(MouseButton::right, false, windows.window(statusWindow)));
    ASSERT_EQ(statusItem.menus.size(), 1u);
    EXPECT_TRUE(log.messages().contains("status_item_menu_shown items=4 canCheckForUpdates=true"));
    const Menu& menu = *statusItem.menus[0].menu;
    ASSERT_EQ(menu.count(), 4);
    EXPECT_TRUE(menu.items()[1]->enabled);
    for (const int index : {0, 1}) {
        const auto& item = menu.items()[size_t(index)];
        EXPECT_TRUE(item->target->tryToPerform(item->action, item.get()));
    }
    EXPECT_EQ(settingsOpened, 1);
    EXPECT_EQ(updater.framework.checks, 1);
}

} // namespace
