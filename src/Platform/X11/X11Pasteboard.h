#pragma once

#include "Platform/Pasteboard.h"

#include <QThread>

// The X11 CLIPBOARD selection. A connection of its own, served by a thread of its own: reading
// another application's clipboard never blocks the caller, and this process answers paste
// requests for the content it owns even while its main thread waits (Qt's own clipboard code
// waits that way when this process pastes into itself).
//
// A read asks the owner for its targets side by side (each is a round trip to the owner), so an
// owner with many targets, or a slow one that answers them in parallel, is read in about the time
// of one. The change count counts ownership changes of CLIPBOARD (XFixes selection notify), this
// process's included. Written content is offered for as long as this process owns the
// selection, large data through INCR transfers.
//
// Use from one thread (the one that made it). Without an X11 display every write fails and
// every read is absent.
class X11Pasteboard final : public Pasteboard
{
public:
    X11Pasteboard();
    ~X11Pasteboard() override;

    X11Pasteboard(const X11Pasteboard &) = delete;
    X11Pasteboard &operator=(const X11Pasteboard &) = delete;

    // Whether the display and its XFixes extension were reached.
    bool isAvailable() const { return m_engine != nullptr; }

    qint64 changeCount() override;
    QCoro::Task<std::optional<Snapshot>> readItems() override;
    void clearContents() override;
    bool writeItems(const Snapshot &items) override;
    qint64 contentReadCount() override;

private:
    class Engine;

    QThread m_thread;
    Engine *m_engine = nullptr;
};
