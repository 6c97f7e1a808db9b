#pragma once

#include <QRectF>
#include <QWindow>

#include <optional>

// Where the panel that embeds one of the program's windows (the XEmbed tray icon) lies on the screen, as the
// X server lays it out: the desktop may reserve no room for the panel, so the screens' available geometry
// cannot tell.
class X11PanelFrame {
public:
    // The frame of the top-level window that holds `window`, in device-independent pixels; nothing when
    // `window` is not embedded in another, off X11 and when the server does not answer.
    static std::optional<QRectF> holding(WId window);
    // Whether an XEmbed system tray runs on the default screen: a client owns its tray selection. False off
    // X11.
    static bool trayPresent();
};
