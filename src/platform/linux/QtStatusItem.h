#pragma once

#include "platform/HandlerList.h"
#include "platform/StatusItem.h"

#include <QColor>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>

#include <functional>
#include <memory>

class QDBusServiceWatcher;
class QMenu;
class QWidget;
class QtWindowSystem;

// The status item as a system-tray icon. A plain click opens or closes the popover under the icon; a
// right click, or a click with Control held, reaches the mouse-down monitors first, and a click that no
// monitor consumes does what a plain one does. Among the program's windows the icon's place in the panel
// appears as a "StatusBarWindow" at the status-bar level, and the window system opens the popover through
// this item.
class QtStatusItem final : public QObject, public StatusItem {
    Q_OBJECT
public:
    // Makes the popover's window the first time it is shown; owned by this object from then on.
    using PopoverFactory = std::function<std::unique_ptr<QWidget>()>;

    // How the desktop's panel holds the icon. An XEmbed tray embeds the icon's window and reports its
    // clicks; a StatusNotifierItem host draws the icon and its menu itself, from what the program exports
    // over D-Bus.
    enum class TrayProtocol { xembed, statusNotifier };

    // With a protocol, the icon is made for it at once. Without, it is made once the desktop has a tray: Qt
    // picks the protocol when an icon is made, once for the whole process, so an icon made before the
    // panel's StatusNotifierWatcher and host are up would never appear on such a panel.
    QtStatusItem(QtWindowSystem& windowSystem, PopoverFactory popover,
                 std::optional<TrayProtocol> protocol = std::nullopt, QObject* parent = nullptr);
    ~QtStatusItem() override;

    // Shows the icon in the tray, now or once the desktop has one (a StatusNotifierItem host or an XEmbed
    // tray, looked for a few times a second); false while it has none.
    bool show();

    void setImage(const StatusItemImage& image) override;
    QIcon icon() const { return tray_ ? tray_->icon() : QIcon(); }
    Observation addLocalMouseDownMonitor(MouseDownMonitor monitor) override;
    QPointF mouseLocation() const override;
    double statusBarThickness() const override;
    void popUpMenu(const std::shared_ptr<Menu>& menu, const QRectF& anchor, double gap) override;
    void setMenuProvider(MenuProvider provider) override;
    // The menu exported to a StatusNotifierItem host; none on an XEmbed tray, where a menu set on the icon
    // would open by itself beside the one the mouse-down monitors open.
    QMenu* hostedMenu() const { return hostedMenu_.get(); }

    // What the tray reports of a click: `modifiers` are the keys held at that moment.
    void handleActivation(QSystemTrayIcon::ActivationReason reason, Qt::KeyboardModifiers modifiers);

    void togglePopover();
    void showPopover();
    // Opens the popover as a click on the icon would: false while the icon is not in a tray.
    bool openPopover();
    void hidePopover();
    bool isPopoverVisible() const;
    QWidget* popover() const { return popover_.get(); }

    // The status item's area as a window, while the icon is shown.
    std::optional<WindowDescription> window() const;

    // A menu of `model` whose items are sent to their targets, else along the responder chain.
    std::unique_ptr<QMenu> makeMenu(const std::shared_ptr<Menu>& model) const;
    // Replaces the items of `menu` with those of `model`.
    void fillMenu(QMenu& menu, const std::shared_ptr<Menu>& model) const;
    // The icon of `image` in `color` when it is a template, outlined one point wide in `outline` if given,
    // at 1x and 2x.
    static QIcon renderIcon(const StatusItemImage& image, const QColor& color,
                            const std::optional<QColor>& outline = std::nullopt);
    // The colour of the panel that holds the XEmbed icon, as last seen on the screen; invalid where that is
    // unknown (StatusNotifierItem hosts draw the icon themselves).
    QColor panelColour() const { return panelColour_; }

