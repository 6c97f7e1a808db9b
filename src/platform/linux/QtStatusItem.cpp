#include "platform/linux/QtStatusItem.h"

#include "platform/PopoverContent.h"
#include "platform/linux/PanelContrast.h"
#include "platform/linux/QtMenuBarPresenter.h"
#include "platform/linux/QtWindowSystem.h"
#include "platform/linux/X11PanelFrame.h"
#include "utilities/Log.h"

#include <QApplication>
#include <QCursor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QEvent>
#include <QImage>
#include <QLayout>
#include <QMenu>
#include <QPainter>
#include <QPalette>
#include <QScreen>
#include <QSvgRenderer>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// What a desktop without a reserved panel gives to a status area, and the icon size inside it.
constexpr double kDefaultThickness = 24;
// A click on the icon closes the open popover by itself before the tray reports it; not reopened then.
constexpr qint64 kReopenGuardMilliseconds = 300;
// Qt's XEmbed tray icon: a top-level widget of its own, which the panel embeds.
constexpr const char* kEmbeddedIconName = "QSystemTrayIconSys";
// A panel takes at most this share of the screen across its edge.
constexpr double kMaxPanelShare = 4;
// A watcher that does not answer within this time counts as none.
constexpr int kWatcherTimeoutMs = 2000;
// How often a desktop without a tray is asked again: the icon appears well within two seconds of a panel.
constexpr int kTrayLookIntervalMs = 500;
// The panel's colour is looked at this often at most, around the icon, in a square of this side at most.
constexpr qint64 kPanelSampleIntervalMs = 250;
constexpr double kPanelSampleMargin = 8;
constexpr double kPanelSampleSide = 48;
// A watcher that starts again is given five seconds to serve its object.
constexpr int kWatcherAttempts = 20;

double distance(const QRectF& rect, QPointF point) {
    const double dx = std::max({rect.left() - point.x(), 0.0, point.x() - rect.right()});
    const double dy = std::max({rect.top() - point.y(), 0.0, point.y() - rect.bottom()});
    return std::hypot(dx, dy);
}

// The screen that holds `point`, else the nearest one; nothing without screens.
const ScreenDescription* nearestScreen(QPointF point, const std::vector<ScreenDescription>& screens) {
    const ScreenDescription* best = nullptr;
    double bestDistance = std::numeric_limits<double>::infinity();
    for (const ScreenDescription& screen : screens) {
        const double d = distance(screen.frame, point);
        if (d < bestDistance) {
            best = &screen;
            bestDistance = d;
        }
    }
    return best;
}

QImage tinted(const QImage& shape, const QColor& color) {
    QImage result = shape;
    QPainter painter(&result);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(result.rect(), color);
    return result;
}

QPointF clampedInto(const QRectF& area, QPointF topLeft, QSizeF size) {
    const double x = std::max(area.left(), std::min(topLeft.x(), area.right() - size.width()));
    const double y = std::max(area.top(), std::min(topLeft.y(), area.bottom() - size.height()));
    return {x, y};
}

} // namespace

QtStatusItem::QtStatusItem(QtWindowSystem& windowSystem, PopoverFactory popover,
                           std::optional<TrayProtocol> protocol, QObject* parent)
    : QObject(parent), windowSystem_(windowSystem), popoverFactory_(std::move(popover)) {
    if (protocol)
        makeTray(*protocol);
    windowSource_ = windowSystem_.addWindowSource([this] { return window(); });
    windowSystem_.setStatusItemPopoverOpener([this] { return openPopover(); });
    // The template image follows the light or dark colours of the desktop.
    qApp->installEventFilter(this);
}

QtStatusItem::~QtStatusItem() {
    windowSystem_.setStatusItemPopoverOpener(nullptr);
    // Destroying a shown popover hides it: no event may reach a half-destroyed filter.
    if (popover_)
        popover_->removeEventFilter(this);
    // The icon's exported menu refers to the hosted menu: the icon goes first.
    windowSource_.reset();
    delete std::exchange(tray_, nullptr);
}

void QtStatusItem::makeTray(TrayProtocol protocol) {
    protocol_ = protocol;
    tray_ = new QSystemTrayIcon(this);
    connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        handleActivation(reason, QGuiApplication::queryKeyboardModifiers());
    });
    applyImage();
    exportMenu();
    if (protocol_ == TrayProtocol::statusNotifier && !watcherWatch_) {
        watcherWatch_ = new QDBusServiceWatcher(QStringLiteral("org.kde.StatusNotifierWatcher"),
                                                QDBusConnection::sessionBus(),
                                                QDBusServiceWatcher::WatchForRegistration, this);
        connect(watcherWatch_, &QDBusServiceWatcher::serviceRegistered, this, [this] { followWatcher(0); });
    }
}

