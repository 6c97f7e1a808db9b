#include "platform/linux/X11PanelFrame.h"

#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace {

struct ReplyDeleter {
    void operator()(void* reply) const { std::free(reply); }
};
template <typename Reply> using ReplyPtr = std::unique_ptr<Reply, ReplyDeleter>;

// Tray icons sit a few windows deep (tray, panel, window manager's frame); a deeper chain is not a panel's.
constexpr int kMaxDepth = 16;

} // namespace

std::optional<QRectF> X11PanelFrame::holding(WId window) {
    const auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || window == 0)
        return std::nullopt;
    xcb_connection_t* connection = x11->connection();
    auto current = xcb_window_t(window);
    for (int depth = 0; depth < kMaxDepth; ++depth) {
        const ReplyPtr<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(connection, xcb_query_tree(connection, current), nullptr));
        if (!tree)
            return std::nullopt;
        if (tree->parent != tree->root && tree->parent != XCB_NONE) {
            current = tree->parent;
            continue;
        }
        // A window that is a top-level itself lies in no panel.
        if (depth == 0)
            return std::nullopt;
        const ReplyPtr<xcb_get_geometry_reply_t> geometry(
            xcb_get_geometry_reply(connection, xcb_get_geometry(connection, current), nullptr));
        const ReplyPtr<xcb_translate_coordinates_reply_t> origin(xcb_translate_coordinates_reply(
            connection, xcb_translate_coordinates(connection, current, tree->root, 0, 0), nullptr));
        if (!geometry || !origin)
            return std::nullopt;
        const double ratio = qApp->devicePixelRatio();
        return QRectF(origin->dst_x / ratio, origin->dst_y / ratio, geometry->width / ratio,
                      geometry->height / ratio);
    }
    return std::nullopt;
}

bool X11PanelFrame::trayPresent() {
    const auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11)
        return false;
    xcb_connection_t* connection = x11->connection();
    int screen = 0;
    char* host = nullptr;
    int display = 0;
    if (xcb_parse_display(nullptr, &host, &display, &screen) != 0)
        std::free(host);
    const std::string name = "_NET_SYSTEM_TRAY_S" + std::to_string(screen);
    const ReplyPtr<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 1, uint16_t(name.size()), name.c_str()), nullptr));
    // An atom that no one made yet names no selection that anyone owns.
    if (!atom || atom->atom == XCB_ATOM_NONE)
        return false;
    const ReplyPtr<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom->atom), nullptr));
    return owner && owner->owner != XCB_NONE;
}
