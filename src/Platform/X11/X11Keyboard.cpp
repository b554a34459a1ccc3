#include "Platform/X11/X11Keyboard.h"

#include "Platform/X11/TerminalWindowClass.h"

#include <QByteArray>
#include <QStringList>

#include <xcb/xcb.h>
#include <xcb/xtest.h>
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace {

template<typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

template<typename T>
Reply<T> reply(T *raw)
{
    return Reply<T>(raw, &std::free);
}

constexpr quint32 keysymShiftL = 0xffe1;
constexpr quint32 keysymControlL = 0xffe3;
constexpr quint32 keysymCapsLock = 0xffe5;
constexpr quint32 keysymReturn = 0xff0d;
constexpr quint32 keysymV = 0x0076;

// The keys' places on a PC keyboard (evdev keycodes), for a keymap that lacks the symbol.
constexpr quint8 fallbackControl = 37;
constexpr quint8 fallbackShift = 50;
constexpr quint8 fallbackV = 55;
constexpr quint8 fallbackReturn = 36;

// The keysym that types the character. Control characters other than Tab would otherwise become
// editing keys (U+0008 BackSpace, U+001B Escape, U+007F Delete) that erase text or close
// dialogs; they are sent as the characters they are, which text fields leave out.
xkb_keysym_t keysymFor(char32_t character)
{
    if ((character < 0x20 && character != U'\t') || character == 0x7f) {
        return 0x01000000 | character;
    }
    return xkb_utf32_to_keysym(character);
}

xcb_atom_t internAtom(xcb_connection_t *connection, const char *name)
{
    auto atomReply = reply(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, quint16(qstrlen(name)), name), nullptr));
    return atomReply ? atomReply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

xcb_window_t windowProperty(xcb_connection_t *connection, xcb_window_t window, xcb_atom_t atom)
{
    auto propertyReply = reply(xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, window, atom, XCB_ATOM_WINDOW, 0, 1), nullptr));
    if (!propertyReply || propertyReply->format != 32
        || xcb_get_property_value_length(propertyReply.get()) < 4) {
        return XCB_WINDOW_NONE;
    }
    return *static_cast<const xcb_window_t *>(xcb_get_property_value(propertyReply.get()));
}

// WM_CLASS: the instance name and the class name; empty when the window has none.
QStringList windowClass(xcb_connection_t *connection, xcb_window_t window)
{
    auto propertyReply = reply(xcb_get_property_reply(
        connection,
        xcb_get_property(connection, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 256),
        nullptr));
    if (!propertyReply || propertyReply->format != 8) {
        return {};
    }
    const QByteArray value(static_cast<const char *>(xcb_get_property_value(propertyReply.get())),
                           xcb_get_property_value_length(propertyReply.get()));
    if (value.isEmpty()) {
        return {};
    }
    QStringList parts;
    for (const QByteArray &part : value.split('\0')) {
        parts.append(QString::fromLatin1(part));
    }
    return parts;
}

} // namespace

X11Keyboard::X11Keyboard(Connector connect)
    : m_connect(std::move(connect))
{
    if (!m_connect) {
        m_connect = []() -> xcb_connection_t * {
            if (qEnvironmentVariableIsEmpty("DISPLAY")) {
                return nullptr;
            }
            return xcb_connect(nullptr, nullptr);
        };
    }
    connected();
}

X11Keyboard::~X11Keyboard()
{
    if (m_typing) {
        endTyping();
    }
    releaseKeys();
    if (m_connection) {
        xcb_disconnect(m_connection);
    }
}

bool X11Keyboard::connected()
{
    if (m_connection && !xcb_connection_has_error(m_connection)) {
        return true;
    }
    if (m_connection) {
        xcb_disconnect(m_connection);
        m_connection = nullptr;
    }
    xcb_connection_t *connection = m_connect();
    if (!connection) {
        return false;
    }
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return false;
    }
    m_connection = connection;
    const xcb_query_extension_reply_t *xtest = xcb_get_extension_data(m_connection, &xcb_test_id);
    m_hasXTest = xtest && xtest->present;
    m_coreMapValid = false;
    m_xkbReady = false;
    if (!m_hasXTest) {
        return true;
    }
    // The server keeps what the broken connection did: keys it left down would repeat and turn
    // the user's typing into shortcuts, and rows left bound would no longer count as spare keys.
    releaseHeld();
    if (!m_typing && !m_pendingRows.isEmpty() && writeRows(m_pendingRows)) {
        m_pendingRows.clear();
    }
    sync();
    return !xcb_connection_has_error(m_connection);
}

