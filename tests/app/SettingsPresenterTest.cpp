#include "app/SettingsPresenter.h"
#include "AppFixture.h"
#include "support/QtPrinters.h"

namespace {

class SettingsPresenterTest : public AppFixture {
protected:
    void SetUp() override { SettingsPresenter::setOpenAction({}); }
    void TearDown() override { SettingsPresenter::setOpenAction({}); }

    SettingsPresenter::OpenSettingsAction journaling(const QString& name) {
        return [this, name] { windows.calls << name; };
    }

    static std::shared_ptr<Menu> menuWithSubmenus(int count) {
        auto menu = std::make_shared<Menu>();
        for (int i = 0; i < count; ++i) {
            auto submenu = std::make_shared<Menu>(QStringLiteral("Menu %1").arg(i));
            submenu->addItem(QStringLiteral("Item"), QStringLiteral("doSomething:"));
            menu->addSubmenu(submenu);
        }
        return menu;
    }
};

TEST_F(SettingsPresenterTest, PromotesThenOpensThenStartsFocusing) {
    SettingsPresenter::setOpenAction(journaling("open"));
    SettingsPresenter::present();
    EXPECT_EQ(windows.calls, QStringList({"policy regular", "activate", "open", "windows"}));
    EXPECT_EQ(windows.lookups, 1) << "focusing starts at attempt 0";
}

TEST_F(SettingsPresenterTest, AHandedActionIsKeptForLaterPresentations) {
    int opened = 0;
    SettingsPresenter::present([&] { ++opened; });
    SettingsPresenter::present();
    EXPECT_EQ(opened, 2);
}

TEST_F(SettingsPresenterTest, AnActionMayReplaceItselfWhileItRuns) {
    int opened = 0;
    SettingsPresenter::setOpenAction([&] {
        ++opened;
        SettingsPresenter::setOpenAction([&] { opened += 10; });
    });
    SettingsPresenter::present();
    SettingsPresenter::present();
    EXPECT_EQ(opened, 11);
}

TEST_F(SettingsPresenterTest, SettingsItemIsFoundDepthFirstByCaseSensitiveActionName) {
    EXPECT_EQ(SettingsPresenter::settingsMenuItem(nullptr), nullptr);

    auto menu = menuWithSubmenus(3);
    menu->items()[0]->submenu->addItem(QStringLiteral("Preferences"), QStringLiteral("opensettings:"));
    auto nested = menu->items()[1]->submenu->addItem(QStringLiteral("Settings…"),
                                                     QStringLiteral("showSettingsWindow:"));
    menu->items()[2]->submenu->addItem(QStringLiteral("Later"), QStringLiteral("showSettingsWindow:"));
    EXPECT_EQ(SettingsPresenter::settingsMenuItem(menu.get()), nested);

    // An item's own action wins over its submenu's items.
    auto holder = std::make_shared<Menu>();
    auto both = holder->addSubmenu(menuWithSubmenus(1));
    both->action = QStringLiteral("openSettings:");
    both->submenu->items()[0]->submenu->addItem(QStringLiteral("Inner"), QStringLiteral("innerSettings:"));
    EXPECT_EQ(SettingsPresenter::settingsMenuItem(holder.get()), both);
}

TEST_F(SettingsPresenterTest, WithoutStoredActionTheMenuItemIsFiredAtItsTarget) {
    windows.mainMenuValue = menuWithSubmenus(2);
    auto item = windows.mainMenuValue->items()[1]->submenu->addItem(QStringLiteral("Settings…"),
                                                                    QStringLiteral("showSettingsWindow:"));
    auto target = std::make_shared<RecordingResponder>(QStringList{"showSettingsWindow:"});
    item->target = target;

    SettingsPresenter::present();
    EXPECT_EQ(windows.calls,
              QStringList({"policy regular", "activate", "send showSettingsWindow: to target", "windows"}));
    EXPECT_EQ(target->received, QStringList({"showSettingsWindow:"}));
    EXPECT_EQ(target->senders, std::vector<const MenuItem*>{item.get()});
    EXPECT_TRUE(log.messages("settings").isEmpty());
}

TEST_F(SettingsPresenterTest, WithoutSettingsItemTheResponderChainIsAsked) {
    RecordingResponder responder({"showSettingsWindow:"});
    const Observation link = windows.addResponder(&responder);

    windows.mainMenuValue = menuWithSubmenus(4);
    SettingsPresenter::openViaMenu();
    windows.mainMenuValue = nullptr;
    SettingsPresenter::openViaMenu();

    EXPECT_EQ(log.messages("settings"), QStringList({"settings_menu_item_missing mainMenu=4",
                                                     "settings_menu_item_missing mainMenu=-1"}));
    EXPECT_EQ(log.entries[0].type, LogType::error);
    EXPECT_EQ(windows.calls, QStringList({"send showSettingsWindow:", "send showSettingsWindow:"}));
    EXPECT_EQ(responder.received, QStringList({"showSettingsWindow:", "showSettingsWindow:"}));
    EXPECT_EQ(responder.senders, (std::vector<const MenuItem*>{nullptr, nullptr}));
}

TEST_F(SettingsPresenterTest, AnEmptyActionIsNoAction) {
    SettingsPresenter::present(SettingsPresenter::OpenSettingsAction{});
    EXPECT_EQ(windows.calls,
              QStringList({"policy regular", "activate", "send showSettingsWindow:", "windows"}));

    int opened = 0;
    SettingsPresenter::setOpenAction([&] { ++opened; });
    SettingsPresenter::present(SettingsPresenter::OpenSettingsAction{});
    EXPECT_EQ(opened, 1) << "the stored action is neither replaced nor skipped";
    EXPECT_TRUE(SettingsPresenter::openAction());
}

// Early in the launch, or in the self-test, there is no delegate: nothing is promoted or focused, but the
// window is still asked for, through the main menu of the window system handed in.
TEST(SettingsPresenterWithoutDelegateTest, OnlyAsksForTheWindowThroughTheMenu) {
    CapturingLogSink log;
    FakeWindowSystem windows;
    const Observation wiring = SettingsPresenter::useWindowSystem(windows);
    ASSERT_EQ(AppDelegate::shared(), nullptr);
    int opened = 0;
    SettingsPresenter::present([&] { ++opened; });
    EXPECT_EQ(opened, 1);
    EXPECT_TRUE(windows.calls.isEmpty());

    SettingsPresenter::setOpenAction({});
    windows.mainMenuValue = std::make_shared<Menu>();
    auto item =
        windows.mainMenuValue->addItem(QStringLiteral("Settings…"), QStringLiteral("showSettingsWindow:"));
    auto target = std::make_shared<RecordingResponder>(QStringList{"showSettingsWindow:"});
    item->target = target;
    SettingsPresenter::present();
    EXPECT_EQ(windows.calls, QStringList({"send showSettingsWindow: to target"}));
    EXPECT_EQ(target->received, QStringList({"showSettingsWindow:"}));
    EXPECT_TRUE(log.messages("settings").isEmpty());
}

TEST(SettingsPresenterWithoutDelegateTest, TheLatestWindowSystemStillInUseIsAsked) {
    CapturingLogSink log;
    FakeWindowSystem first;
    FakeWindowSystem second;
    const Observation firstWiring = SettingsPresenter::useWindowSystem(first);
    {
        const Observation secondWiring = SettingsPresenter::useWindowSystem(second);
        SettingsPresenter::openViaMenu();
    }
    SettingsPresenter::openViaMenu();
    EXPECT_EQ(second.calls, QStringList({"send showSettingsWindow:"}));
    EXPECT_EQ(first.calls, QStringList({"send showSettingsWindow:"}));
}

} // namespace
