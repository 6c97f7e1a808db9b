#include "app/StatusItemMenuController.h"

#include "app/AppDelegate.h"
#include "app/SettingsPresenter.h"
#include "app/StatusItemMenuBuilder.h"
#include "services/UpdaterService.h"

#include <QPointer>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {

QString wholeNumber(double value) {
    if (!std::isfinite(value))
        return QStringLiteral("0");
    return QString::number(qint64(std::clamp(std::trunc(value), -9.0e18, 9.0e18)));
}

QString describeWindow(const WindowDescription& window) {
    return window.className + StatusItemMenuController::describe(window.frame);
}

QString boolText(bool value) {
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

bool canCheckForUpdates() {
    const UpdaterService* updater = AppDelegate::sharedUpdater();
    return updater && updater->canCheckForUpdates();
}

} // namespace

StatusItemMenuController::StatusItemMenuController(StatusItem& statusItem, WindowSystem& windowSystem,
                                                   QObject* parent)
    : QObject(parent), statusItem_(statusItem), windowSystem_(windowSystem) {}

void StatusItemMenuController::install() {
    if (monitor_.isActive())
        return;
    monitor_ = statusItem_.addLocalMouseDownMonitor(
        [self = QPointer<StatusItemMenuController>(this)](const MouseDownEvent& event) {
            return self && self->handle(event);
        });
    log_.info(QStringLiteral("status_item_menu_monitor_installed"));
    // Panels that show the menu themselves never report the right click that the monitor waits for.
    statusItem_.setMenuProvider(
        [self = QPointer<StatusItemMenuController>(this)](MenuRequest request) -> std::shared_ptr<Menu> {
            if (!self)
                return nullptr;
            std::shared_ptr<Menu> menu = makeMenu();
            if (request == MenuRequest::opening)
                self->logShown(*menu);
            return menu;
        });
}

bool StatusItemMenuController::handle(const MouseDownEvent& event) {
    const bool gesture =
        event.button == MouseButton::right || (event.button == MouseButton::left && event.controlHeld);
    if (!gesture)
        return false;
    // A press that arrives while the menu tracks the mouse must not open a second one.
    if (isShowingMenu_)
        return true;
    const std::optional<WindowDescription> anchor = statusItemAnchor(event);
    if (!anchor) {
        logIgnored(event);
        return false;
    }
    isShowingMenu_ = true;
    const QPointer<StatusItemMenuController> self(this);
    show(*anchor);
    if (self)
        isShowingMenu_ = false;
    return true;
}

std::optional<WindowDescription>
StatusItemMenuController::statusItemAnchor(const MouseDownEvent& event) const {
    if (event.window && isStatusItemWindow(*event.window)) {
        logAnchor(*event.window, QStringLiteral("event"));
        return event.window;
    }
    const QPointF pointer = statusItem_.mouseLocation();
    for (const WindowDescription& window : windowSystem_.windows()) {
        if (isStatusItemWindow(window) && window.frame.contains(pointer)) {
            logAnchor(window, QStringLiteral("pointer"));
            return window;
        }
    }
    return std::nullopt;
}

bool StatusItemMenuController::isStatusItemWindow(const WindowDescription& window) const {
    if (window.level != StatusItemWindow::level || !window.visible)
        return false;
    if (!window.className.contains(StatusItemWindow::className))
        return false;
    const QRectF& frame = window.frame;
    if (!(frame.height() > 0 && frame.height() <= menuBarHeight() + kHeightAllowance))
        return false;
    // Linux panels sit at any edge of a screen, most at the top or at the bottom.
    const QPointF middle = frame.center();
    const std::vector<ScreenDescription> screens = windowSystem_.screens();
    return std::any_of(screens.begin(), screens.end(), [&](const ScreenDescription& screen) {
        const bool alongTopOrBottom = std::abs(screen.frame.top() - frame.top()) <= kEdgeTolerance ||
                                      std::abs(screen.frame.bottom() - frame.bottom()) <= kEdgeTolerance;
        const bool alongSide = std::abs(screen.frame.left() - frame.left()) <= kEdgeTolerance ||
                               std::abs(screen.frame.right() - frame.right()) <= kEdgeTolerance;
        return (alongTopOrBottom && screen.frame.left() <= middle.x() &&
                middle.x() <= screen.frame.right()) ||
               (alongSide && screen.frame.top() <= middle.y() && middle.y() <= screen.frame.bottom());
    });
}

double StatusItemMenuController::menuBarHeight() const {
    double height = 0;
    for (const ScreenDescription& screen : windowSystem_.screens())
        height = std::max({height, screen.visibleFrame.top() - screen.frame.top(),
                           screen.frame.bottom() - screen.visibleFrame.bottom()});
    return std::max(height, statusItem_.statusBarThickness());
}

std::shared_ptr<Menu> StatusItemMenuController::makeMenu() {
    return StatusItemMenuBuilder::make(
        QStringLiteral("Mondrel"), canCheckForUpdates(), [] { SettingsPresenter::present(); },
        [] {
            if (UpdaterService* updater = AppDelegate::sharedUpdater())
                updater->checkForUpdates();
        });
}

void StatusItemMenuController::logShown(const Menu& menu) const {
    log_.info(QStringLiteral("status_item_menu_shown items=") + QString::number(menu.count()) +
              QStringLiteral(" canCheckForUpdates=") + boolText(canCheckForUpdates()));
}

void StatusItemMenuController::show(const WindowDescription& anchor) {
    const std::shared_ptr<Menu> menu = makeMenu();
    logShown(*menu);
    statusItem_.popUpMenu(menu, anchor.frame, kMenuGap);
}

QString StatusItemMenuController::describe(const QRectF& rect) {
    return QStringLiteral("(") + wholeNumber(rect.x()) + QLatin1Char(',') + wholeNumber(rect.y()) +
           QLatin1Char(',') + wholeNumber(rect.width()) + QLatin1Char('x') + wholeNumber(rect.height()) +
           QLatin1Char(')');
}

void StatusItemMenuController::logAnchor(const WindowDescription& window, const QString& source) const {
    log_.info(QStringLiteral("status_item_menu_anchor source=") + source + QStringLiteral(" class=") +
              window.className + QStringLiteral(" frame=") + describe(window.frame) +
              QStringLiteral(" menuBar=") + wholeNumber(menuBarHeight()));
}

void StatusItemMenuController::logIgnored(const MouseDownEvent& event) const {
    QStringList statusLevel;
    for (const WindowDescription& window : windowSystem_.windows())
        if (window.visible && window.level == StatusItemWindow::level)
            statusLevel << describeWindow(window);
    log_.info(QStringLiteral("status_item_menu_gesture_ignored eventWindow=") +
              (event.window ? describeWindow(*event.window) : QStringLiteral("none")) +
              QStringLiteral(" statusLevelWindows=[") + statusLevel.join(QLatin1Char(',')) +
              QStringLiteral("] menuBar=") + wholeNumber(menuBarHeight()));
}