// Started at login, the program may come up before the panel: the icon is made once a tray is there.
bool QtStatusItem::show() {
    if (!tray_) {
        lookForTray();
        return false;
    }
    tray_->show();
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void QtStatusItem::lookForTray() {
    if (tray_ || lookingForTray_)
        return;
    lookingForTray_ = true;
    askWatcher([this](std::optional<bool> hosted) {
        lookingForTray_ = false;
        if (tray_)
            return;
        if (hosted.value_or(false) || X11PanelFrame::trayPresent()) {
            makeTray(hosted.value_or(false) ? TrayProtocol::statusNotifier : TrayProtocol::xembed);
            tray_->show();
            Log(QStringLiteral("statusItem"))
                .info(QStringLiteral("status_item_shown protocol=") +
                      (protocol_ == TrayProtocol::statusNotifier ? QStringLiteral("statusNotifier")
                                                                 : QStringLiteral("xembed")));
            return;
        }
        QTimer::singleShot(kTrayLookIntervalMs, this, &QtStatusItem::lookForTray);
    });
}

void QtStatusItem::askWatcher(const std::function<void(std::optional<bool>)>& answer) {
    const QString watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
    QDBusMessage get = QDBusMessage::createMethodCall(watcher, QStringLiteral("/StatusNotifierWatcher"),
                                                      QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    get << watcher << QStringLiteral("IsStatusNotifierHostRegistered");
    auto* call =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(get, kWatcherTimeoutMs), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [answer](QDBusPendingCallWatcher* answered) {
        answered->deleteLater();
        const QDBusMessage reply = answered->reply();
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            answer(std::nullopt);
            return;
        }
        answer(reply.arguments().constFirst().value<QDBusVariant>().variant().toBool());
    });
}

// Qt tells a watcher that starts again about the icon as soon as its name appears, which may be before
// the watcher serves its object: that registration fails and is not tried again. Once the watcher answers,
// the icon is made anew, and registers with it.
void QtStatusItem::followWatcher(int attempt) {
    askWatcher([this, attempt](std::optional<bool> hosted) {
        if (!tray_)
            return;
        if (!hosted) {
            if (attempt < kWatcherAttempts)
                QTimer::singleShot(kTrayLookIntervalMs / 2, this,
                                   [this, attempt] { followWatcher(attempt + 1); });
            return;
        }
        const bool visible = tray_->isVisible();
        delete std::exchange(tray_, nullptr);
        makeTray(TrayProtocol::statusNotifier);
        tray_->setVisible(visible);
        Log(QStringLiteral("statusItem")).info(QStringLiteral("status_item_registered_again"));
    });
}

void QtStatusItem::setImage(const StatusItemImage& image) {
    image_ = image;
    applyImage();
}

// The desktop's text colour says little of the panel's: a dark Qt style may run under a light panel. Where
// the panel's colour is known, the strokes stand out from it; elsewhere an outline keeps them legible.
void QtStatusItem::applyImage() {
    if (!image_ || !tray_)
        return;
    const QColor text = QGuiApplication::palette().color(QPalette::WindowText);
    tray_->setIcon(panelColour_.isValid() ? renderIcon(*image_, PanelContrast::inkOn(panelColour_, text))
                                          : renderIcon(*image_, text, PanelContrast::outlineFor(text)));
}

// A panel may redraw or resize the icon many times a second: its colour is looked at a few times a second
// at most, whatever the panel does.
void QtStatusItem::schedulePanelSample() {
    if (panelSamplePending_)
        return;
    panelSamplePending_ = true;
    const qint64 since = lastPanelSample_.isValid() ? lastPanelSample_.elapsed() : kPanelSampleIntervalMs;
    QTimer::singleShot(int(std::max<qint64>(0, kPanelSampleIntervalMs - since)), this,
                       &QtStatusItem::samplePanel);
}

QRect QtStatusItem::panelSampleRegion(const QRectF& icon, const QRectF& panel) {
    if (icon.isEmpty() || panel.isEmpty())
        return {};
    QRectF region(0, 0, std::min(icon.width() + 2 * kPanelSampleMargin, kPanelSampleSide),
                  std::min(icon.height() + 2 * kPanelSampleMargin, kPanelSampleSide));
    region.moveCenter(icon.center());
    return region.intersected(panel).toAlignedRect().intersected(panel.toAlignedRect());
}

