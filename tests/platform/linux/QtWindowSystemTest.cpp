#include "platform/linux/QtWindowSystem.h"
#include "app/ActivationPolicyController.h"
#include "platform/linux/QtMenuBarPresenter.h"
#include "support/FakeWindowSystem.h"
#include "support/QtPrinters.h"
#include "support/VirtualMainQueue.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QVBoxLayout>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

namespace ui {
class SettingsWindow final : public QWidget {
    Q_OBJECT
};
} // namespace ui

std::optional<WindowDescription> find(const QtWindowSystem& system, const QWidget& widget) {
    for (const WindowDescription& window : system.windows())
        if (window.id == QtWindowSystem::idOf(&widget))
            return window;
    return std::nullopt;
}

QStringList actionTexts(const QWidget& widget) {
    QStringList result;
    for (const QAction* action : widget.actions())
        result << (action->isSeparator() ? QStringLiteral("---") : action->text());
    return result;
}

TEST(QtWindowSystemTest, WindowsThatAreNotWidgetsFollowTheWidgets) {
    QtWindowSystem system;
    QWidget widget;
    widget.show();
    WindowDescription tray;
    tray.id = 77;
    tray.className = QStringLiteral("StatusBarWindow");
    bool shown = true;
    Observation source = system.addWindowSource([&]() -> std::optional<WindowDescription> {
        if (!shown)
            return std::nullopt;
        return tray;
    });
    const auto ids = [&system] {
        std::vector<WindowId> result;
        for (const WindowDescription& window : system.windows())
            result.push_back(window.id);
        return result;
    };

    EXPECT_EQ(ids(), std::vector<WindowId>({QtWindowSystem::idOf(&widget), 77}));
    shown = false;
    EXPECT_EQ(ids(), std::vector<WindowId>{QtWindowSystem::idOf(&widget)});
    shown = true;
    source.reset();
    EXPECT_EQ(ids(), std::vector<WindowId>{QtWindowSystem::idOf(&widget)});
}

TEST(QtWindowSystemTest, AShownAndClosedWindowTurnsTheProgramRegularAndBackToAccessory) {
    VirtualMainQueue queue;
    QtWindowSystem system;
    ActivationPolicyController controller(queue, system);
    QWidget window;
    window.setObjectName(QStringLiteral("settings"));
    system.setActivationPolicy(ActivationPolicy::accessory);
    EXPECT_EQ(window.windowType(), Qt::Tool) << "kept out of the taskbar";

    controller.promoteNow();
    window.show();
    controller.observeClose(QtWindowSystem::idOf(&window));
    EXPECT_EQ(system.activationPolicy(), ActivationPolicy::regular);
    EXPECT_EQ(window.windowType(), Qt::Window);
    ASSERT_TRUE(find(system, window));
    EXPECT_TRUE(ActivationPolicyController::isOrdinaryWindow(*find(system, window)));

    window.close();
    queue.runUntilIdle();
    EXPECT_EQ(system.activationPolicy(), ActivationPolicy::regular);
    queue.advance(ActivationPolicyController::kDemotionDelay);
    EXPECT_EQ(system.activationPolicy(), ActivationPolicy::accessory);
    EXPECT_EQ(window.windowType(), Qt::Tool);
    EXPECT_FALSE(window.isVisible());
}

TEST(QtWindowSystemTest, DescribesWidgetsAsWindows) {
    QtWindowSystem system;
    ui::SettingsWindow settings;
    settings.setObjectName(QStringLiteral("settingsWindow"));
    settings.show();
    QWidget popover(nullptr, Qt::Popup | Qt::FramelessWindowHint);
    QWidget palette(nullptr, Qt::Window | Qt::WindowStaysOnTopHint);
    QMenu menu;

    const auto s = find(system, settings);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->className, "SettingsWindow");
    EXPECT_EQ(s->identifier, std::optional<QString>("settingsWindow"));
    EXPECT_TRUE(s->visible);
    EXPECT_EQ(s->frame.size(), QSizeF(settings.frameGeometry().size()));

    const auto p = find(system, popover);
    ASSERT_TRUE(p);
    EXPECT_TRUE(p->panel);
    EXPECT_EQ(p->identifier, std::nullopt);
    EXPECT_FALSE(p->visible);
    EXPECT_EQ(find(system, palette)->level, WindowLevel::floating);
    EXPECT_EQ(find(system, menu)->level, WindowLevel::popUpMenu);
    EXPECT_FALSE(find(system, menu)->panel);
}

TEST(QtWindowSystemTest, AnIgnoredCloseIsNoClose) {
    class Stubborn final : public QWidget {
    protected:
        void closeEvent(QCloseEvent* event) override { event->ignore(); }
    };
    QtWindowSystem system;
    Stubborn window;
    window.show();
    int closes = 0;
    const Observation watch = system.observeWillClose(QtWindowSystem::idOf(&window), [&] { ++closes; });
    window.close();
    EXPECT_EQ(closes, 0);
    QCoreApplication::processEvents();
    window.hide();
    EXPECT_EQ(closes, 0);
}

