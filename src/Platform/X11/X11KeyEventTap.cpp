#include "Platform/X11/X11KeyEventTap.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QSocketNotifier>

#include <xcb/xcb.h>
#include <xcb/xinput.h>
// xcb's XKB header names a field "explicit", a keyword of C++.
#define explicit xkb_explicit
#include <xcb/xkb.h>
#undef explicit
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <vector>

namespace {

template<typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

template<typename T>
Reply<T> reply(T *raw)
{
    return Reply<T>(raw, &std::free);
}

// Every subset of the bits of `bits`, the empty one included.
QList<quint16> subsetsOf(quint16 bits)
{
    QList<quint16> subsets;
    for (quint16 subset = bits;; subset = quint16((subset - 1) & bits)) {
        subsets.append(subset);
        if (subset == 0) {
            break;
        }
    }
    return subsets;
}

// The keysyms that change modifiers or locks (the X library's IsModifierKey, plus the
// third-level chooser).
bool isModifierKeysym(xkb_keysym_t keysym)
{
    return (keysym >= XKB_KEY_Shift_L && keysym <= XKB_KEY_Hyper_R)
        || (keysym >= XKB_KEY_ISO_Lock && keysym <= XKB_KEY_ISO_Level5_Lock)
        || keysym == XKB_KEY_Mode_switch || keysym == XKB_KEY_Num_Lock;
}

// The key's symbol on the first level of the first layout that has one.
xkb_keysym_t firstLevelKeysym(xkb_keymap *keymap, xkb_keycode_t keycode)
{
    const xkb_layout_index_t layouts = xkb_keymap_num_layouts_for_key(keymap, keycode);
    for (xkb_layout_index_t layout = 0; layout < layouts; ++layout) {
        const xkb_keysym_t *syms = nullptr;
        if (xkb_keymap_key_get_syms_by_level(keymap, keycode, layout, 0, &syms) > 0) {
            return syms[0];
        }
    }
    return XKB_KEY_NoSymbol;
}

// The symbols that make a key a chooser of the third or fifth level, or of the second group (the
// old AltGr): such a key is pressed to type characters.
bool choosesLevel(xkb_keysym_t keysym)
{
    switch (keysym) {
    case XKB_KEY_ISO_Level3_Shift:
    case XKB_KEY_ISO_Level3_Latch:
    case XKB_KEY_ISO_Level3_Lock:
    case XKB_KEY_ISO_Level5_Shift:
    case XKB_KEY_ISO_Level5_Latch:
    case XKB_KEY_ISO_Level5_Lock:
    case XKB_KEY_Mode_switch:
        return true;
    default:
        return false;
    }
}

// Every symbol of the key, on every level of every layout.
QList<xkb_keysym_t> allKeysyms(xkb_keymap *keymap, xkb_keycode_t keycode)
{
    QList<xkb_keysym_t> result;
    const xkb_layout_index_t layouts = xkb_keymap_num_layouts_for_key(keymap, keycode);
    for (xkb_layout_index_t layout = 0; layout < layouts; ++layout) {
        const xkb_level_index_t levels = xkb_keymap_num_levels_for_key(keymap, keycode, layout);
        for (xkb_level_index_t level = 0; level < levels; ++level) {
            const xkb_keysym_t *syms = nullptr;
            const int count =
                xkb_keymap_key_get_syms_by_level(keymap, keycode, layout, level, &syms);
            for (int i = 0; i < count; ++i) {
                result.append(syms[i]);
            }
        }
    }
    return result;
}

} // namespace

struct X11KeyEventTap::Session
{
    ~Session()
    {
        notifier.reset();
        if (keymap) {
            xkb_keymap_unref(keymap);
        }
        if (context) {
            xkb_context_unref(context);
        }
        if (connection) {
            xcb_disconnect(connection);
        }
    }

    // A round trip: when its reply arrives the server has handled every request sent before.
    void sync()
    {
        std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    }

    bool loadKeymap();
    Modifiers modifiersOf(quint16 mask) const;
    quint16 bitsOf(Modifiers modifiers) const;
    bool grabEscape();
    void releaseEscape();

