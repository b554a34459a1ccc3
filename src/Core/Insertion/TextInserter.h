#pragma once

#include "Base/AsyncMutex.h"
#include "Base/Clock.h"
#include "Base/SessionContext.h"
#include "Core/Insertion/PasteInserter.h"
#include "Platform/Pasteboard.h"
#include "Platform/SyntheticKeyboard.h"

#include <QString>

#include <QCoro/QCoroTask>

#include <chrono>
#include <optional>

// The insertion layer's one shared object: the system clipboard and keyboard the inserters work
// with, and the two ways of inserting a text. The system's is made on first use, on the main
// thread, and kept until the process ends (a clipboard restore may still be pending when a
// session is over).
//
// Insertions take turns: one runs at a time and the next waits until it has ended, so that a
// new session's Control+V or typing never falls into an earlier session's typing run (whose
// spare keys it would rebind). A session cancelled while it waits inserts nothing. Whatever
// happened, an insertion ends with no synthetic key left down.
class TextInserter
{
public:
    static TextInserter &shared();

    // An inserter working with these; they must outlive it and every restore it starts.
    TextInserter(Pasteboard &pasteboard, SyntheticKeyboard &keyboard, Clock &clock);

    TextInserter(const TextInserter &) = delete;
    TextInserter &operator=(const TextInserter &) = delete;

    PasteInserter::Services services();

    // Starts reading the clipboard (at key down).
    void readClipboardAhead();
    // Starts saving the clipboard (at key release).
    PasteInserter::SnapshotTask beginSnapshot();

    // By clipboard and paste shortcut; see PasteInserter::insert. False when the session was
    // cancelled before its turn came.
    QCoro::Task<bool> paste(QString text, bool restoreClipboard, int restoreDelayMs,
                            std::optional<PasteInserter::SnapshotTask> snapshot,
                            SessionContext context);

    // As typed keys, stopping before the next character when the session is cancelled; see
    // UnicodeTyper::type.
    QCoro::Task<bool> type(QString text, SessionContext context);

private:
    // The turn, or absent when the session was cancelled before it came.
    QCoro::Task<std::optional<AsyncMutex::Guard>> takeTurn(CancellationToken cancellation);

    Pasteboard &m_pasteboard;
    SyntheticKeyboard &m_keyboard;
    Clock &m_clock;
    AsyncMutex m_turn;
    // When the last typing run ended (its keymap put back).
    std::optional<std::chrono::nanoseconds> m_typingEndedAt;
    PasteInserter::SharedState m_clipboardState;
};
