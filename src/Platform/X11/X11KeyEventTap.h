#pragma once

#include "Platform/KeyEventTap.h"

#include <memory>

// The key listener on X11: XInput 2 raw key events of every master keyboard, selected on the root
// window of a connection of its own (raw events only listen, they never take a key), read from
// the main loop through a socket notifier. The keys' symbols come from the server's XKB keymap,
// loaded again whenever the server reports a new keyboard or a changed map; a key that the layout
// uses to choose the third or fifth level (AltGr) is marked as such. Escape is taken with
// passive grabs on the root window, one per allowed modifier combination, and released the
// moment it is no longer wanted.
class X11KeyEventTap final : public KeyEventTap
{
    Q_OBJECT

public:
    explicit X11KeyEventTap(QObject *parent = nullptr);
    ~X11KeyEventTap() override;

    bool install() override;
    void remove() override;
    bool isInstalled() const override;
    bool isWorking() const override;
    bool setEscapeTaken(bool take, Modifiers allowed) override;
    Modifiers levelChoosingRightKeys() const override;

private:
    struct Session;

    void readEvents();
    void scheduleRead();
    void handleEvent(Session &session, const void *event);
    void handleRawKey(Session &session, quint32 keycode, bool down);

    std::unique_ptr<Session> m_session;
    // Counts installs, so a read queued for an earlier connection does not touch a later one.
    quint64 m_generation = 0;
};