TEST(QtWindowSystemTest, ADialogClosesOnceHoweverItIsDismissed) {
    QtWindowSystem system;
    QDialog dialog;
    int closes = 0;
    const Observation watch = system.observeWillClose(QtWindowSystem::idOf(&dialog), [&] { ++closes; });
    dialog.done(QDialog::Rejected);
    EXPECT_EQ(closes, 0) << "never shown";

    dialog.show();
    dialog.reject();
    EXPECT_EQ(closes, 1) << "Escape and Cancel";
    dialog.show();
    dialog.accept();
    EXPECT_EQ(closes, 2);
    dialog.show();
    dialog.close();
    EXPECT_EQ(closes, 3) << "the close button";
    QCoreApplication::processEvents();
    EXPECT_EQ(closes, 3);
}

TEST(QtWindowSystemTest, ActionsGoToTheTargetTheFocusedControlOrTheAddedResponders) {
    QtWindowSystem system;
    auto target = std::make_shared<RecordingResponder>(QStringList{"fire:"});
    EXPECT_TRUE(system.sendAction(QStringLiteral("fire:"), target, nullptr));

    RecordingResponder last({"showSettingsWindow:"});
    const Observation link = system.addResponder(&last);
    QWidget window;
    auto* edit = new QLineEdit(QStringLiteral("text"), &window);
    window.show();
    QApplication::setActiveWindow(&window);
    edit->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), edit);
    EXPECT_TRUE(system.sendAction(QStringLiteral("selectAll:"), nullptr, nullptr));
    EXPECT_EQ(edit->selectedText(), "text");
    EXPECT_TRUE(system.sendAction(QStringLiteral("showSettingsWindow:"), nullptr, nullptr));
    EXPECT_FALSE(system.sendAction(QStringLiteral("unknownAction:"), nullptr, nullptr));
    EXPECT_EQ(last.received, QStringList({"showSettingsWindow:", "unknownAction:"}));
}

class AddingDelegate final : public MenuDelegate {
public:
    void menuNeedsUpdate(Menu& menu) override { menu.addItem(QStringLiteral("Added & Updated")); }
};

TEST(QtWindowSystemTest, TheMainMenuIsShownInAHostWindowAndKeptCurrent) {
    QtWindowSystem system;
    QWidget window;
    new QVBoxLayout(&window);
    system.hostMainMenu(&window);
    auto* bar = window.findChild<QMenuBar*>();
    ASSERT_NE(bar, nullptr);
    EXPECT_TRUE(actionTexts(*bar).isEmpty());

    auto main = std::make_shared<Menu>();
    auto app = std::make_shared<Menu>(QStringLiteral("Mondrel"));
    auto quit =
        app->addItem(QStringLiteral("Quit Mondrel"), QStringLiteral("terminate:"), QStringLiteral("q"));
    app->addSeparator();
    app->addItem(QStringLiteral("Hide"), QStringLiteral("hide:"), QStringLiteral("H"))->enabled = false;
    auto target = std::make_shared<RecordingResponder>(QStringList{"terminate:"});
    quit->target = target;
    main->addSubmenu(app);
    auto format = main->addSubmenu(std::make_shared<Menu>(QStringLiteral("Format")));
    system.setMainMenu(main);

    EXPECT_EQ(actionTexts(*bar), QStringList({"Mondrel", "Format"}));
    QMenu* appMenu = bar->actions()[0]->menu();
    ASSERT_NE(appMenu, nullptr);
    EXPECT_EQ(actionTexts(*appMenu), QStringList({"Quit Mondrel", "---", "Hide"}));
    EXPECT_EQ(appMenu->actions()[0]->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));
    EXPECT_EQ(appMenu->actions()[2]->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+H")));
    EXPECT_FALSE(appMenu->actions()[2]->isEnabled());

    appMenu->actions()[0]->trigger();
    EXPECT_EQ(target->received, QStringList({"terminate:"}));
    EXPECT_EQ(target->senders, std::vector<const MenuItem*>{quit.get()});

    auto delegate = std::make_shared<AddingDelegate>();
    app->setDelegate(delegate);
    emit appMenu->aboutToShow();
    EXPECT_EQ(actionTexts(*appMenu), QStringList({"Quit Mondrel", "---", "Hide", "Added && Updated"}));

    main->removeItem(format);
    QCoreApplication::processEvents();
    EXPECT_EQ(actionTexts(*bar), QStringList({"Mondrel"}));

    // A stripped item's shortcut must not outlive it in a menu that was not opened since.
    appMenu = bar->actions()[0]->menu();
    app->removeItem(quit);
    QCoreApplication::processEvents();
    EXPECT_EQ(actionTexts(*appMenu), QStringList({"---", "Hide", "Added && Updated"}));

    system.setMainMenu(nullptr);
    EXPECT_TRUE(actionTexts(*bar).isEmpty());
    EXPECT_TRUE(bar->isHidden());
}

} // namespace

#include "QtWindowSystemTest.moc"