void QtStatusItem::samplePanel() {
    panelSamplePending_ = false;
    lastPanelSample_.start();
    const QRect region = panelSampleRegion(iconArea(), panelFrame());
    QScreen* screen = region.isEmpty() ? nullptr : QGuiApplication::screenAt(region.center());
    QColor colour;
    if (screen) {
        const QRect grabbed = region.translated(-screen->geometry().topLeft());
        colour = PanelContrast::dominantColour(
            screen->grabWindow(0, grabbed.x(), grabbed.y(), grabbed.width(), grabbed.height()).toImage());
    }
    if (colour == panelColour_)
        return;
    panelColour_ = colour;
    applyImage();
}

QIcon QtStatusItem::renderIcon(const StatusItemImage& image, const QColor& color,
                               const std::optional<QColor>& outline) {
    QSvgRenderer renderer(QStringLiteral(":/assets/%1.svg").arg(image.assetName));
    QIcon icon;
    if (!renderer.isValid())
        return icon;
    for (const double scale : {1.0, 2.0}) {
        const QSize pixels = (image.size * scale).toSize();
        QImage shape(pixels, QImage::Format_ARGB32_Premultiplied);
        shape.fill(Qt::transparent);
        QPainter shapePainter(&shape);
        const QSizeF fitted = QSizeF(renderer.defaultSize()).scaled(QSizeF(pixels), Qt::KeepAspectRatio);
        renderer.render(&shapePainter, QRectF(QPointF((pixels.width() - fitted.width()) / 2,
                                                      (pixels.height() - fitted.height()) / 2),
                                              fitted));
        shapePainter.end();
        if (!image.isTemplate) {
            icon.addPixmap(QPixmap::fromImage(shape));
            continue;
        }
        QImage canvas(pixels, QImage::Format_ARGB32_Premultiplied);
        canvas.fill(Qt::transparent);
        QPainter painter(&canvas);
        if (outline) {
            // The shape in the outline's colour, shifted one point each way, under the strokes.
            const QImage ring = tinted(shape, *outline);
            for (const int dx : {-1, 0, 1})
                for (const int dy : {-1, 0, 1})
                    if (dx != 0 || dy != 0)
                        painter.drawImage(QPointF(dx * scale, dy * scale), ring);
        }
        painter.drawImage(QPointF(0, 0), tinted(shape, color));
        painter.end();
        icon.addPixmap(QPixmap::fromImage(canvas));
    }
    return icon;
}

Observation QtStatusItem::addLocalMouseDownMonitor(MouseDownMonitor monitor) {
    return monitors_.add(std::move(monitor));
}

bool QtStatusItem::dispatch(const MouseDownEvent& event) const {
    return monitors_.visitUntil([&event](const MouseDownMonitor& monitor) { return monitor(event); });
}

QPointF QtStatusItem::mouseLocation() const {
    return QPointF(QCursor::pos());
}

QRectF QtStatusItem::iconArea() const {
    return tray_ ? QRectF(tray_->geometry()) : QRectF();
}

double QtStatusItem::statusBarThickness() const {
    const QRectF icon = iconArea();
    return icon.isEmpty() ? kDefaultThickness : icon.height();
}

WindowDescription QtStatusItem::area() const {
    WindowDescription description;
    description.id = WindowId(this);
    description.className = StatusItemWindow::className;
    description.level = StatusItemWindow::level;
    description.visible = true;
    description.panel = true;
    description.frame = currentArea().frame;
    return description;
}

QRectF QtStatusItem::panelFrame() const {
    for (const QWidget* window : QApplication::topLevelWidgets())
        if (window->objectName() == QLatin1String(kEmbeddedIconName))
            return X11PanelFrame::holding(window->internalWinId()).value_or(QRectF());
    return {};
}

QtStatusItem::StatusArea QtStatusItem::currentArea() const {
    return statusArea(iconArea(), panelFrame(), mouseLocation(), windowSystem_.screens(),
                      statusBarThickness());
}

std::optional<WindowDescription> QtStatusItem::window() const {
    if (!tray_ || !tray_->isVisible())
        return std::nullopt;
    return area();
}

