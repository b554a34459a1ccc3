#pragma once

#include "Platform/SyntheticKeyboard.h"

#include <QHash>
#include <QList>
#include <QtGlobal>

#include <functional>
#include <vector>

struct xcb_connection_t;

// Synthetic keys on X11 through XTest, on a connection of its own to the display named by
// $DISPLAY. Characters without a key in the user's layout are typed through keycodes that have
// no symbols (a default keymap has a couple of dozen), bound to the characters' keysyms for the
// moment and emptied again by endTyping().
//
// Every key it presses is remembered until its release has gone out, so releaseKeys() can let
// go of what a failed event left down. A connection that breaks is replaced on the next call,
// and the new one first releases the keys and puts back the keymap rows the old one could not.
//
// Not thread-safe: use it from one thread at a time. Every call is a few round trips to the X
// server, never a wait on another application.
class X11Keyboard final : public SyntheticKeyboard
{
public:
    // Opens a connection to the display, or gives null when there is none.
    using Connector = std::function<xcb_connection_t *()>;

    // `connect` opens every connection the keyboard uses; by default one to $DISPLAY.
    explicit X11Keyboard(Connector connect = {});
    ~X11Keyboard() override;

    X11Keyboard(const X11Keyboard &) = delete;
    X11Keyboard &operator=(const X11Keyboard &) = delete;

    bool isTrusted() override;
    bool isModifierHeld() override;
    bool isTerminalFocused() override;
    bool postKey(Key key, bool down) override;
    bool releaseKeys() override;

    bool beginTyping() override;
    void endTyping() override;
    bool hasKeyFor(char32_t character) override;
    int spareKeyCount() override;
    bool bindSpareKeys(const QList<char32_t> &characters) override;
    bool typeCharacter(char32_t character) override;

private:
    struct Stroke
    {
        quint8 keycode = 0;
        bool shift = false;
    };

    // True with a working connection, replacing a broken one first.
    bool connected();
    void releaseHeld();
    bool loadCoreMap();
    quint8 keycodeForKeysym(quint32 keysym);
    quint8 keycodeFor(Key key);
    bool fakeKey(quint8 keycode, bool down);
    bool tap(quint8 keycode);
    // Writes rows of the core keymap, one request per run of neighbouring keycodes; false when
    // the server refused one.
    bool writeRows(const QHash<quint8, std::vector<quint32>> &rows);
    std::vector<quint32> rowFor(quint32 keysym) const;
    void sync();
    void discardEvents();
    bool loadStrokes();

    Connector m_connect;
    xcb_connection_t *m_connection = nullptr;
    bool m_hasXTest = false;

    // Keys pressed whose release has not gone out.
    QList<quint8> m_held;
    // Keymap rows that endTyping() could not put back.
    QHash<quint8, std::vector<quint32>> m_pendingRows;

    // The core keymap: m_symsPerKeycode keysyms for every keycode from m_minKeycode on.
    quint8 m_minKeycode = 8;
    quint8 m_maxKeycode = 255;
    int m_symsPerKeycode = 0;
    std::vector<quint32> m_coreMap;
    bool m_coreMapValid = false;

    // Between beginTyping() and endTyping().
    bool m_typing = false;
    QHash<quint32, Stroke> m_strokes;
    QList<quint8> m_spareKeys;
    // Spare keys, least recently bound first.
    QList<quint8> m_spareOrder;
    QHash<char32_t, quint8> m_bound;
    QHash<quint8, std::vector<quint32>> m_originalRows;
    quint8 m_capsKeycode = 0;
    bool m_capsLifted = false;
    bool m_xkbReady = false;
};
