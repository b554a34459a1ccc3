#pragma once

#include "Core/Models/DictationHoldKey.h"
#include "Core/Models/DictationState.h"
#include "Core/Models/DictationTask.h"
#include "Platform/KeyEventTap.h"

#include <QCoro/QCoroTask>
#include <QList>
#include <QObject>
#include <QSet>

#include <array>
#include <functional>
#include <memory>
#include <optional>

class AppSettings;
class HotkeyLayout;

// Turns presses of single modifier keys, anywhere in the desktop session, into the start and end
// of dictation sessions. The three key settings (holdKey, askKey, translateKey) choose the keys;
// the manager reports key down and key up with the key's task, and takes Escape away from the
// focused application while a session runs (or while escapeAlsoActive answers yes) and reports
// it. It never decides what a press means: the owner wires the callbacks to the session
// controller.
//
// On X11 the keys are: right Command = Super_R, right Option = Alt_R, right Control = Control_R,
// right Shift = Shift_R. The fn key never reaches X11; the settings read a stored fn as the task's
// default key. A key that the active layout uses to choose the third or fifth level (Right Alt as
// AltGr on German or French layouts) is never a hotkey, since the user types "@" or "€" with it:
// the manager follows the layout while running and publishes which of the keys it keeps in
// HotkeyLayout, for the views.
//
// X11 can only take Escape with a grab made before the press, so whether Escape is wanted is
// decided ahead of time: the owner passes every change of the session state to
// setSessionState() and calls refreshEscape() whenever the answer of escapeAlsoActive may have
// changed; start() looks again as well.
//
// Key and Escape reports are queued to the main loop, in the order the keys were pressed. A key
// release caused by rebuilding the listener (a changed key setting, a listener that stopped
// working, or one made before Accessibility was trusted) is reported at once, after the reports
// still queued.
//
// Main thread only.
class HotkeyManager : public QObject
{
    Q_OBJECT

public:
    struct Binding
    {
        DictationHoldKey key = DictationHoldKey::none;
        // The symbols the key is recognised by; a key whose first-level symbol is one of them.
        QList<quint32> keysyms;
        DictationTask task = DictationTask::cleanup;

        bool operator==(const Binding &) const = default;
    };

    // What the manager reads and listens to. Every pointer must be set and outlive the manager.
    struct Services
    {
        AppSettings *settings = nullptr;
        KeyEventTap *tap = nullptr;
        // Whether the process is trusted for Accessibility. Asked by every start(); it must not
        // wait on the desktop session, where an answer may be slow to come or never come.
        std::function<QCoro::Task<bool>()> readTrust;
        // Where the keys the layout keeps for typing are published; may be absent.
        HotkeyLayout *layout = nullptr;
    };

    // On the shared settings, the X11 key listener, the Accessibility check of Permissions and
    // the shared HotkeyLayout.
    explicit HotkeyManager(QObject *parent = nullptr);
    explicit HotkeyManager(const Services &services, QObject *parent = nullptr);
    ~HotkeyManager() override;

    HotkeyManager(const HotkeyManager &) = delete;
    HotkeyManager &operator=(const HotkeyManager &) = delete;

    // Set by the owner before start(); each may be empty.
    // A bound key went down.
    std::function<void(DictationTask)> onKeyDown;
    // The held bound key went up, or was let go by a rebuild of the listener.
    std::function<void(DictationTask)> onKeyUp;
    // An Escape press was taken.
    std::function<void()> onEscape;
    // Asked only while no session runs: should Escape be taken anyway? Empty means no.
    std::function<bool()> escapeAlsoActive;

    // Subscribes to the key settings once and asks whether the process is trusted; with the
    // answer, installs the listener when it can, and replaces one that stopped working or was
    // made before Accessibility trust. An answer already known is used before start() returns.
    // Safe to call again and again.
    void start();
    // Removes the listener and forgets the held key, without any report. At termination, after
    // cancelSubscription().
    void tearDownTap();
    // Stops following the key settings, also a rebuild already queued by a change.
    void cancelSubscription();

    bool hasTap() const;
    // The bound keys of the installed listener, in priority order; empty without one.
    const QList<Binding> &bindings() const { return m_bindings; }
    // The task of the bound key that is down now.
    std::optional<DictationTask> heldTask() const;

    // The bindings for the three settings, walked in the order (holdKey, cleanup),
    // (askKey, ask), (translateKey, translate): none and fn give no binding, and a key already
    // bound by an earlier setting is skipped.
    static QList<Binding> resolveBindings(DictationHoldKey holdKey, DictationHoldKey askKey,
                                          DictationHoldKey translateKey);
    // The symbols of a hold key on X11; empty for none and fn.
    static QList<quint32> keysymsOf(DictationHoldKey key);
    // The modifier family a held key belongs to; Escape pressed with it still counts.
    static KeyEventTap::Modifiers modifierOf(DictationHoldKey key);
    // The hold keys whose families' right-hand keys are in `rightKeys`.
    static QSet<DictationHoldKey> keysOf(KeyEventTap::Modifiers rightKeys);

public Q_SLOTS:
    // The session controller's state; only whether it is idle matters.
    void setSessionState(DictationState state);
    // The answer of escapeAlsoActive may have changed.
    void refreshEscape();

private:
    enum class ReportKind { keyDown, keyUp, escape };
    struct Report
    {
        ReportKind kind;
        DictationTask task;
    };
    struct Held
    {
        Binding binding;
        quint32 keycode = 0;
    };
    using Keys = std::array<DictationHoldKey, 3>;

    void subscribe();
    void applyTrust(bool trusted);
    Keys currentKeys() const;
    void keySettingsChanged();
    void installTapIfNeeded();
    void rebuild();
    void publishLayout();
    void handleModifierKey(const KeyEventTap::KeyEvent &event);
    void handleEscape(KeyEventTap::Modifiers modifiers);
    bool escapeWanted() const;
    void updateEscapeGrab();
    void queueReport(const Report &report);
    void deliverPending();

    AppSettings *m_settings;
    KeyEventTap *m_tap;
    std::function<QCoro::Task<bool>()> m_readTrust;
    HotkeyLayout *m_layout;
    std::unique_ptr<KeyEventTap> m_ownedTap;

    // Holds the connections to the key settings; deleting it cancels them.
    std::unique_ptr<QObject> m_subscription;
    Keys m_lastKeys {};
    QList<Binding> m_bindings;
    std::optional<Held> m_holding;
    // The last answer of m_readTrust.
    bool m_trusted = false;
    DictationState m_sessionState = DictationState::idle;

    QList<Report> m_pending;
    bool m_deliveryQueued = false;
    bool m_escapeRefusalLogged = false;
};