    xcb_connection_t *connection = nullptr;
    xcb_window_t root = XCB_WINDOW_NONE;
    quint8 inputOpcode = 0;
    quint8 xkbFirstEvent = 0;
    qint32 keyboardId = -1;
    xkb_context *context = nullptr;
    xkb_keymap *keymap = nullptr;
    std::unique_ptr<QSocketNotifier> notifier;
    bool broken = false;

    // Modifier bits (the core protocol's eight) of each family, from the server's modifier map.
    quint16 shiftBits = 0;
    quint16 controlBits = 0;
    quint16 optionBits = 0;
    quint16 commandBits = 0;
    // Caps Lock, Num Lock and Scroll Lock: held or latched, they never block Escape.
    quint16 lockBits = 0;
    // The modifier bits each modifier key sets while down.
    QHash<quint32, quint16> bitsOfKey;
    // Modifier keys down now, as far as this connection has seen.
    QSet<quint32> modifierKeysDown;
    // The keys that choose a level in some layout of the keymap.
    QSet<quint32> levelKeys;
    Modifiers levelChoosingRightKeys;

    QList<xcb_keycode_t> escapeKeys;
    bool escapeTaken = false;
    Modifiers escapeAllowed;
};

bool X11KeyEventTap::Session::loadKeymap()
{
    xkb_keymap *fresh = xkb_x11_keymap_new_from_device(context, connection, keyboardId,
                                                       XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (!fresh) {
        return false;
    }
    if (keymap) {
        xkb_keymap_unref(keymap);
    }
    keymap = fresh;

    escapeKeys.clear();
    levelKeys.clear();
    for (xkb_keycode_t code = xkb_keymap_min_keycode(keymap);
         code <= xkb_keymap_max_keycode(keymap) && code <= 255; ++code) {
        if (firstLevelKeysym(keymap, code) == XKB_KEY_Escape) {
            escapeKeys.append(xcb_keycode_t(code));
        }
        // Any layout counts: with two layouts the key types characters in one of them.
        const QList<xkb_keysym_t> syms = allKeysyms(keymap, code);
        if (std::any_of(syms.cbegin(), syms.cend(), choosesLevel)) {
            levelKeys.insert(code);
        }
    }
    // The right-hand keys by their place on the keyboard, whatever their symbols are.
    const std::pair<const char *, Modifier> rightKeys[] = {{"RWIN", Modifier::command},
                                                           {"RALT", Modifier::option},
                                                           {"RCTL", Modifier::control},
                                                           {"RTSH", Modifier::shift}};
    levelChoosingRightKeys = {};
    for (const auto &[name, family] : rightKeys) {
        const xkb_keycode_t code = xkb_keymap_key_by_name(keymap, name);
        if (code != XKB_KEYCODE_INVALID && levelKeys.contains(code)) {
            levelChoosingRightKeys |= family;
        }
    }

    shiftBits = XCB_MOD_MASK_SHIFT;
    controlBits = XCB_MOD_MASK_CONTROL;
    optionBits = 0;
    commandBits = 0;
    lockBits = XCB_MOD_MASK_LOCK;
    bitsOfKey.clear();
    auto map = reply(
        xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr));
    if (map) {
        const xcb_keycode_t *codes = xcb_get_modifier_mapping_keycodes(map.get());
        const int perModifier = map->keycodes_per_modifier;
        for (int bit = 0; bit < 8; ++bit) {
            const quint16 mask = quint16(1u << bit);
            for (int i = 0; i < perModifier; ++i) {
                const xcb_keycode_t code = codes[bit * perModifier + i];
                if (code == 0) {
                    continue;
                }
                bitsOfKey[code] |= mask;
                for (const xkb_keysym_t sym : allKeysyms(keymap, code)) {
                    switch (sym) {
                    case XKB_KEY_Shift_L:
                    case XKB_KEY_Shift_R:
                        shiftBits |= mask;
                        break;
                    case XKB_KEY_Control_L:
                    case XKB_KEY_Control_R:
                        controlBits |= mask;
                        break;
                    case XKB_KEY_Alt_L:
                    case XKB_KEY_Alt_R:
                    case XKB_KEY_Meta_L:
                    case XKB_KEY_Meta_R:
                    case XKB_KEY_ISO_Level3_Shift:
                        optionBits |= mask;
                        break;
                    case XKB_KEY_Super_L:
                    case XKB_KEY_Super_R:
                        commandBits |= mask;
                        break;
                    case XKB_KEY_Num_Lock:
                    case XKB_KEY_Scroll_Lock:
                        lockBits |= mask;
                        break;
                    default:
                        break;
                    }
                }
            }
        }
    }
    // A bit shared by a lock and a modifier family counts as the modifier.
    lockBits &= quint16(~(shiftBits | controlBits | optionBits | commandBits));
    return true;
}

