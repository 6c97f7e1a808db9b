#include "platform/linux/QtStatusItem.h"
#include "app/MenuBarLabel.h"
#include "app/StatusItemMenuBuilder.h"
#include "platform/PopoverContent.h"
#include "platform/linux/QtWindowSystem.h"
#include "support/FakeWindowSystem.h"
#include "support/QtPrinters.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QPalette>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

QtStatusItem::StatusArea slot(double x, double y, double width, double height, Qt::Edge edge) {
    return {QRectF(x, y, width, height), edge};
}

// Content that asks for more room as it is shown.
class GrowingOnShow final : public QWidget {
public:
    GrowingOnShow(QSize before, QSize shown, QWidget* parent) : QWidget(parent), shown_(shown) {
        setFixedSize(before);
    }

protected:
    void showEvent(QShowEvent* event) override {
        QWidget::showEvent(event);
        setFixedSize(shown_);
    }

private:
    QSize shown_;
};

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
    const auto area = [](const QRectF& icon, QPointF pointer, const std::vector<ScreenDescription>& screens,
                         const QRectF& panel = {}) {
        return QtStatusItem::statusArea(icon, panel, pointer, screens, 24);
    };
    const auto top = screenWithPanels(32, 0);
    EXPECT_EQ(area(QRectF(1700, 5, 22, 22), {}, top), slot(1700, 0, 22, 32, Qt::TopEdge));
    EXPECT_EQ(area(QRectF(), QPointF(1700, 10), top), slot(1684, 0, 32, 32, Qt::TopEdge))
        << "a tray that does not say where the icon is: around the pointer";

    const auto bottom = screenWithPanels(0, 40);
    EXPECT_EQ(area(QRectF(), QPointF(1700, 1060), bottom), slot(1680, 1040, 40, 40, Qt::BottomEdge));
    const auto none = screenWithPanels(0, 0);
    EXPECT_EQ(area(QRectF(), QPointF(1700, 3), none), slot(1688, 0, 24, 24, Qt::TopEdge));
    EXPECT_EQ(area(QRectF(), QPointF(5, 5), {}), slot(-7, -7, 24, 24, Qt::TopEdge));
    EXPECT_EQ(area(QRectF(1890, 1055, 22, 22), {}, none), slot(1890, 1056, 22, 24, Qt::BottomEdge))
        << "no room reserved: the nearer of top and bottom, even nearer to the right edge";

    std::vector<ScreenDescription> sides = {{QRectF(0, 0, 1920, 1080), QRectF(48, 0, 1832, 1080)}};
    EXPECT_EQ(area(QRectF(10, 500, 22, 22), {}, sides), slot(0, 500, 48, 22, Qt::LeftEdge));
    EXPECT_EQ(area(QRectF(), QPointF(1900, 500), sides), slot(1880, 480, 40, 40, Qt::RightEdge));

    // The panel's own window, where the X server tells it, even where the desktop reserves no room for it:
    // an icon 26 pixels high in a panel 28 high.
    EXPECT_EQ(area(QRectF(1257, 773, 22, 26), {}, none, QRectF(1120, 772, 160, 28)),
              slot(1257, 772, 22, 28, Qt::BottomEdge));
    EXPECT_EQ(area(QRectF(1257, 1, 22, 26), {}, none, QRectF(1120, 0, 160, 28)),
              slot(1257, 0, 22, 28, Qt::TopEdge));
    EXPECT_EQ(area(QRectF(2, 40, 26, 22), {}, none, QRectF(0, 0, 30, 160)),
              slot(0, 40, 30, 22, Qt::LeftEdge));
    EXPECT_EQ(area(QRectF(1894, 40, 26, 22), {}, none, QRectF(1890, 0, 30, 160)),
              slot(1890, 40, 30, 22, Qt::RightEdge));
    EXPECT_EQ(area(QRectF(1700, 5, 22, 22), {}, top, QRectF(0, 900, 100, 28)),
              slot(1700, 0, 22, 32, Qt::TopEdge))
        << "a panel that does not hold the icon says nothing";
    EXPECT_EQ(area(QRectF(1700, 5, 22, 22), {}, top, QRectF(0, 0, 1920, 1080)),
              slot(1700, 0, 22, 32, Qt::TopEdge))
        << "nor does a window that covers the screen";
}

