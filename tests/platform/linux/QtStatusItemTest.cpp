#include "platform/linux/QtStatusItem.h"
#include "app/MenuBarLabel.h"
#include "app/StatusItemMenuBuilder.h"
#include "platform/linux/QtWindowSystem.h"
#include "support/FakeWindowSystem.h"
#include "support/QtPrinters.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPalette>
#include <QSet>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

std::vector<ScreenDescription> screenWithPanels(double top, double bottom) {
    return {{QRectF(0, 0, 1920, 1080), QRectF(0, top, 1920, 1080 - top - bottom)}};
}

class QtStatusItemTest : public ::testing::Test {
protected:
    QtWindowSystem windows;
    int popoversMade = 0;
    QtStatusItem item{windows,
                      [this] {
                          ++popoversMade;
                          auto popover = std::make_unique<QWidget>();
                          popover->resize(300, 400);
                          return popover;
                      },
                      QtStatusItem::TrayProtocol::xembed};
};

QStringList titles(const QMenu& menu) {
    QStringList result;
    for (const QAction* action : menu.actions())
        result << (action->isSeparator() ? QStringLiteral("-")
                                         : action->text() + (action->isEnabled() ? "" : " (disabled)"));
    return result;
}

// A StatusNotifierItem host reads the exported menu before it ever opens it, asks again as it opens it
// (the update item follows the updater then), and its clicks reach the items' targets, the last one old
// or new. An XEmbed tray gets no menu of its own: it would open it beside the one the monitors open.
TEST_F(QtStatusItemTest, StatusNotifierHostsGetTheMenuAndXEmbedTraysDoNot) {
    RecordingResponder application({QStringLiteral("terminate:")});
    const Observation chain = windows.addResponder(&application);
    std::vector<MenuRequest> requests;
    bool canCheck = false;
    int settings = 0;
    const StatusItem::MenuProvider provider = [&](MenuRequest request) {
        requests.push_back(request);
        return StatusItemMenuBuilder::make(
            QStringLiteral("Mondrel"), canCheck, [&] { ++settings; }, [] {});
    };
    item.setMenuProvider(provider);
    EXPECT_EQ(item.hostedMenu(), nullptr);

    QtStatusItem hosted(windows, nullptr, QtStatusItem::TrayProtocol::statusNotifier);
    hosted.setMenuProvider(provider);
    ASSERT_NE(hosted.hostedMenu(), nullptr);
    QMenu& menu = *hosted.hostedMenu();
    EXPECT_EQ(titles(menu), QStringList({"Settings…", "Check for Updates… (disabled)", "-", "Quit Mondrel"}));
    EXPECT_EQ(requests, std::vector<MenuRequest>{MenuRequest::contents});

    canCheck = true;
    emit menu.aboutToShow();
    emit menu.aboutToShow();
    EXPECT_EQ(titles(menu), QStringList({"Settings…", "Check for Updates…", "-", "Quit Mondrel"}));
    EXPECT_EQ(requests,
              std::vector<MenuRequest>({MenuRequest::contents, MenuRequest::opening, MenuRequest::opening}));
    menu.actions().at(0)->trigger();
    menu.actions().at(3)->trigger();
    EXPECT_EQ(settings, 1);
    EXPECT_EQ(application.received, QStringList{"terminate:"});

    hosted.setMenuProvider(nullptr);
    EXPECT_TRUE(menu.actions().isEmpty());
    emit menu.aboutToShow();
    EXPECT_TRUE(menu.actions().isEmpty());
}