void QtStatusItem::handleActivation(QSystemTrayIcon::ActivationReason reason,
                                    Qt::KeyboardModifiers modifiers) {
    MouseDownEvent event;
    event.controlHeld = modifiers.testFlag(Qt::ControlModifier);
    // Only a shown icon is clicked, whatever the tray says of its visibility.
    event.window = area();
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        event.button = MouseButton::left;
        if (!dispatch(event))
            togglePopover();
        break;
    case QSystemTrayIcon::Context:
        event.button = MouseButton::right;
        dispatch(event);
        break;
    default:
        // A double click has reported its first click as a trigger already.
        break;
    }
}

void QtStatusItem::togglePopover() {
    if (isPopoverVisible()) {
        hidePopover();
        return;
    }
    if (popoverHidden_.isValid() && popoverHidden_.elapsed() < kReopenGuardMilliseconds)
        return;
    showPopover();
}

void QtStatusItem::showPopover() {
    if (!popover_) {
        if (!popoverFactory_)
            return;
        popover_ = popoverFactory_();
        if (!popover_)
            return;
        // Closes when the user clicks elsewhere, as a pop-over does.
        popover_->setWindowFlags(Qt::Popup);
        popover_->installEventFilter(this);
    }
    popoverArea_ = currentArea();
    popoverRoom_ = roomBeside(popoverArea_, windowSystem_.screens());
    if (auto* content = dynamic_cast<PopoverContent*>(popover_.get())) {
        // Ready as it will be shown (today selected) before it is told how much room it has.
        popover_->ensurePolished();
        content->setHeightLimit(
            popoverRoom_.isEmpty() ? std::nullopt : std::optional(int(std::floor(popoverRoom_.height()))));
    }
    fitAndPlacePopover();
    popover_->show();
    // The content makes itself ready as it is shown (today selected, its events listed) and asks for more
    // room then: sized and placed again before anything is painted, so that it opens where it belongs.
    fitAndPlacePopover();
    popover_->raise();
    popover_->activateWindow();
}

void QtStatusItem::fitAndPlacePopover() {
    // A laid-out popover takes the size its content asks for now; anything else keeps the size it was given.
    if (QLayout* layout = popover_->layout()) {
        layout->activate();
        popover_->adjustSize();
    }
    // Placed for the tallest it can become, so that the part above the growing one does not move under the
    // pointer as the user clicks through days.
    auto* content = dynamic_cast<PopoverContent*>(popover_.get());
    const int tallest = std::max(content ? content->tallestHeight() : 0, popover_->height());
    popoverOrigin_ =
        popoverPosition(popoverArea_, QSizeF(popover_->width(), tallest), windowSystem_.screens());
    placePopover();
}

void QtStatusItem::placePopover() {
    // Only content that outgrows the room it was placed for moves, to stay off the panel.
    popover_->move(popoverRoom_.isEmpty()
                       ? popoverOrigin_.toPoint()
                       : wholePixelsInside(popoverRoom_, popoverOrigin_, QSizeF(popover_->size()),
                                           popover_->devicePixelRatioF()));
}

QPoint QtStatusItem::wholePixelsInside(const QRectF& room, QPointF topLeft, QSizeF size, double ratio) {
    // At a fractional scale the room's edges fall between device pixels, and Qt rounds a position to them:
    // the edges are taken inwards to whole device pixels, the position to a whole point between them.
    const auto inward = [ratio](double edge, bool up) {
        return (up ? std::ceil(edge * ratio - 1e-6) : std::floor(edge * ratio + 1e-6)) / ratio;
    };
    const auto within = [](double wanted, double least, double most) {
        const int low = int(std::ceil(least - 1e-6));
        const int high = int(std::floor(most + 1e-6));
        return high < low ? low : std::clamp(int(std::lround(wanted)), low, high);
    };
    return {within(topLeft.x(), inward(room.left(), true), inward(room.right(), false) - size.width()),
            within(topLeft.y(), inward(room.top(), true), inward(room.bottom(), false) - size.height())};
}

bool QtStatusItem::openPopover() {
    // Asking Qt for a tray before the icon is made would fix its protocol too early.
    if (!tray_ || !tray_->isVisible() || !QSystemTrayIcon::isSystemTrayAvailable())
        return false;
    showPopover();
    return isPopoverVisible();
}

void QtStatusItem::hidePopover() {
    if (popover_)
        popover_->hide();
    // Hidden on purpose: the next click opens it at once.
    popoverHidden_.invalidate();
}

bool QtStatusItem::isPopoverVisible() const {
    return popover_ && popover_->isVisible();
}