// Beside the panel on the screen's side, touching it, centred on the icon, inside the screen.
TEST_F(QtStatusItemTest, ThePopoverOpensBesideThePanelInsideTheScreen) {
    const QSizeF size(300, 400);
    const auto top = screenWithPanels(32, 0);
    EXPECT_EQ(QtStatusItem::popoverPosition(slot(1000, 0, 22, 32, Qt::TopEdge), size, top), QPointF(861, 32));
    EXPECT_EQ(QtStatusItem::popoverPosition(slot(1900, 0, 20, 32, Qt::TopEdge), size, top), QPointF(1620, 32))
        << "kept off the right edge";
    const auto bottom = screenWithPanels(0, 40);
    EXPECT_EQ(QtStatusItem::popoverPosition(slot(1000, 1040, 40, 40, Qt::BottomEdge), size, bottom),
              QPointF(870, 640));
    const auto full = screenWithPanels(0, 0);
    EXPECT_EQ(QtStatusItem::popoverPosition(slot(1000, 1052, 22, 28, Qt::BottomEdge), size, full),
              QPointF(861, 652))
        << "above a bottom panel for which the desktop reserves no room";
    EXPECT_EQ(QtStatusItem::popoverPosition(slot(0, 40, 30, 22, Qt::LeftEdge), size, full), QPointF(30, 0))
        << "right of a left panel, kept off the top";
    EXPECT_EQ(QtStatusItem::popoverPosition(slot(1890, 700, 30, 22, Qt::RightEdge), size, full),
              QPointF(1590, 511));
    EXPECT_EQ(QtStatusItem::popoverPosition(slot(1000, 0, 22, 32, Qt::TopEdge), QSizeF(300, 2000), top),
              QPointF(861, 32))
        << "taller than the screen: its top stays by the panel";

    EXPECT_EQ(QtStatusItem::besideAnchor(QRectF(1900, 1040, 20, 40), 1900, QSizeF(200, 100), 4, bottom),
              QPointF(1720, 936))
        << "a menu 4 points above an icon at the bottom, kept off the right edge";
    EXPECT_EQ(QtStatusItem::besideAnchor(QRectF(1000, 0, 20, 32), 1000, QSizeF(200, 100), 4, top),
              QPointF(1000, 36));
}

// A popover whose content asks for more room as it is shown (today selected, its events listed), and again
// while it is open, lies above a bottom panel and touches it from its first opening on.
TEST(QtStatusItemPopoverTest, ContentThatGrowsAsItShowsStaysOnScreenBesideThePanel) {
    QtWindowSystem windows;
    QWidget* content = nullptr;
    QtStatusItem item(
        windows,
        [&content] {
            auto popover = std::make_unique<QWidget>();
            auto* layout = new QVBoxLayout(popover.get());
            layout->setContentsMargins(0, 0, 0, 0);
            layout->setSizeConstraint(QLayout::SetFixedSize);
            content = new GrowingOnShow(QSize(300, 370), QSize(300, 444), popover.get());
            layout->addWidget(content);
            return popover;
        },
        QtStatusItem::TrayProtocol::xembed);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QCursor::setPos(screen.center().x(), screen.bottom() - 4);
    ASSERT_EQ(QCursor::pos(), QPoint(screen.center().x(), screen.bottom() - 4))
        << "the platform moves no pointer";

    item.showPopover();
    const double panelTop = screen.bottom() + 1 - 24;
    QRect frame = item.popover()->geometry();
    EXPECT_EQ(frame.size(), QSize(300, 444));
    EXPECT_EQ(frame.bottom() + 1, panelTop) << "touching the panel, not covering it";
    EXPECT_TRUE(screen.contains(frame));

    content->setFixedHeight(524);
    QApplication::processEvents();
    frame = item.popover()->geometry();
    EXPECT_EQ(frame.height(), 524);
    EXPECT_EQ(frame.bottom() + 1, panelTop);
    item.hidePopover();
}