    // The icon's slot of the panel and the screen edge that the panel lies along.
    struct StatusArea {
        QRectF frame;
        Qt::Edge edge = Qt::TopEdge;
        bool operator==(const StatusArea&) const = default;
    };
    // The icon's slot of the panel: across the whole panel where the X server says which window holds the
    // icon (`panel`); else at the screen edge whose reserved room holds the icon (or the pointer, when the
    // tray does not say where the icon is, as StatusNotifierItem trays do), or at the nearer of the top
    // and bottom edges where the desktop reserves none, as thick as that room or `thickness`. It is as long
    // as the icon or, unknown, as thick.
    static StatusArea statusArea(const QRectF& iconGeometry, const QRectF& panel, QPointF pointer,
                                 const std::vector<ScreenDescription>& screens, double thickness);
    // Top-left corner of a window of `size` whose left edge is at `left`, `gap` below `anchor` or, where the
    // screen that holds the anchor has no room below, as far above it; kept inside that screen's available
    // geometry.
    static QPointF besideAnchor(const QRectF& anchor, double left, QSizeF size, double gap,
                                const std::vector<ScreenDescription>& screens);
    // Where the panel's colour is looked at: around the icon, inside the panel, a few dozen points across
    // at most however large either is; empty where either is unknown.
    static QRect panelSampleRegion(const QRectF& icon, const QRectF& panel);
    // The popover: on the screen's side of the panel, touching it, centred on the icon, and kept inside
    // the room that the screen holding the icon has beside the panel.
    static QPointF popoverPosition(const StatusArea& area, QSizeF size,
                                   const std::vector<ScreenDescription>& screens);
    // That room: the available geometry of the screen that holds the icon, less the panel's side of `area`
    // (a desktop may reserve no room for its panel); empty without screens.
    static QRectF roomBeside(const StatusArea& area, const std::vector<ScreenDescription>& screens);
    // The whole-point position nearest `topLeft` at which a window of `size` lies inside `room` on a screen
    // of `ratio` device pixels a point, as far as it fits.
    static QPoint wholePixelsInside(const QRectF& room, QPointF topLeft, QSizeF size, double ratio);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // True when a monitor consumed it.
    bool dispatch(const MouseDownEvent& event) const;
    QRectF iconArea() const;
    // The panel window that holds the XEmbed icon; empty where that is unknown.
    QRectF panelFrame() const;
    StatusArea currentArea() const;
    WindowDescription area() const;
    void makeTray(TrayProtocol protocol);
    // Asks whether a StatusNotifierItem host or an XEmbed tray is there, and shows the icon once one is.
    void lookForTray();
    // Whether a host is registered with the StatusNotifierWatcher; nothing when no watcher answers.
    void askWatcher(const std::function<void(std::optional<bool>)>& answer);
    void followWatcher(int attempt);
    void exportMenu();
    void applyImage();
    void schedulePanelSample();
    void samplePanel();
    // Takes the size the popover's content asks for now, then puts it beside `popoverArea_`.
    void fitAndPlacePopover();
    void placePopover();

    QtWindowSystem& windowSystem_;
    PopoverFactory popoverFactory_;
    std::unique_ptr<QWidget> popover_;
    QSystemTrayIcon* tray_ = nullptr;
    TrayProtocol protocol_ = TrayProtocol::xembed;
    bool lookingForTray_ = false;
    QDBusServiceWatcher* watcherWatch_ = nullptr;
    MenuProvider menuProvider_;
    std::unique_ptr<QMenu> hostedMenu_;
    std::optional<StatusItemImage> image_;
    QColor panelColour_;
    bool panelSamplePending_ = false;
    QElapsedTimer lastPanelSample_;
    HandlerList<MouseDownMonitor> monitors_;
    Observation windowSource_;
    // Since the popover last hid: a click on the icon that closed it must not open it again at once.
    QElapsedTimer popoverHidden_;
    // Where the icon was when the popover opened: it stays beside it as its content changes size.
    StatusArea popoverArea_;
    QRectF popoverRoom_;
    // The popover's top-left corner for the tallest its content can become: it holds still there while the
    // content changes size.
    QPointF popoverOrigin_;
};