bool X11Keyboard::isTrusted()
{
    return connected() && m_hasXTest;
}

bool X11Keyboard::releaseKeys()
{
    if (m_held.isEmpty()) {
        return true;
    }
    if (!isTrusted()) {
        return false;
    }
    releaseHeld();
    sync();
    // A release that broke the connection goes out again on a new one.
    if (!m_held.isEmpty() || xcb_connection_has_error(m_connection)) {
        connected();
    }
    return m_held.isEmpty();
}

void X11Keyboard::releaseHeld()
{
    const QList<quint8> held = m_held;
    for (auto key = held.crbegin(); key != held.crend(); ++key) {
        fakeKey(*key, false);
    }
}

bool X11Keyboard::isModifierHeld()
{
    if (!isTrusted()) {
        return false;
    }
    auto keymap =
        reply(xcb_query_keymap_reply(m_connection, xcb_query_keymap(m_connection), nullptr));
    auto modifiers = reply(xcb_get_modifier_mapping_reply(
        m_connection, xcb_get_modifier_mapping(m_connection), nullptr));
    discardEvents();
    if (!keymap || !modifiers) {
        return false;
    }
    const xcb_keycode_t *codes = xcb_get_modifier_mapping_keycodes(modifiers.get());
    const int count = xcb_get_modifier_mapping_keycodes_length(modifiers.get());
    for (int i = 0; i < count; ++i) {
        const xcb_keycode_t code = codes[i];
        if (code != 0 && (keymap->keys[code / 8] & (1 << (code % 8)))) {
            return true;
        }
    }
    return false;
}

bool X11Keyboard::isTerminalFocused()
{
    if (!isTrusted()) {
        return false;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
    xcb_window_t window =
        windowProperty(m_connection, root, internAtom(m_connection, "_NET_ACTIVE_WINDOW"));
    if (window == XCB_WINDOW_NONE) {
        auto focus = reply(
            xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
        // 0 is None and 1 is PointerRoot: no window of its own.
        window = focus && focus->focus > 1 ? focus->focus : xcb_window_t(XCB_WINDOW_NONE);
    }
    // The focus may sit on a child of the window that carries the class.
    for (int depth = 0; window != XCB_WINDOW_NONE && window != root && depth < 16; ++depth) {
        const QStringList names = windowClass(m_connection, window);
        if (!names.isEmpty()) {
            discardEvents();
            return TerminalWindowClass::isTerminal(names.value(0), names.value(1));
        }
        auto tree = reply(
            xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, window), nullptr));
        window = tree ? tree->parent : xcb_window_t(XCB_WINDOW_NONE);
    }
    discardEvents();
    return false;
}

bool X11Keyboard::postKey(Key key, bool down)
{
    if (!isTrusted()) {
        return false;
    }
    const quint8 keycode = keycodeFor(key);
    if (keycode == 0 || !fakeKey(keycode, down)) {
        return false;
    }
    sync();
    return !xcb_connection_has_error(m_connection);
}

bool X11Keyboard::beginTyping()
{
    if (!isTrusted()) {
        return false;
    }
    if (m_typing) {
        endTyping();
    }
    // Rows an earlier run could not put back go back before the spare keys are counted.
    if (!m_pendingRows.isEmpty() && writeRows(m_pendingRows)) {
        m_pendingRows.clear();
    }
    if (!loadCoreMap() || !loadStrokes()) {
        m_strokes.clear();
        return false;
    }
    m_spareKeys.clear();
    m_originalRows.clear();
    m_bound.clear();
    for (int code = std::max<int>(m_minKeycode, 8); code <= m_maxKeycode; ++code) {
        const auto begin = m_coreMap.begin() + (code - m_minKeycode) * m_symsPerKeycode;
        if (std::all_of(begin, begin + m_symsPerKeycode, [](quint32 sym) { return sym == 0; })) {
            m_spareKeys.append(quint8(code));
        }
    }
    m_spareOrder = m_spareKeys;
    m_capsKeycode = keycodeForKeysym(keysymCapsLock);
    m_typing = true;
    if (m_capsLifted && m_capsKeycode != 0) {
        // Caps Lock would turn typed letters into capitals: off for the typing, on afterwards.
        tap(m_capsKeycode);
        sync();
    } else {
        m_capsLifted = false;
    }
    return true;
}