KeyEventTap::Modifiers X11KeyEventTap::Session::modifiersOf(quint16 mask) const
{
    Modifiers result;
    result.setFlag(Modifier::shift, mask & shiftBits);
    result.setFlag(Modifier::control, mask & controlBits);
    result.setFlag(Modifier::option, mask & optionBits);
    result.setFlag(Modifier::command, mask & commandBits);
    return result;
}

quint16 X11KeyEventTap::Session::bitsOf(Modifiers modifiers) const
{
    quint16 bits = 0;
    if (modifiers & Modifier::shift) {
        bits |= shiftBits;
    }
    if (modifiers & Modifier::control) {
        bits |= controlBits;
    }
    if (modifiers & Modifier::option) {
        bits |= optionBits;
    }
    if (modifiers & Modifier::command) {
        bits |= commandBits;
    }
    return bits;
}

bool X11KeyEventTap::Session::grabEscape()
{
    // A passive grab matches one exact modifier state, so every state in which Escape counts is
    // grabbed: any of the allowed family's bits, each with any combination of the locks.
    std::vector<xcb_void_cookie_t> cookies;
    for (const quint16 allowed : subsetsOf(bitsOf(escapeAllowed))) {
        for (const quint16 locks : subsetsOf(lockBits)) {
            for (const xcb_keycode_t key : escapeKeys) {
                cookies.push_back(xcb_grab_key_checked(connection, 0, root,
                                                       quint16(allowed | locks), key,
                                                       XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
            }
        }
    }
    bool all = true;
    for (const xcb_void_cookie_t &cookie : cookies) {
        if (xcb_generic_error_t *error = xcb_request_check(connection, cookie)) {
            all = false;
            std::free(error);
        }
    }
    return all;
}

void X11KeyEventTap::Session::releaseEscape()
{
    for (const xcb_keycode_t key : escapeKeys) {
        xcb_ungrab_key(connection, key, root, XCB_MOD_MASK_ANY);
    }
    // Given back before this returns, not whenever the server gets to it.
    sync();
}

X11KeyEventTap::X11KeyEventTap(QObject *parent)
    : KeyEventTap(parent)
{ }

X11KeyEventTap::~X11KeyEventTap()
{
    remove();
}

bool X11KeyEventTap::install()
{
    if (m_session) {
        return true;
    }
    auto session = std::make_unique<Session>();
    int screenNumber = 0;
    session->connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(session->connection)) {
        return false;
    }
    xcb_connection_t *connection = session->connection;
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i) {
        xcb_screen_next(&screens);
    }
    if (screens.rem == 0) {
        return false;
    }
    session->root = screens.data->root;

    const xcb_query_extension_reply_t *input = xcb_get_extension_data(connection, &xcb_input_id);
    if (!input || !input->present) {
        return false;
    }
    session->inputOpcode = input->major_opcode;
    // Announcing 2.2 matters: the server then delivers raw events also while another client
    // holds a grab, which it does not do for a 2.0 client.
    auto version = reply(xcb_input_xi_query_version_reply(
        connection, xcb_input_xi_query_version(connection, 2, 2), nullptr));
    if (!version || version->major_version < 2) {
        return false;
    }

    if (!xkb_x11_setup_xkb_extension(connection, XKB_X11_MIN_MAJOR_XKB_VERSION,
                                     XKB_X11_MIN_MINOR_XKB_VERSION,
                                     XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr,
                                     &session->xkbFirstEvent, nullptr)) {
        return false;
    }
    session->keyboardId = xkb_x11_get_core_keyboard_device_id(connection);
    session->context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (session->keyboardId < 0 || !session->context || !session->loadKeymap()) {
        return false;
    }

    // A new keyboard or a changed map (another layout, a remapped key) reloads the keymap.
    xcb_xkb_select_events_details_t details = {};
    details.affectNewKeyboard = XCB_XKB_NKN_DETAIL_KEYCODES;
    details.newKeyboardDetails = XCB_XKB_NKN_DETAIL_KEYCODES;
    const quint16 mapParts = XCB_XKB_MAP_PART_KEY_TYPES | XCB_XKB_MAP_PART_KEY_SYMS
        | XCB_XKB_MAP_PART_MODIFIER_MAP | XCB_XKB_MAP_PART_VIRTUAL_MODS
        | XCB_XKB_MAP_PART_VIRTUAL_MOD_MAP;
    const xcb_void_cookie_t xkbSelection = xcb_xkb_select_events_aux_checked(
        connection, xcb_xkb_device_spec_t(session->keyboardId),
        XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY | XCB_XKB_EVENT_TYPE_MAP_NOTIFY, 0, 0, mapParts,
        mapParts, &details);
    if (xcb_generic_error_t *error = xcb_request_check(connection, xkbSelection)) {
        std::free(error);
        return false;
    }

    struct
    {
        xcb_input_event_mask_t head;
        quint32 bits;
    } mask = {};
    mask.head.deviceid = XCB_INPUT_DEVICE_ALL_MASTER;
    mask.head.mask_len = 1;
    mask.bits = XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_KEY_RELEASE;
    const xcb_void_cookie_t selection =
        xcb_input_xi_select_events_checked(connection, session->root, 1, &mask.head);
    if (xcb_generic_error_t *error = xcb_request_check(connection, selection)) {
        std::free(error);
        return false;
    }

    session->notifier = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(connection),
                                                          QSocketNotifier::Read);
    connect(session->notifier.get(), &QSocketNotifier::activated, this,
            &X11KeyEventTap::readEvents);
    ++m_generation;
    m_session = std::move(session);
    // Events that arrived during the round trips above wait in the connection's own queue,
    // where the socket notifier does not see them.
    scheduleRead();
    return true;
}

