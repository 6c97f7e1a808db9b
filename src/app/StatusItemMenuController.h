#pragma once

#include "platform/StatusItem.h"
#include "platform/WindowSystem.h"
#include "utilities/Log.h"

#include <QObject>

#include <optional>

// Opens the status item's context menu on a right click, or a click with Control held, on the status
// item, and consumes that click so the popover stays closed. Clicks elsewhere pass on untouched.
class StatusItemMenuController final : public QObject {
    Q_OBJECT
public:
    // The menu's top edge below the status item.
    static constexpr double kMenuGap = 4;
    // How much taller than the status area the status item's window may be.
    static constexpr double kHeightAllowance = 10;
    // How far the status item's window may lie from the screen's edge.
    static constexpr double kEdgeTolerance = 1;

    StatusItemMenuController(StatusItem& statusItem, WindowSystem& windowSystem, QObject* parent = nullptr);

    // Starts watching mouse presses and hands the menu to panels that show it themselves; a second call
    // changes nothing.
    void install();
    bool isInstalled() const { return monitor_.isActive(); }
    bool isShowingMenu() const { return isShowingMenu_; }

    // The monitor's handler: true consumes the press.
    bool handle(const MouseDownEvent& event);
    // The status item's window that the press was aimed at: the press's own window, else the one under
    // the pointer.
    std::optional<WindowDescription> statusItemAnchor(const MouseDownEvent& event) const;
    // At the status-bar level, visible, of the status bar's class, no taller than the status area allows
    // and lying along an edge of a screen that holds its middle.
    bool isStatusItemWindow(const WindowDescription& window) const;
    // The thickest panel at the top or bottom of any screen, at least the status bar's own thickness.
    double menuBarHeight() const;
    // Shows the menu under `anchor` and returns when it has closed.
    void show(const WindowDescription& anchor);

    // "(x,y,widthxheight)" in whole numbers truncated toward zero.
    static QString describe(const QRectF& rect);

    // The menu's items as they stand now: "Settings…", "Check for Updates…", a separator, "Quit Mondrel".
    static std::shared_ptr<Menu> makeMenu();

private:
    void logShown(const Menu& menu) const;
    void logAnchor(const WindowDescription& window, const QString& source) const;
    void logIgnored(const MouseDownEvent& event) const;

    StatusItem& statusItem_;
    WindowSystem& windowSystem_;
    Observation monitor_;
    bool isShowingMenu_ = false;
    Log log_{QStringLiteral("statusItem")};
};