bool X11Keyboard::loadStrokes()
{
    m_strokes.clear();
    m_capsLifted = false;
    if (!m_xkbReady) {
        m_xkbReady = xkb_x11_setup_xkb_extension(
            m_connection, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
            XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, nullptr, nullptr);
        if (!m_xkbReady) {
            return false;
        }
    }
    const int32_t device = xkb_x11_get_core_keyboard_device_id(m_connection);
    if (device < 0) {
        return false;
    }
    std::unique_ptr<xkb_context, decltype(&xkb_context_unref)> context(
        xkb_context_new(
            xkb_context_flags(XKB_CONTEXT_NO_DEFAULT_INCLUDES | XKB_CONTEXT_NO_ENVIRONMENT_NAMES)),
        &xkb_context_unref);
    if (!context) {
        return false;
    }
    std::unique_ptr<xkb_keymap, decltype(&xkb_keymap_unref)> keymap(
        xkb_x11_keymap_new_from_device(context.get(), m_connection, device,
                                       XKB_KEYMAP_COMPILE_NO_FLAGS),
        &xkb_keymap_unref);
    if (!keymap) {
        return false;
    }
    std::unique_ptr<xkb_state, decltype(&xkb_state_unref)> state(
        xkb_x11_state_new_from_device(keymap.get(), m_connection, device), &xkb_state_unref);
    if (!state) {
        return false;
    }
    const xkb_mod_index_t shiftIndex = xkb_keymap_mod_get_index(keymap.get(), XKB_MOD_NAME_SHIFT);
    const xkb_mod_mask_t shiftMask =
        shiftIndex == XKB_MOD_INVALID ? 0 : xkb_mod_mask_t(1) << shiftIndex;
    const xkb_keycode_t first = xkb_keymap_min_keycode(keymap.get());
    const xkb_keycode_t last = xkb_keymap_max_keycode(keymap.get());
    for (xkb_keycode_t key = first; key <= last && key <= 255; ++key) {
        const xkb_layout_index_t layout = xkb_state_key_get_layout(state.get(), key);
        if (layout == XKB_LAYOUT_INVALID) {
            continue;
        }
        for (xkb_level_index_t level = 0; level < 2; ++level) {
            const xkb_keysym_t *syms = nullptr;
            if (xkb_keymap_key_get_syms_by_level(keymap.get(), key, layout, level, &syms) != 1) {
                continue;
            }
            xkb_mod_mask_t masks[16];
            const size_t maskCount =
                xkb_keymap_key_get_mods_for_level(keymap.get(), key, layout, level, masks, 16);
            bool plain = false;
            bool shifted = false;
            for (size_t i = 0; i < maskCount; ++i) {
                plain = plain || masks[i] == 0;
                shifted = shifted || (shiftMask != 0 && masks[i] == shiftMask);
            }
            if (!plain && !shifted) {
                continue;
            }
            const Stroke stroke {quint8(key), !plain};
            auto existing = m_strokes.find(syms[0]);
            if (existing == m_strokes.end()) {
                m_strokes.insert(syms[0], stroke);
            } else if (existing->shift && !stroke.shift) {
                *existing = stroke;
            }
        }
    }
    m_capsLifted =
        xkb_state_mod_name_is_active(state.get(), XKB_MOD_NAME_CAPS, XKB_STATE_MODS_LOCKED) > 0;
    discardEvents();
    return true;
}

