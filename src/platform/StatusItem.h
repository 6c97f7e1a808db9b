#pragma once

#include "platform/MenuModel.h"
#include "platform/WindowSystem.h"

#include <QPointF>
#include <QSizeF>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

// Window class and level under which the status item's area appears among the program's windows.
namespace StatusItemWindow {
inline const QString className = QStringLiteral("StatusBarWindow");
inline constexpr int level = WindowLevel::statusBar;
} // namespace StatusItemWindow

enum class MouseButton { left, right };

// A mouse button pressed in one of the program's windows, before the program acts on it.
struct MouseDownEvent {
    MouseButton button = MouseButton::left;
    bool controlHeld = false;
    // The window the press landed in; nothing when it has none.
    std::optional<WindowDescription> window;
};

// The image shown in the status area.
struct StatusItemImage {
    // The name of an image of the program's assets.
    QString assetName;
    // Drawn in one colour that suits the panel, whatever colours the image has.
    bool isTemplate = false;
    // Scaled to fit this size, in points.
    QSizeF size;
};

// Why a panel that shows the item's menu itself asks for the menu: to know its items ahead of time, or
// because it is about to open it.
enum class MenuRequest { contents, opening };

// The program's item in the desktop's status area (system tray), its mouse presses and its menu. Every call
// is made on the main thread.
class StatusItem {
public:
    // Returns true to consume the press, false to let the program handle it as usual.
    using MouseDownMonitor = std::function<bool(const MouseDownEvent&)>;
    using MenuProvider = std::function<std::shared_ptr<Menu>(MenuRequest request)>;

    virtual ~StatusItem() = default;

    virtual void setImage(const StatusItemImage& image) = 0;
    // Hears every left and right press before the program does, while the observation lives. An inactive
    // observation means that no monitor could be installed.
    [[nodiscard]] virtual Observation addLocalMouseDownMonitor(MouseDownMonitor monitor) = 0;
    // The pointer, in global screen coordinates.
    virtual QPointF mouseLocation() const = 0;
    // The height the desktop gives to a status area.
    virtual double statusBarThickness() const = 0;
    // Shows `menu` `gap` points below `anchor` with their left edges aligned, or as far above it where the
    // screen has no room below, and returns when the menu has closed.
    virtual void popUpMenu(const std::shared_ptr<Menu>& menu, const QRectF& anchor, double gap) = 0;
    // Panels that draw the item's menu themselves and never report a right click (StatusNotifierItem hosts
    // ask for the menu over D-Bus) show the menu that `provider` makes, made afresh before each opening.
    virtual void setMenuProvider(MenuProvider provider) = 0;
};
