#include "Core/Insertion/TextInserter.h"

#include "Base/Async.h"
#include "Base/CancelledError.h"
#include "Core/Insertion/UnicodeTyper.h"
#include "Platform/X11/X11Keyboard.h"
#include "Platform/X11/X11Pasteboard.h"

namespace {

// Releases the keyboard's keys when the insertion ends, however it ends.
class KeysReleased
{
public:
    explicit KeysReleased(SyntheticKeyboard &keyboard)
        : m_keyboard(keyboard)
    { }
    KeysReleased(const KeysReleased &) = delete;
    KeysReleased &operator=(const KeysReleased &) = delete;
    ~KeysReleased() { m_keyboard.releaseKeys(); }

private:
    SyntheticKeyboard &m_keyboard;
};

} // namespace

TextInserter &TextInserter::shared()
{
    // Never destroyed: a restore may still be pending at exit, and the clipboard thread must not
    // be torn down after the application object is gone.
    static X11Pasteboard *const pasteboard = new X11Pasteboard;
    static X11Keyboard *const keyboard = new X11Keyboard;
    static TextInserter *const inserter = new TextInserter(*pasteboard, *keyboard, Clock::system());
    return *inserter;
}

TextInserter::TextInserter(Pasteboard &pasteboard, SyntheticKeyboard &keyboard, Clock &clock)
    : m_pasteboard(pasteboard)
    , m_keyboard(keyboard)
    , m_clock(clock)
{ }

PasteInserter::Services TextInserter::services()
{
    return {m_pasteboard, m_keyboard, m_clock, m_clipboardState};
}

void TextInserter::readClipboardAhead()
{
    PasteInserter::readAhead(services());
}

PasteInserter::SnapshotTask TextInserter::beginSnapshot()
{
    return PasteInserter::beginSnapshot(services());
}

QCoro::Task<std::optional<AsyncMutex::Guard>> TextInserter::takeTurn(CancellationToken cancellation)
{
    try {
        co_return co_await m_turn.lock(std::move(cancellation));
    } catch (const CancelledError &) {
        co_return std::nullopt;
    }
}

QCoro::Task<bool> TextInserter::paste(QString text, bool restoreClipboard, int restoreDelayMs,
                                      std::optional<PasteInserter::SnapshotTask> snapshot,
                                      SessionContext context)
{
    const std::optional<AsyncMutex::Guard> turn = co_await takeTurn(context.cancellation);
    if (!turn) {
        co_return false;
    }
    const KeysReleased released(m_keyboard);
    co_return co_await PasteInserter::insert(services(), std::move(text), restoreClipboard,
                                             restoreDelayMs, std::move(snapshot),
                                             std::move(context));
}

QCoro::Task<bool> TextInserter::type(QString text, SessionContext context)
{
    const std::optional<AsyncMutex::Guard> turn = co_await takeTurn(context.cancellation);
    if (!turn) {
        co_return false;
    }
    const KeysReleased released(m_keyboard);
    // The spare keys the last run gave back are the first this one binds: an application that
    // has not caught up with the keymap being put back would read them with it.
    if (m_typingEndedAt) {
        const std::chrono::nanoseconds left =
            *m_typingEndedAt + UnicodeTyper::settle - m_clock.uptime();
        if (left > std::chrono::nanoseconds::zero()) {
            co_await Async::sleep(m_clock, left);
        }
    }
    const bool typed =
        co_await UnicodeTyper::type(m_keyboard, m_clock, std::move(text), context.cancellation);
    m_typingEndedAt = m_clock.uptime();
    co_return typed;
}