TEST_F(QtStatusItemTest, TheTrayMenuHasItsFourItems) {
    RecordingResponder application({QStringLiteral("terminate:")});
    const Observation chain = windows.addResponder(&application);
    int settings = 0;
    for (const bool canCheck : {false, true}) {
        const std::unique_ptr<QMenu> menu = item.makeMenu(StatusItemMenuBuilder::make(
            QStringLiteral("Mondrel"), canCheck, [&] { ++settings; }, [] {}));
        const QList<QAction*> actions = menu->actions();
        ASSERT_EQ(actions.size(), 4);
        EXPECT_EQ(actions[0]->text(), "Settings…");
        EXPECT_EQ(actions[1]->text(), "Check for Updates…");
        EXPECT_TRUE(actions[2]->isSeparator());
        EXPECT_EQ(actions[3]->text(), "Quit Mondrel");
        EXPECT_TRUE(actions[0]->isEnabled());
        EXPECT_EQ(actions[1]->isEnabled(), canCheck);
        EXPECT_TRUE(actions[3]->isEnabled());
        EXPECT_EQ(actions[0]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Comma));
        EXPECT_TRUE(actions[1]->shortcut().isEmpty());
        EXPECT_EQ(actions[3]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
        actions[0]->trigger();
        actions[3]->trigger();
    }
    EXPECT_EQ(settings, 2);
    EXPECT_EQ(application.received, QStringList({"terminate:", "terminate:"}));
}

TEST_F(QtStatusItemTest, ClicksReachTheMonitorsBeforeThePopover) {
    std::vector<MouseDownEvent> presses;
    bool consume = false;
    const Observation monitor = item.addLocalMouseDownMonitor([&](const MouseDownEvent& event) {
        presses.push_back(event);
        return consume;
    });

    item.handleActivation(QSystemTrayIcon::Context, Qt::NoModifier);
    item.handleActivation(QSystemTrayIcon::Trigger, Qt::ControlModifier);
    item.handleActivation(QSystemTrayIcon::MiddleClick, Qt::NoModifier);
    ASSERT_EQ(presses.size(), 2u);
    EXPECT_EQ(presses[0].button, MouseButton::right);
    EXPECT_EQ(presses[1].button, MouseButton::left);
    EXPECT_TRUE(presses[1].controlHeld);
    ASSERT_TRUE(presses[0].window);
    EXPECT_EQ(presses[0].window->className, "StatusBarWindow");
    EXPECT_EQ(presses[0].window->level, 25);
    EXPECT_TRUE(item.isPopoverVisible()) << "a click nobody consumed opens the popover";

    item.handleActivation(QSystemTrayIcon::Trigger, Qt::NoModifier);
    EXPECT_FALSE(item.isPopoverVisible());
    item.handleActivation(QSystemTrayIcon::Trigger, Qt::NoModifier);
    EXPECT_TRUE(item.isPopoverVisible());
    EXPECT_EQ(popoversMade, 1);
    EXPECT_TRUE(item.popover()->windowFlags().testFlag(Qt::Popup));

    EXPECT_FALSE(windows.openStatusItemPopover()) << "the icon is in no tray";

    consume = true;
    item.handleActivation(QSystemTrayIcon::Trigger, Qt::ControlModifier);
    EXPECT_TRUE(item.isPopoverVisible()) << "a consumed click leaves the popover alone";
    item.hidePopover();
}

// A click on the icon closes the open pop-up by itself before the tray reports the same click.
TEST_F(QtStatusItemTest, TheClickThatClosedThePopoverDoesNotReopenIt) {
    item.showPopover();
    item.popover()->hide();
    item.handleActivation(QSystemTrayIcon::Trigger, Qt::NoModifier);
    EXPECT_FALSE(item.isPopoverVisible());
}

TEST_F(QtStatusItemTest, TheStatusAreaIsTheIconsSlotOfThePanel) {
    const auto top = screenWithPanels(32, 0);
    EXPECT_EQ(QtStatusItem::statusAreaFrame(QRectF(1700, 5, 22, 22), {}, top, 24), QRectF(1700, 0, 22, 32));
    EXPECT_EQ(QtStatusItem::statusAreaFrame(QRectF(), QPointF(1700, 10), top, 24), QRectF(1684, 0, 32, 32))
        << "a tray that does not say where the icon is: around the pointer";

    const auto bottom = screenWithPanels(0, 40);
    EXPECT_EQ(QtStatusItem::statusAreaFrame(QRectF(), QPointF(1700, 1060), bottom, 24),
              QRectF(1680, 1040, 40, 40));
    const auto none = screenWithPanels(0, 0);
    EXPECT_EQ(QtStatusItem::statusAreaFrame(QRectF(), QPointF(1700, 3), none, 24), QRectF(1688, 0, 24, 24));
    EXPECT_EQ(QtStatusItem::statusAreaFrame(QRectF(), QPointF(5, 5), {}, 24), QRectF(-7, -7, 24, 24));
}

