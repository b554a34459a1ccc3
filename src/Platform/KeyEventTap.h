#pragma once

#include <QFlags>
#include <QObject>
#include <QtGlobal>

// The session-wide keyboard listener behind the global hotkeys. Once installed it reports every
// press and release of a modifier key (Shift, Control, Alt, AltGr, Super, ...) anywhere in the
// desktop session, without taking any of them from the application that has the focus. On
// request it also takes the Escape key away from the other applications and reports each press
// it took.
//
// Main thread only: installed, asked and removed there; its signals arrive there, from the event
// loop, never from inside one of its own calls.
class KeyEventTap : public QObject
{
    Q_OBJECT

public:
    // The modifier families the hotkey logic tells apart. Option stands for Alt and AltGr (the
    // third-level chooser), Command for Super.
    enum class Modifier {
        shift = 0x1,
        control = 0x2,
        option = 0x4,
        command = 0x8,
    };
    Q_DECLARE_FLAGS(Modifiers, Modifier)

    struct KeyEvent
    {
        // The key's hardware code; the same physical key always has the same code.
        quint32 keycode = 0;
        // The key's symbol on its first level in the current layout (e.g. 0xffec, Super_R).
        quint32 keysym = 0;
        // True for a press, false for a release.
        bool down = false;
        // The modifier families held once the event has taken effect.
        Modifiers modifiers;
        // The current layout uses the key to choose the third or fifth level (AltGr on German or
        // French layouts): it is part of typing characters.
        bool choosesLevel = false;
    };

    using QObject::QObject;
    ~KeyEventTap() override = default;

    // Starts listening. False when the desktop cannot report keys (no display, the display lacks
    // what is needed, or it refused the listener); nothing is kept then and a later call may try
    // again. Installing an installed tap does nothing and answers true.
    virtual bool install() = 0;
    // Stops listening and gives Escape back. No signal follows, not even one already underway.
    virtual void remove() = 0;
    virtual bool isInstalled() const = 0;
    // Installed and still receiving events: false once the connection to the display broke.
    // Only remove() and a fresh install() bring it back.
    virtual bool isWorking() const = 0;

    // While `take` is true, Escape presses made with no modifier held besides those of `allowed`
    // (and the locks: Caps Lock, Num Lock, Scroll Lock) are taken away from the other
    // applications and reported by escapePressed(); other Escape presses reach the focused
    // application as usual. False gives Escape back at once. Only while installed; remove()
    // gives Escape back as well. Answers false when the display refused some of it (another
    // program holds Escape for itself); what could be taken is taken all the same.
    virtual bool setEscapeTaken(bool take, Modifiers allowed) = 0;

    // The families whose right-hand key (by its place on the keyboard: right Super, right Alt,
    // right Ctrl, right Shift) the current layout uses to choose the third or fifth level. Read
    // when installed; layoutChanged() follows every change of the layout after that.
    virtual Modifiers levelChoosingRightKeys() const = 0;

Q_SIGNALS:
    // A modifier key went down or up. Auto-repeated presses are not reported.
    void modifierKeyChanged(const KeyEvent &event);
    // An Escape press was taken; `modifiers` were held with it.
    void escapePressed(Modifiers modifiers);
    // The keyboard layout changed (another layout chosen, a key remapped, a keyboard plugged in).
    void layoutChanged();
};

Q_DECLARE_OPERATORS_FOR_FLAGS(KeyEventTap::Modifiers)