bool QtStatusItem::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::ApplicationPaletteChange && watched == qApp)
        applyImage();
    // The XEmbed icon docked, moved to another panel or was uncovered by a panel that redrew itself: the
    // panel's colour may have changed.
    else if ((type == QEvent::Show || type == QEvent::Move || type == QEvent::Resize ||
              type == QEvent::Paint) &&
             watched->isWidgetType() && static_cast<QWidget*>(watched)->isWindow() &&
             watched->objectName() == QLatin1String(kEmbeddedIconName))
        schedulePanelSample();
    else if (type == QEvent::Hide && popover_ && watched == popover_.get())
        popoverHidden_.start();
    // Content that grows or shrinks while the popover is open keeps it on screen beside the panel.
    else if (type == QEvent::Resize && popover_ && watched == popover_.get() && popover_->isVisible())
        placePopover();
    return false;
}

std::unique_ptr<QMenu> QtStatusItem::makeMenu(const std::shared_ptr<Menu>& model) const {
    auto menu = std::make_unique<QMenu>();
    fillMenu(*menu, model);
    return menu;
}

void QtStatusItem::fillMenu(QMenu& menu, const std::shared_ptr<Menu>& model) const {
    for (QMenu* old : menu.findChildren<QMenu*>(Qt::FindDirectChildrenOnly))
        old->deleteLater();
    menu.clear();
    if (!model)
        return;
    WindowSystem* windowSystem = &windowSystem_;
    const QtMenuBarPresenter::SendAction send =
        [windowSystem](const QString& action, const std::shared_ptr<ActionResponder>& target,
                       const MenuItem* sender) { windowSystem->sendAction(action, target, sender); };
    for (const std::shared_ptr<MenuItem>& item : model->items()) {
        if (item->isSeparator) {
            menu.addSeparator();
        } else if (item->submenu) {
            QMenu* submenu = makeMenu(item->submenu).release();
            submenu->setParent(&menu, submenu->windowFlags());
            submenu->setTitle(QtMenuBarPresenter::displayTitle(item->title));
            menu.addMenu(submenu)->setEnabled(item->enabled);
        } else {
            QtMenuBarPresenter::addCommand(&menu, item, send);
        }
    }
}

void QtStatusItem::setMenuProvider(MenuProvider provider) {
    menuProvider_ = std::move(provider);
    exportMenu();
}

void QtStatusItem::exportMenu() {
    if (!tray_ || protocol_ != TrayProtocol::statusNotifier)
        return;
    if (!hostedMenu_) {
        hostedMenu_ = std::make_unique<QMenu>();
        // The host asks before it opens the menu (dbusmenu's AboutToShow): the items are made anew then,
        // so that "Check for Updates…" says whether a check can start now.
        connect(hostedMenu_.get(), &QMenu::aboutToShow, this, [this] {
            if (menuProvider_)
                fillMenu(*hostedMenu_, menuProvider_(MenuRequest::opening));
        });
    }
    // Filled now: a host reads the menu's layout before it ever opens it.
    fillMenu(*hostedMenu_, menuProvider_ ? menuProvider_(MenuRequest::contents) : nullptr);
    tray_->setContextMenu(hostedMenu_.get());
}

void QtStatusItem::popUpMenu(const std::shared_ptr<Menu>& menu, const QRectF& anchor, double gap) {
    const std::unique_ptr<QMenu> qmenu = makeMenu(menu);
    const QPointF position =
        besideAnchor(anchor, anchor.left(), QSizeF(qmenu->sizeHint()), gap, windowSystem_.screens());
    qmenu->exec(position.toPoint());
}

