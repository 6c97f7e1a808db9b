#pragma once

#include "platform/MenuModel.h"

#include <QRectF>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

// Opaque identity of one of the program's windows; stays unique while the window exists.
using WindowId = quintptr;

// Window levels, stacked from low to high as on the platform the program came from.
namespace WindowLevel {
inline constexpr int normal = 0;
inline constexpr int floating = 3;
inline constexpr int statusBar = 25;
inline constexpr int popUpMenu = 101;
} // namespace WindowLevel

// One of the program's windows as the window system sees it at the moment of asking.
struct WindowDescription {
    WindowId id = 0;
    // Without namespace or module prefix.
    QString className;
    // Empty when the window has none.
    std::optional<QString> identifier;
    int level = WindowLevel::normal;
    bool visible = false;
    // Auxiliary windows (the popover, palettes) that never count as the program's ordinary windows.
    bool panel = false;
    // The window that has the keyboard focus.
    bool key = false;
    // Global screen coordinates, y growing downwards.
    QRectF frame;
};

struct ScreenDescription {
    QRectF frame;
    // The frame without the panels and bars of the desktop.
    QRectF visibleFrame;
};

// regular: the program appears in the window cycle and its windows can take the focus. accessory: it lives
// only in the status area.
enum class ActivationPolicy { regular, accessory };

// A registration that lasts until this object is destroyed or reset.
class Observation {
public:
    Observation() = default;
    explicit Observation(std::function<void()> end) : end_(std::move(end)) {}
    Observation(Observation&& other) noexcept : end_(std::exchange(other.end_, nullptr)) {}
    Observation& operator=(Observation&& other) noexcept {
        if (this != &other) {
            reset();
            end_ = std::exchange(other.end_, nullptr);
        }
        return *this;
    }
    Observation(const Observation&) = delete;
    Observation& operator=(const Observation&) = delete;
    ~Observation() { reset(); }

    void reset() {
        if (auto end = std::exchange(end_, nullptr))
            end();
    }
    bool isActive() const { return bool(end_); }

private:
    std::function<void()> end_;
};

// The program's windows, menus and activation as the desktop sees them. Every call is made on the main
// thread.
class WindowSystem {
public:
    virtual ~WindowSystem() = default;

    // Every window of the program, hidden ones included, in the system's order.
    virtual std::vector<WindowDescription> windows() const = 0;
    virtual std::vector<ScreenDescription> screens() const = 0;

    virtual ActivationPolicy activationPolicy() const = 0;
    virtual void setActivationPolicy(ActivationPolicy policy) = 0;
    // Brings the program to the foreground, whatever other program is active.
    virtual void activate() = 0;

    // Shows the window, raises it and gives it the keyboard focus.
    virtual void makeKeyAndOrderFront(WindowId window) = 0;
    // Shows and raises the window even while the program is not active.
    virtual void orderFrontRegardless(WindowId window) = 0;
    // Closes the window as its close button would; its will-close observers hear of it.
    virtual void close(WindowId window) = 0;

    // Opens the status item's popover as a click on the item would. Fails silently (false) when the
    // desktop offers no status item or the program has not put one there.
    virtual bool openStatusItemPopover() = 0;

    // Calls `handler` when the window is about to close, while the returned observation lives.
    [[nodiscard]] virtual Observation observeWillClose(WindowId window, std::function<void()> handler) = 0;
    // Calls `handler` each time the program becomes the active one, while the returned observation lives.
    [[nodiscard]] virtual Observation observeDidBecomeActive(std::function<void()> handler) = 0;

    // The menu shown while the program has an ordinary window in front; nothing when it has none.
    virtual std::shared_ptr<Menu> mainMenu() const = 0;
    virtual void setMainMenu(std::shared_ptr<Menu> menu) = 0;
    // The submenu into which a menu layer may put other programs' services; nothing keeps it empty.
    virtual std::shared_ptr<Menu> servicesMenu() const = 0;
    virtual void setServicesMenu(std::shared_ptr<Menu> menu) = 0;

    // Sends `action` to `target`, or, without a target, along the responder chain: the focused control of
    // the active window and its containers, then the responders added here, in order. Returns whether
    // anyone performed it.
    virtual bool sendAction(const QString& action, const std::shared_ptr<ActionResponder>& target,
                            const MenuItem* sender) = 0;
    // Appends a link to the end of the responder chain (not owned) until the observation ends.
    [[nodiscard]] virtual Observation addResponder(ActionResponder* responder) = 0;
};