TEST_F(QtStatusItemTest, ThePopoverOpensUnderTheIconInsideTheScreen) {
    const auto top = screenWithPanels(32, 0);
    EXPECT_EQ(QtStatusItem::popoverPosition(QRectF(1000, 0, 22, 32), QSizeF(300, 400), top),
              QPointF(861, 32));
    EXPECT_EQ(QtStatusItem::popoverPosition(QRectF(1900, 0, 20, 32), QSizeF(300, 400), top),
              QPointF(1620, 32))
        << "kept off the right edge";
    const auto bottom = screenWithPanels(0, 40);
    EXPECT_EQ(QtStatusItem::popoverPosition(QRectF(1000, 1040, 40, 40), QSizeF(300, 400), bottom),
              QPointF(870, 640))
        << "above a panel at the bottom";
    const auto full = screenWithPanels(0, 0);
    EXPECT_EQ(QtStatusItem::popoverPosition(QRectF(1000, 1058, 22, 22), QSizeF(300, 400), full),
              QPointF(861, 658))
        << "above an icon at the bottom where the desktop reserves no room for the panel";
    EXPECT_EQ(QtStatusItem::besideAnchor(QRectF(1900, 1040, 20, 40), 1900, QSizeF(200, 100), 4, bottom),
              QPointF(1720, 936))
        << "a menu 4 points above an icon at the bottom, kept off the right edge";
    EXPECT_EQ(QtStatusItem::besideAnchor(QRectF(1000, 0, 20, 32), 1000, QSizeF(200, 100), 4, top),
              QPointF(1000, 36));
}

// The desktop's text colour stands for the panel's: light text on a dark theme, dark text on a light one.
TEST_F(QtStatusItemTest, TheIconFollowsTheLightOrDarkColoursOfTheDesktop) {
    const QPalette original = QApplication::palette();
    const auto iconColours = [this] {
        QSet<QRgb> colours;
        const QImage image = item.icon().pixmap(QSize(18, 18)).toImage();
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixelColor(x, y).alpha() == 255)
                    colours.insert(image.pixelColor(x, y).rgb());
        return colours;
    };
    QPalette dark = original;
    dark.setColor(QPalette::WindowText, Qt::white);
    QApplication::setPalette(dark);
    item.setImage(MenuBarLabel::image());
    EXPECT_EQ(iconColours(), QSet<QRgb>{QColor(Qt::white).rgb()});

    QPalette light = original;
    light.setColor(QPalette::WindowText, Qt::black);
    QApplication::setPalette(light);
    EXPECT_EQ(iconColours(), QSet<QRgb>{QColor(Qt::black).rgb()});
    QApplication::setPalette(original);
}

TEST_F(QtStatusItemTest, TheTemplateIconIsDrawnInTheGivenColour) {
    const QIcon icon = QtStatusItem::renderIcon(MenuBarLabel::image(), Qt::red);
    ASSERT_FALSE(icon.isNull()) << "the asset is built in";
    const QImage image = icon.pixmap(QSize(18, 18)).toImage();
    EXPECT_EQ(image.size(), QSize(18, 18));
    int red = 0;
    int other = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() == 0)
                continue;
            (c.red() == 255 && c.green() == 0 && c.blue() == 0 ? red : other)++;
        }
    EXPECT_GT(red, 40);
    EXPECT_EQ(other, 0);
    EXPECT_EQ(image.pixelColor(0, 17).alpha(), 0);
}

} // namespace