QtStatusItem::StatusArea QtStatusItem::statusArea(const QRectF& iconGeometry, const QRectF& panel,
                                                  QPointF pointer,
                                                  const std::vector<ScreenDescription>& screens,
                                                  double thickness) {
    const bool iconKnown = !iconGeometry.isEmpty();
    const QPointF spot = iconKnown ? iconGeometry.center() : pointer;
    const ScreenDescription* screen = nullptr;
    for (const ScreenDescription& candidate : screens)
        if (candidate.frame.contains(spot)) {
            screen = &candidate;
            break;
        }
    const bool horizontal = panel.width() >= panel.height();
    // A strip along an edge: a window that covers much of the screen is a desktop, not a panel.
    const bool strip = screen && (horizontal ? panel.height() <= screen->frame.height() / kMaxPanelShare
                                             : panel.width() <= screen->frame.width() / kMaxPanelShare);
    if (iconKnown && panel.contains(spot) && (strip || !screen)) {
        if (horizontal) {
            const bool atTop = !screen || spot.y() - screen->frame.top() <= screen->frame.bottom() - spot.y();
            return {{iconGeometry.left(), panel.top(), iconGeometry.width(), panel.height()},
                    atTop ? Qt::TopEdge : Qt::BottomEdge};
        }
        const bool atLeft = !screen || spot.x() - screen->frame.left() <= screen->frame.right() - spot.x();
        return {{panel.left(), iconGeometry.top(), panel.width(), iconGeometry.height()},
                atLeft ? Qt::LeftEdge : Qt::RightEdge};
    }
    if (!screen)
        return {iconKnown
                    ? iconGeometry
                    : QRectF(pointer.x() - thickness / 2, pointer.y() - thickness / 2, thickness, thickness),
                Qt::TopEdge};
    const QRectF& frame = screen->frame;
    const QRectF& visible = screen->visibleFrame;
    // Room reserved at the left or right holds a panel there only when the spot lies in it.
    Qt::Edge edge = spot.y() - frame.top() <= frame.bottom() - spot.y() ? Qt::TopEdge : Qt::BottomEdge;
    double band = edge == Qt::TopEdge ? visible.top() - frame.top() : frame.bottom() - visible.bottom();
    if (spot.x() < visible.left() && spot.y() >= visible.top() && spot.y() <= visible.bottom()) {
        edge = Qt::LeftEdge;
        band = visible.left() - frame.left();
    } else if (spot.x() > visible.right() && spot.y() >= visible.top() && spot.y() <= visible.bottom()) {
        edge = Qt::RightEdge;
        band = frame.right() - visible.right();
    }
    if (band <= 0)
        band = thickness;
    if (edge == Qt::TopEdge || edge == Qt::BottomEdge) {
        const double left = iconKnown ? iconGeometry.left() : pointer.x() - band / 2;
        const double width = iconKnown ? iconGeometry.width() : band;
        return {{left, edge == Qt::TopEdge ? frame.top() : frame.bottom() - band, width, band}, edge};
    }
    const double top = iconKnown ? iconGeometry.top() : pointer.y() - band / 2;
    const double height = iconKnown ? iconGeometry.height() : band;
    return {{edge == Qt::LeftEdge ? frame.left() : frame.right() - band, top, band, height}, edge};
}

QPointF QtStatusItem::besideAnchor(const QRectF& anchor, double left, QSizeF size, double gap,
                                   const std::vector<ScreenDescription>& screens) {
    QPointF topLeft(left, anchor.bottom() + gap);
    const ScreenDescription* screen = nearestScreen(anchor.center(), screens);
    if (!screen)
        return topLeft;
    const QRectF& area = screen->visibleFrame;
    const double above = anchor.top() - gap - size.height();
    if (topLeft.y() + size.height() > area.bottom() && above >= area.top())
        topLeft.setY(above);
    return clampedInto(area, topLeft, size);
}

QPointF QtStatusItem::popoverPosition(const StatusArea& area, QSizeF size,
                                      const std::vector<ScreenDescription>& screens) {
    const QRectF& slot = area.frame;
    QPointF topLeft;
    switch (area.edge) {
    case Qt::TopEdge:
        topLeft = {slot.center().x() - size.width() / 2, slot.bottom()};
        break;
    case Qt::BottomEdge:
        topLeft = {slot.center().x() - size.width() / 2, slot.top() - size.height()};
        break;
    case Qt::LeftEdge:
        topLeft = {slot.right(), slot.center().y() - size.height() / 2};
        break;
    case Qt::RightEdge:
        topLeft = {slot.left() - size.width(), slot.center().y() - size.height() / 2};
        break;
    }
    const QRectF room = roomBeside(area, screens);
    return room.isEmpty() ? topLeft : clampedInto(room, topLeft, size);
}

QRectF QtStatusItem::roomBeside(const StatusArea& area, const std::vector<ScreenDescription>& screens) {
    const ScreenDescription* screen = nearestScreen(area.frame.center(), screens);
    if (!screen)
        return {};
    QRectF room = screen->visibleFrame;
    switch (area.edge) {
    case Qt::TopEdge:
        room.setTop(std::max(room.top(), area.frame.bottom()));
        break;
    case Qt::BottomEdge:
        room.setBottom(std::min(room.bottom(), area.frame.top()));
        break;
    case Qt::LeftEdge:
        room.setLeft(std::max(room.left(), area.frame.right()));
        break;
    case Qt::RightEdge:
        room.setRight(std::min(room.right(), area.frame.left()));
        break;
    }
    return room.isValid() ? room : QRectF();
}