void X11KeyEventTap::remove()
{
    if (!m_session) {
        return;
    }
    ++m_generation;
    if (m_session->escapeTaken && !m_session->broken) {
        m_session->releaseEscape();
    }
    m_session.reset();
}

bool X11KeyEventTap::isInstalled() const
{
    return bool(m_session);
}

bool X11KeyEventTap::isWorking() const
{
    return m_session && !m_session->broken && !xcb_connection_has_error(m_session->connection);
}

KeyEventTap::Modifiers X11KeyEventTap::levelChoosingRightKeys() const
{
    return m_session ? m_session->levelChoosingRightKeys : Modifiers();
}

bool X11KeyEventTap::setEscapeTaken(bool take, Modifiers allowed)
{
    if (!isWorking()) {
        // Nothing was refused: a listener that stopped working is replaced by its owner.
        return true;
    }
    Session &session = *m_session;
    if (!take) {
        allowed = {};
    }
    if (take == session.escapeTaken && allowed == session.escapeAllowed) {
        return true;
    }
    if (session.escapeTaken) {
        session.releaseEscape();
    }
    session.escapeTaken = take;
    session.escapeAllowed = allowed;
    const bool complete = !take || session.grabEscape();
    scheduleRead();
    return complete;
}

void X11KeyEventTap::scheduleRead()
{
    QMetaObject::invokeMethod(
        this,
        [this, generation = m_generation] {
            if (generation == m_generation) {
                readEvents();
            }
        },
        Qt::QueuedConnection);
}

