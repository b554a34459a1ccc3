#pragma once

#include "Platform/KeyEventTap.h"

#include <QList>

// A key listener the test plays keys into. It keeps the contract of the real one: keys reach the
// manager only while installed, and an Escape press is taken (and reported) only while Escape is
// taken and no modifier outside the allowed ones is held; otherwise it counts as passed on to
// the focused application.
class FakeKeyEventTap final : public KeyEventTap
{
public:
    // Keys by their evdev keycode and first-level symbol, as a standard PC keymap has them, and
    // whether the layout types characters with them as a level chooser.
    struct Key
    {
        quint32 keycode;
        quint32 keysym;
        bool choosesLevel;
    };
    static constexpr Key superRight {134, 0xffec, false};
    static constexpr Key superLeft {133, 0xffeb, false};
    static constexpr Key altRight {108, 0xffea, false};
    static constexpr Key altLeft {64, 0xffe9, false};
    static constexpr Key levelThree {92, 0xfe03, true};
    // Right Alt on a German or French layout.
    static constexpr Key altGr {108, 0xfe03, true};
    static constexpr Key controlRight {105, 0xffe4, false};
    static constexpr Key controlLeft {37, 0xffe3, false};
    static constexpr Key shiftRight {62, 0xffe2, false};
    static constexpr Key shiftLeft {50, 0xffe1, false};

    bool install() override
    {
        ++installs;
        if (installed) {
            return true;
        }
        if (!installSucceeds) {
            return false;
        }
        installed = true;
        working = true;
        return true;
    }

    void remove() override
    {
        if (installed) {
            ++removals;
        }
        installed = false;
        escapeTaken = false;
        escapeAllowed = {};
    }

    bool isInstalled() const override { return installed; }
    bool isWorking() const override { return installed && working; }

    bool setEscapeTaken(bool take, Modifiers allowed) override
    {
        if (!installed) {
            return !take;
        }
        escapeTaken = take;
        escapeAllowed = take ? allowed : Modifiers();
        return !(take && refuseEscape);
    }

    Modifiers levelChoosingRightKeys() const override
    {
        return installed ? levelRightKeys : Modifiers();
    }

    // The user switches to a layout whose `rightKeys` choose a level.
    void switchLayout(Modifiers rightKeys)
    {
        levelRightKeys = rightKeys;
        if (installed) {
            Q_EMIT layoutChanged();
        }
    }

    void press(Key key, Modifiers modifiers = {}) { send(key, true, modifiers); }
    void release(Key key, Modifiers modifiers = {}) { send(key, false, modifiers); }

    // The user presses Escape with `modifiers` held; true when the listener took it.
    bool pressEscape(Modifiers modifiers = {})
    {
        if (installed && escapeTaken && !(modifiers & ~escapeAllowed)) {
            Q_EMIT escapePressed(modifiers);
            return true;
        }
        ++escapesPassedOn;
        return false;
    }

    bool installSucceeds = true;
    // The display refuses the Escape grab (another program holds it).
    bool refuseEscape = false;
    // False once the connection to the display broke.
    bool working = false;

    // The right-hand keys the layout uses as level choosers (Modifier::option: AltGr).
    Modifiers levelRightKeys;

    bool installed = false;
    bool escapeTaken = false;
    Modifiers escapeAllowed;
    int installs = 0;
    int removals = 0;
    int escapesPassedOn = 0;

private:
    void send(Key key, bool down, Modifiers modifiers)
    {
        if (!installed || !working) {
            return;
        }
        Q_EMIT modifierKeyChanged({key.keycode, key.keysym, down, modifiers, key.choosesLevel});
    }
};
