#pragma once

#include <QList>

// Synthetic key events for the inserters: the paste shortcut and typed text. On X11 they go
// through XTest, so they mix with the keys the user physically holds; callers check
// isModifierHeld() before sending anything.
//
// Every call returns once the display has processed the events it sent.
class SyntheticKeyboard
{
public:
    // The keys the inserters press by name.
    enum class Key { Control, Shift, V, Return };

    virtual ~SyntheticKeyboard() = default;

    // Whether synthetic key events can be posted at all.
    virtual bool isTrusted() = 0;

    // Whether a modifier key (Shift, Control, Alt, Super, ...) is down right now.
    virtual bool isModifierHeld() = 0;

    // Whether the focused window belongs to a terminal emulator, which pastes with
    // Control+Shift+V instead of Control+V.
    virtual bool isTerminalFocused() = 0;

    // Presses (down) or releases one key. False when the event cannot be sent.
    virtual bool postKey(Key key, bool down) = 0;

    // Releases every key that this keyboard's events pressed and did not release: a release
    // that failed, a press whose outcome is unknown, a key typed half way. A key left down would
    // garble everything the user types next. True when no key is left down.
    virtual bool releaseKeys() = 0;

    // Typing text. beginTyping() reads the current keyboard layout and lifts Caps Lock;
    // endTyping() gives the spare keys back their own meaning and puts Caps Lock back (when the
    // keymap cannot be written then, it is put back at the next chance). False from
    // beginTyping() when the layout cannot be read; nothing is changed then.
    virtual bool beginTyping() = 0;
    virtual void endTyping() = 0;

    // Whether the character has a key of its own in the current layout, typed without rebinding
    // a key. Only between beginTyping() and endTyping().
    virtual bool hasKeyFor(char32_t character) = 0;

    // How many keys without a meaning of their own can carry the characters that have none.
    virtual int spareKeyCount() = 0;

    // Binds spare keys to these characters (at most spareKeyCount(), no duplicates). A character
    // that is already bound keeps its key; keys are taken from characters not listed. False when
    // the keymap cannot be changed.
    virtual bool bindSpareKeys(const QList<char32_t> &characters) = 0;

    // Presses and releases the key that types the character: its own key (with Shift when the
    // layout needs it) or a bound spare key. False when there is none.
    virtual bool typeCharacter(char32_t character) = 0;
};