void X11KeyEventTap::readEvents()
{
    const quint64 generation = m_generation;
    while (m_session && generation == m_generation) {
        Session &session = *m_session;
        std::unique_ptr<xcb_generic_event_t, decltype(&std::free)> event(
            xcb_poll_for_event(session.connection), &std::free);
        if (!event) {
            if (xcb_connection_has_error(session.connection)) {
                // The display is gone or closed the connection: nothing will arrive any more.
                session.broken = true;
                session.notifier->setEnabled(false);
            }
            return;
        }
        // A slot may remove or reinstall the tap; the loop then stops at its next turn.
        handleEvent(session, event.get());
    }
}

void X11KeyEventTap::handleEvent(Session &session, const void *rawEvent)
{
    const auto *event = static_cast<const xcb_generic_event_t *>(rawEvent);
    const quint8 type = event->response_type & 0x7f;
    if (type == XCB_GE_GENERIC) {
        const auto *generic = static_cast<const xcb_ge_generic_event_t *>(rawEvent);
        if (generic->extension != session.inputOpcode) {
            return;
        }
        if (generic->event_type == XCB_INPUT_RAW_KEY_PRESS
            || generic->event_type == XCB_INPUT_RAW_KEY_RELEASE) {
            const auto *raw = static_cast<const xcb_input_raw_key_press_event_t *>(rawEvent);
            if (raw->flags & XCB_INPUT_KEY_EVENT_FLAGS_KEY_REPEAT) {
                return;
            }
            handleRawKey(session, raw->detail, generic->event_type == XCB_INPUT_RAW_KEY_PRESS);
        }
    } else if (type == XCB_KEY_PRESS) {
        // Core key presses reach this connection only through the Escape grabs.
        const auto *press = static_cast<const xcb_key_press_event_t *>(rawEvent);
        if (session.escapeTaken && session.escapeKeys.contains(press->detail)) {
            Q_EMIT escapePressed(session.modifiersOf(press->state & 0xff));
        }
    } else if (type == XCB_MAPPING_NOTIFY
               || (session.xkbFirstEvent != 0 && type == session.xkbFirstEvent)) {
        if (type != XCB_MAPPING_NOTIFY) {
            const auto *xkbEvent =
                static_cast<const xcb_xkb_new_keyboard_notify_event_t *>(rawEvent);
            if (xkbEvent->xkbType != XCB_XKB_NEW_KEYBOARD_NOTIFY
                && xkbEvent->xkbType != XCB_XKB_MAP_NOTIFY) {
                return;
            }
        }
        // The Escape keys or the modifier bits may have moved: grab again on the new map.
        const bool taken = session.escapeTaken;
        if (taken) {
            session.releaseEscape();
            session.escapeTaken = false;
        }
        session.loadKeymap();
        if (taken) {
            session.escapeTaken = true;
            session.grabEscape();
        }
        Q_EMIT layoutChanged();
    }
}

void X11KeyEventTap::handleRawKey(Session &session, quint32 keycode, bool down)
{
    const xkb_keysym_t keysym = firstLevelKeysym(session.keymap, keycode);
    const bool inModifierMap = session.bitsOfKey.contains(keycode);
    if (!inModifierMap && !isModifierKeysym(keysym)) {
        return;
    }
    if (down) {
        if (session.modifierKeysDown.contains(keycode)) {
            return; // a repeat
        }
        session.modifierKeysDown.insert(keycode);
    } else {
        session.modifierKeysDown.remove(keycode);
    }
    quint16 mask = 0;
    for (const quint32 key : std::as_const(session.modifierKeysDown)) {
        mask |= session.bitsOfKey.value(key);
    }
    KeyEvent keyEvent;
    keyEvent.keycode = keycode;
    keyEvent.keysym = keysym;
    keyEvent.down = down;
    keyEvent.modifiers = session.modifiersOf(mask);
    keyEvent.choosesLevel = session.levelKeys.contains(keycode);
    Q_EMIT modifierKeyChanged(keyEvent);
}
