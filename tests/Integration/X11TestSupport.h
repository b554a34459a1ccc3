#pragma once

// X11 helpers shared by the integration tests: a connection that closes itself, the keys the
// server sees held, the keycode of a key symbol in the server's keymap, atoms and root window
// properties, a window's place on screen and a request to activate it, a user's click or key sent
// through XTest, the panels a process shows past the window manager, where the tray shows a
// process's icon, the desktop's colour and the colour of a pixel on screen.

#include <QColor>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QTest>
#include <QtGlobal>

#include <xcb/xcb.h>
#include <xcb/xtest.h>
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

struct XcbDisconnect
{
    void operator()(xcb_connection_t *connection) const { xcb_disconnect(connection); }
};

using XcbConnection = std::unique_ptr<xcb_connection_t, XcbDisconnect>;

inline QList<int> keysDown()
{
    XcbConnection connection(xcb_connect(nullptr, nullptr));
    std::unique_ptr<xcb_query_keymap_reply_t, decltype(&std::free)> reply(
        xcb_query_keymap_reply(connection.get(), xcb_query_keymap(connection.get()), nullptr),
        &std::free);
    QList<int> down;
    for (int code = 0; reply && code < 256; ++code) {
        if (reply->keys[code / 8] & (1 << (code % 8))) {
            down.append(code);
        }
    }
    return down;
}

// The keycode whose first-level symbol is `keysym` in the server's keymap; 0 when none has it.
inline quint32 keycodeFor(xkb_keysym_t keysym)
{
    XcbConnection connection(xcb_connect(nullptr, nullptr));
    if (xcb_connection_has_error(connection.get())
        || !xkb_x11_setup_xkb_extension(
            connection.get(), XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
            XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, nullptr, nullptr)) {
        return 0;
    }
    std::unique_ptr<xkb_context, decltype(&xkb_context_unref)> context(
        xkb_context_new(XKB_CONTEXT_NO_FLAGS), &xkb_context_unref);
    std::unique_ptr<xkb_keymap, decltype(&xkb_keymap_unref)> keymap(
        xkb_x11_keymap_new_from_device(context.get(), connection.get(),
                                       xkb_x11_get_core_keyboard_device_id(connection.get()),
                                       XKB_KEYMAP_COMPILE_NO_FLAGS),
        &xkb_keymap_unref);
    if (!keymap) {
        return 0;
    }
    for (xkb_keycode_t code = xkb_keymap_min_keycode(keymap.get());
         code <= xkb_keymap_max_keycode(keymap.get()) && code <= 255; ++code) {
        const xkb_keysym_t *syms = nullptr;
        if (xkb_keymap_key_get_syms_by_level(keymap.get(), code, 0, 0, &syms) > 0
            && syms[0] == keysym) {
            return code;
        }
    }
    return 0;
}

inline xcb_atom_t internAtom(xcb_connection_t *connection, const char *name)
{
    const auto cookie = xcb_intern_atom(connection, 0, uint16_t(qstrlen(name)), name);
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&free)> reply(
        xcb_intern_atom_reply(connection, cookie, nullptr), &free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// The single 32-bit value of a window property (a window or a cardinal), absent when unset.
inline std::optional<uint32_t> cardinalProperty(xcb_connection_t *connection, xcb_window_t window,
                                                xcb_atom_t atom)
{
    const auto cookie =
        xcb_get_property(connection, 0, window, atom, XCB_GET_PROPERTY_TYPE_ANY, 0, 1);
    std::unique_ptr<xcb_get_property_reply_t, decltype(&free)> reply(
        xcb_get_property_reply(connection, cookie, nullptr), &free);
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) < 4) {
        return std::nullopt;
    }
    return *static_cast<const uint32_t *>(xcb_get_property_value(reply.get()));
}

// The single window value of a root window property such as _NET_ACTIVE_WINDOW, 0 when unset.
inline xcb_window_t rootWindowProperty(xcb_connection_t *connection, xcb_window_t root,
                                       xcb_atom_t atom)
{
    return cardinalProperty(connection, root, atom).value_or(XCB_WINDOW_NONE);
}

// The window the window manager names active, 0 when none.
inline xcb_window_t activeWindow()
{
    XcbConnection connection(xcb_connect(nullptr, nullptr));
    if (xcb_connection_has_error(connection.get())) {
        return XCB_WINDOW_NONE;
    }
    xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection.get())).data;
    return rootWindowProperty(connection.get(), screen->root,
                              internAtom(connection.get(), "_NET_ACTIVE_WINDOW"));
}

