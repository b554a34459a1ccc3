#pragma once

// X11 helpers shared by the integration tests: a connection that closes itself, the keys the
// server sees held, and the keycode of a key symbol in the server's keymap.

#include <QList>

#include <xcb/xcb.h>
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdlib>
#include <memory>

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