void X11Keyboard::endTyping()
{
    if (!m_typing) {
        return;
    }
    m_typing = false;
    if (!connected() || !writeRows(m_originalRows)) {
        m_pendingRows.insert(m_originalRows);
    }
    if (m_connection && m_capsLifted && m_capsKeycode != 0) {
        tap(m_capsKeycode);
    }
    // A connection that broke on the way is replaced at once; the new one puts back the rows.
    if (m_connection) {
        sync();
        connected();
    }
    m_capsLifted = false;
    m_originalRows.clear();
    m_bound.clear();
    m_strokes.clear();
    m_spareKeys.clear();
    m_spareOrder.clear();
}

bool X11Keyboard::hasKeyFor(char32_t character)
{
    const xkb_keysym_t keysym = keysymFor(character);
    return keysym != XKB_KEY_NoSymbol && m_strokes.contains(keysym);
}

int X11Keyboard::spareKeyCount()
{
    return int(m_spareKeys.size());
}

bool X11Keyboard::bindSpareKeys(const QList<char32_t> &characters)
{
    if (!m_typing || characters.size() > m_spareKeys.size() || !isTrusted()) {
        return false;
    }
    QHash<char32_t, quint8> bound;
    for (const char32_t c : characters) {
        if (const auto it = m_bound.constFind(c); it != m_bound.cend()) {
            bound.insert(c, *it);
        }
    }
    QList<quint8> free;
    for (const quint8 key : std::as_const(m_spareOrder)) {
        if (std::find(bound.cbegin(), bound.cend(), key) == bound.cend()) {
            free.append(key);
        }
    }
    QHash<quint8, std::vector<quint32>> rows;
    for (const char32_t c : characters) {
        if (bound.contains(c)) {
            continue;
        }
        const xkb_keysym_t keysym = keysymFor(c);
        if (keysym == XKB_KEY_NoSymbol || free.isEmpty()) {
            continue;
        }
        const quint8 key = free.takeFirst();
        bound.insert(c, key);
        rows.insert(key, rowFor(keysym));
        if (!m_originalRows.contains(key)) {
            const auto begin = m_coreMap.begin() + (key - m_minKeycode) * m_symsPerKeycode;
            m_originalRows.insert(key, std::vector<quint32>(begin, begin + m_symsPerKeycode));
        }
        m_spareOrder.removeOne(key);
        m_spareOrder.append(key);
    }
    m_bound = bound;
    if (rows.isEmpty()) {
        return true;
    }
    // The keys are counted as bound whatever happens: a connection that broke on the way gets
    // one more try on a new one, and endTyping() puts the rows back either way.
    return writeRows(rows) || (connected() && writeRows(rows));
}

bool X11Keyboard::typeCharacter(char32_t character)
{
    if (!m_typing || !isTrusted()) {
        return false;
    }
    if (const auto it = m_bound.constFind(character); it != m_bound.cend()) {
        return tap(*it);
    }
    const xkb_keysym_t keysym = keysymFor(character);
    const auto stroke = m_strokes.constFind(keysym);
    if (keysym == XKB_KEY_NoSymbol || stroke == m_strokes.cend()) {
        return false;
    }
    if (!stroke->shift) {
        return tap(stroke->keycode);
    }
    const quint8 shift = keycodeFor(Key::Shift);
    if (shift == 0) {
        return false;
    }
    // Shift comes up whatever happened to the key between: left down, it would turn everything
    // the user types next into capitals and shortcuts.
    const bool typed = fakeKey(shift, true) && tap(stroke->keycode);
    const bool released = fakeKey(shift, false);
    return typed && released;
}

bool X11Keyboard::loadCoreMap()
{
    const xcb_setup_t *setup = xcb_get_setup(m_connection);
    m_minKeycode = setup->min_keycode;
    m_maxKeycode = setup->max_keycode;
    const int count = m_maxKeycode - m_minKeycode + 1;
    auto mapReply = reply(xcb_get_keyboard_mapping_reply(
        m_connection, xcb_get_keyboard_mapping(m_connection, m_minKeycode, quint8(count)),
        nullptr));
    if (!mapReply || mapReply->keysyms_per_keycode == 0) {
        m_coreMapValid = false;
        return false;
    }
    m_symsPerKeycode = mapReply->keysyms_per_keycode;
    const xcb_keysym_t *syms = xcb_get_keyboard_mapping_keysyms(mapReply.get());
    const int length = xcb_get_keyboard_mapping_keysyms_length(mapReply.get());
    m_coreMap.assign(syms, syms + length);
    m_coreMap.resize(size_t(count) * size_t(m_symsPerKeycode), 0);
    m_coreMapValid = true;
    return true;
}