// Where `window` shows on screen, in root coordinates; empty when it is gone.
inline QRect windowFrame(xcb_window_t window)
{
    XcbConnection connection(xcb_connect(nullptr, nullptr));
    if (xcb_connection_has_error(connection.get())) {
        return {};
    }
    xcb_connection_t *x = connection.get();
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
    std::unique_ptr<xcb_get_geometry_reply_t, decltype(&free)> geometry(
        xcb_get_geometry_reply(x, xcb_get_geometry(x, window), nullptr), &free);
    std::unique_ptr<xcb_translate_coordinates_reply_t, decltype(&free)> place(
        xcb_translate_coordinates_reply(x, xcb_translate_coordinates(x, window, root, 0, 0),
                                        nullptr),
        &free);
    if (!geometry || !place) {
        return {};
    }
    return QRect(place->dst_x, place->dst_y, geometry->width, geometry->height);
}

// What a taskbar does when the user picks a window: ask the window manager to activate it.
inline bool askToActivate(xcb_window_t window)
{
    XcbConnection connection(xcb_connect(nullptr, nullptr));
    if (xcb_connection_has_error(connection.get())) {
        return false;
    }
    xcb_connection_t *x = connection.get();
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
    xcb_client_message_event_t event {};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = internAtom(x, "_NET_ACTIVE_WINDOW");
    event.data.data32[0] = 2; // a pager, on the user's behalf
    event.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(x, 0, root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char *>(&event));
    return xcb_flush(x) > 0;
}

// Whether the window manager has worked through what came before this call, within `timeoutMs`:
// it answers a frame-extents request on a new window only once the requests queued before it are
// handled. Keymap changes make it grab its key bindings again, which can keep it busy for seconds.
inline bool windowManagerCaughtUp(int timeoutMs)
{
    XcbConnection connection(xcb_connect(nullptr, nullptr));
    if (xcb_connection_has_error(connection.get())) {
        return false;
    }
    xcb_connection_t *x = connection.get();
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(x)).data;
    const xcb_window_t probe = xcb_generate_id(x);
    xcb_create_window(x, XCB_COPY_FROM_PARENT, probe, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    const xcb_atom_t extents = internAtom(x, "_NET_FRAME_EXTENTS");
    xcb_client_message_event_t event {};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = probe;
    event.type = internAtom(x, "_NET_REQUEST_FRAME_EXTENTS");
    xcb_send_event(x, 0, screen->root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char *>(&event));
    xcb_flush(x);
    const bool answered =
        QTest::qWaitFor([&] { return cardinalProperty(x, probe, extents).has_value(); }, timeoutMs);
    xcb_destroy_window(x, probe);
    xcb_flush(x);
    return answered;
}

// A click of the first mouse button at a point of the screen, sent through XTest as a user's.
inline bool clickAt(QPoint point)
{
    XcbConnection connection(xcb_connect(nullptr, nullptr));
    if (!connection || xcb_connection_has_error(connection.get())) {
        return false;
    }
    xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection.get())).data;
    xcb_test_fake_input(connection.get(), XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, screen->root,
                        int16_t(point.x()), int16_t(point.y()), 0);
    xcb_test_fake_input(connection.get(), XCB_BUTTON_PRESS, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    xcb_test_fake_input(connection.get(), XCB_BUTTON_RELEASE, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0,
                        0);
    return xcb_request_check(connection.get(),
                             xcb_test_fake_input_checked(connection.get(), XCB_MOTION_NOTIFY, 0,
                                                         XCB_CURRENT_TIME, screen->root,
                                                         int16_t(point.x()), int16_t(point.y()), 0))
        == nullptr;
}

// A key going down or up, sent through XTest on `connection` as a user's; false when the server
// refused it.
inline bool sendKey(xcb_connection_t *connection, quint32 keycode, bool down)
{
    return xcb_request_check(
               connection,
               xcb_test_fake_input_checked(connection, down ? XCB_KEY_PRESS : XCB_KEY_RELEASE,
                                           uint8_t(keycode), XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0))
        == nullptr;
}