// Content that tells the tallest it can become and takes the height limit it is given, as the calendar does.
class SizedContent final : public QWidget, public PopoverContent {
public:
    int tallest = 500;
    std::optional<int> limit;
    int tallestHeight() override { return std::min(tallest, limit.value_or(tallest)); }
    void setHeightLimit(std::optional<int> height) override { limit = height; }
};

// Placed once per opening for the tallest the content can become, the popover's top holds still above a
// bottom panel while the content grows and shrinks beneath it, which learns how much room the screen has
// beside the panel; only content that outgrows that room moves, and then stays off the panel.
TEST(QtStatusItemPopoverTest, TheTopHoldsStillWhileTheContentChangesSize) {
    QtWindowSystem windows;
    SizedContent* content = nullptr;
    QtStatusItem item(
        windows,
        [&content] {
            auto popover = std::make_unique<SizedContent>();
            popover->setFixedSize(300, 300);
            content = popover.get();
            return popover;
        },
        QtStatusItem::TrayProtocol::xembed);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QCursor::setPos(screen.center().x(), screen.bottom() - 4);
    item.showPopover();
    ASSERT_TRUE(content);
    const int panelTop = screen.bottom() + 1 - 24;
    EXPECT_EQ(content->limit, std::optional(panelTop - screen.top()));
    const int top = item.popover()->y();
    EXPECT_EQ(top, panelTop - 500);

    for (const int height : {200, 450, 300}) {
        content->setFixedHeight(height);
        QApplication::processEvents();
        EXPECT_EQ(item.popover()->y(), top) << height;
    }
    content->setFixedHeight(540);
    QApplication::processEvents();
    EXPECT_EQ(item.popover()->geometry().bottom() + 1, panelTop) << "outgrown: kept off the panel";
    item.hidePopover();

    // At a fractional scale a position is rounded to device pixels: it is taken so that the window's
    // pixels stay inside the room.
    const QRectF room(0, 28 / 1.5, 1366 / 1.5 + 1 / 3.0, 740 / 1.5 - 28 / 1.5);
    EXPECT_EQ(QtStatusItem::wholePixelsInside(room, QPointF(611, 18.7), QSizeF(300, 400), 1.5),
              QPoint(610, 19));
    EXPECT_EQ(QtStatusItem::wholePixelsInside(room, QPointF(100.4, 50.6), QSizeF(300, 400), 1.0),
              QPoint(100, 51));
}

// Where the panel's colour is unknown (no XEmbed tray here), the strokes keep the desktop's text colour and
// an outline in black or white, whichever stands out from them, keeps them legible on any panel; a change
// of the desktop's colours redraws the icon.
TEST_F(QtStatusItemTest, OnAPanelOfUnknownColourTheIconIsOutlined) {
    const QPalette original = QApplication::palette();
    // How many opaque pixels have the grey `strokes` and how many the grey `outline`; where the strokes'
    // soft edges lie on the outline, a grey between the two.
    const auto count = [this](int strokes, int outline) {
        std::pair<int, int> counts;
        const QImage image = item.icon().pixmap(QSize(18, 18)).toImage();
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                if (c.alpha() != 255)
                    continue;
                EXPECT_TRUE(c.red() == c.green() && c.green() == c.blue()) << x << "," << y;
                EXPECT_GE(c.red(), std::min(strokes, outline));
                EXPECT_LE(c.red(), std::max(strokes, outline));
                counts.first += c.red() == strokes;
                counts.second += c.red() == outline;
            }
        return counts;
    };
    QPalette dark = original;
    dark.setColor(QPalette::WindowText, Qt::white);
    QApplication::setPalette(dark);
    item.setImage(MenuBarLabel::image());
    EXPECT_FALSE(item.panelColour().isValid());
    auto [strokes, outline] = count(255, 0);
    EXPECT_GT(strokes, 40);
    EXPECT_GT(outline, 40);

    QPalette grey = original;
    grey.setColor(QPalette::WindowText, QColor(0x30, 0x30, 0x30));
    QApplication::setPalette(grey);
    std::tie(strokes, outline) = count(0x30, 255);
    EXPECT_GT(strokes, 40);
    EXPECT_GT(outline, 40);
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