quint8 X11Keyboard::keycodeForKeysym(quint32 keysym)
{
    discardEvents();
    if (!m_coreMapValid && !loadCoreMap()) {
        return 0;
    }
    // The first column wins over the others: the key that gives the symbol without modifiers.
    for (int column = 0; column < m_symsPerKeycode; ++column) {
        for (int code = m_minKeycode; code <= m_maxKeycode; ++code) {
            if (m_coreMap[size_t(code - m_minKeycode) * m_symsPerKeycode + column] == keysym) {
                return quint8(code);
            }
        }
    }
    return 0;
}

quint8 X11Keyboard::keycodeFor(Key key)
{
    quint32 keysym = 0;
    quint8 fallback = 0;
    switch (key) {
    case Key::Control:
        keysym = keysymControlL;
        fallback = fallbackControl;
        break;
    case Key::Shift:
        keysym = keysymShiftL;
        fallback = fallbackShift;
        break;
    case Key::V:
        keysym = keysymV;
        fallback = fallbackV;
        break;
    case Key::Return:
        keysym = keysymReturn;
        fallback = fallbackReturn;
        break;
    }
    const quint8 keycode = keycodeForKeysym(keysym);
    return keycode != 0 ? keycode : fallback;
}

bool X11Keyboard::fakeKey(quint8 keycode, bool down)
{
    // A press that fails may still have reached the server: it counts as down until released.
    if (down && !m_held.contains(keycode)) {
        m_held.append(keycode);
    }
    xcb_test_fake_input(m_connection, down ? XCB_KEY_PRESS : XCB_KEY_RELEASE, keycode,
                        XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
    const bool sent = xcb_flush(m_connection) > 0;
    if (sent && !down) {
        m_held.removeOne(keycode);
    }
    return sent;
}

bool X11Keyboard::tap(quint8 keycode)
{
    const bool pressed = fakeKey(keycode, true);
    const bool released = fakeKey(keycode, false);
    return pressed && released;
}

std::vector<quint32> X11Keyboard::rowFor(quint32 keysym) const
{
    // The same symbol with and without Shift; the other groups stay empty, so the key gives the
    // symbol whichever layout group is active.
    std::vector<quint32> row(size_t(std::max(m_symsPerKeycode, 2)), 0);
    row[0] = keysym;
    row[1] = keysym;
    row.resize(size_t(m_symsPerKeycode));
    return row;
}

bool X11Keyboard::writeRows(const QHash<quint8, std::vector<quint32>> &rows)
{
    QList<quint8> keys = rows.keys();
    std::sort(keys.begin(), keys.end());
    bool ok = true;
    qsizetype start = 0;
    while (start < keys.size()) {
        qsizetype end = start + 1;
        while (end < keys.size() && keys.at(end) == keys.at(end - 1) + 1) {
            ++end;
        }
        std::vector<quint32> syms;
        for (qsizetype i = start; i < end; ++i) {
            const std::vector<quint32> &row = rows.value(keys.at(i));
            syms.insert(syms.end(), row.begin(), row.end());
        }
        const xcb_void_cookie_t cookie =
            xcb_change_keyboard_mapping_checked(m_connection, quint8(end - start), keys.at(start),
                                                quint8(m_symsPerKeycode), syms.data());
        if (auto error = reply(xcb_request_check(m_connection, cookie))) {
            ok = false;
        }
        start = end;
    }
    discardEvents();
    // A broken connection reports no error for the request it could not send.
    return ok && !xcb_connection_has_error(m_connection);
}

void X11Keyboard::sync()
{
    std::free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
    discardEvents();
}

void X11Keyboard::discardEvents()
{
    // The server sends every client MappingNotify on keymap changes, ours included; nothing else
    // arrives on this connection.
    while (xcb_generic_event_t *event = xcb_poll_for_event(m_connection)) {
        if ((event->response_type & 0x7f) == XCB_MAPPING_NOTIFY) {
            m_coreMapValid = false;
        }
        std::free(event);
    }
}