// The frames of the windows that process `pid` shows past the window manager (override-redirect
// panels such as the voice bar), while they are on screen.
inline QList<QRect> overrideRedirectWindowsOf(qint64 pid)
{
    XcbConnection connection(xcb_connect(nullptr, nullptr));
    if (xcb_connection_has_error(connection.get())) {
        return {};
    }
    xcb_connection_t *x = connection.get();
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
    const xcb_atom_t pidAtom = internAtom(x, "_NET_WM_PID");
    std::unique_ptr<xcb_query_tree_reply_t, decltype(&free)> tree(
        xcb_query_tree_reply(x, xcb_query_tree(x, root), nullptr), &free);
    QList<QRect> frames;
    if (!tree) {
        return frames;
    }
    const xcb_window_t *children = xcb_query_tree_children(tree.get());
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
        std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&free)> attributes(
            xcb_get_window_attributes_reply(x, xcb_get_window_attributes(x, children[i]), nullptr),
            &free);
        if (!attributes || !attributes->override_redirect
            || attributes->map_state != XCB_MAP_STATE_VIEWABLE
            || cardinalProperty(x, children[i], pidAtom)
                != std::optional<uint32_t>(uint32_t(pid))) {
            continue;
        }
        std::unique_ptr<xcb_get_geometry_reply_t, decltype(&free)> geometry(
            xcb_get_geometry_reply(x, xcb_get_geometry(x, children[i]), nullptr), &free);
        if (geometry) {
            frames.append(QRect(geometry->x, geometry->y, geometry->width, geometry->height));
        }
    }
    return frames;
}

// Where the tray host shows the status icon of process `pid`, in screen coordinates: the small
// window of that process the host has taken into its panel. Empty while there is none.
inline QRect trayIconOf(qint64 pid)
{
    XcbConnection connection(xcb_connect(nullptr, nullptr));
    if (xcb_connection_has_error(connection.get())) {
        return {};
    }
    xcb_connection_t *x = connection.get();
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
    const xcb_atom_t pidAtom = internAtom(x, "_NET_WM_PID");
    // Depth first below the host's windows (the root's own children are top-level windows).
    std::vector<std::pair<xcb_window_t, int>> pending {{root, 0}};
    while (!pending.empty()) {
        const auto [window, depth] = pending.back();
        pending.pop_back();
        std::unique_ptr<xcb_query_tree_reply_t, decltype(&free)> tree(
            xcb_query_tree_reply(x, xcb_query_tree(x, window), nullptr), &free);
        if (!tree) {
            continue;
        }
        const xcb_window_t *children = xcb_query_tree_children(tree.get());
        for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
            pending.emplace_back(children[i], depth + 1);
        }
        if (depth < 2 || cardinalProperty(x, window, pidAtom) != std::optional<uint32_t>(pid)) {
            continue;
        }
        std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&free)> attributes(
            xcb_get_window_attributes_reply(x, xcb_get_window_attributes(x, window), nullptr),
            &free);
        std::unique_ptr<xcb_get_geometry_reply_t, decltype(&free)> geometry(
            xcb_get_geometry_reply(x, xcb_get_geometry(x, window), nullptr), &free);
        if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE || !geometry
            || geometry->width > 64 || geometry->height > 64) {
            continue;
        }
        return windowFrame(window);
    }
    return {};
}

// The desktop's background colour, as xsetroot sets it: without a compositor the clipped corners
// of a window show it.
inline void paintDesktop(QRgb colour)
{
    XcbConnection connection(xcb_connect(nullptr, nullptr));
    xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection.get())).data;
    const uint32_t pixel = colour & 0xFFFFFF;
    xcb_change_window_attributes(connection.get(), screen->root, XCB_CW_BACK_PIXEL, &pixel);
    xcb_clear_area(connection.get(), 0, screen->root, 0, 0, 0, 0);
    xcb_flush(connection.get());
}

// The colour the screen shows at `point` (a 24-bit display).
inline QColor screenPixel(QPoint point)
{
    XcbConnection connection(xcb_connect(nullptr, nullptr));
    if (xcb_connection_has_error(connection.get())) {
        return {};
    }
    xcb_connection_t *x = connection.get();
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
    std::unique_ptr<xcb_get_image_reply_t, decltype(&free)> image(
        xcb_get_image_reply(x,
                            xcb_get_image(x, XCB_IMAGE_FORMAT_Z_PIXMAP, root, int16_t(point.x()),
                                          int16_t(point.y()), 1, 1, ~0u),
                            nullptr),
        &free);
    if (!image || xcb_get_image_data_length(image.get()) < 4) {
        return {};
    }
    const uint8_t *bgrx = xcb_get_image_data(image.get());
    return QColor(bgrx[2], bgrx[1], bgrx[0]);
}
