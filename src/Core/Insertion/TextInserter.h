#pragma once

#include "Base/SessionContext.h"
#include "Core/Insertion/PasteInserter.h"

#include <QString>

#include <QCoro/QCoroTask>

#include <memory>

class X11Keyboard;
class X11Pasteboard;

// The insertion layer's one shared object: the system clipboard and keyboard the inserters work
// with, and the two ways of inserting a text. Made on first use, on the main thread, and kept
// until the process ends (a clipboard restore may still be pending when a session is over).
class TextInserter
{
public:
    static TextInserter &shared();

    ~TextInserter();
    TextInserter(const TextInserter &) = delete;
    TextInserter &operator=(const TextInserter &) = delete;

    PasteInserter::Services services();

    // Starts reading the clipboard (at key down).
    void readClipboardAhead();
    // Starts saving the clipboard (at key release).
    PasteInserter::SnapshotTask beginSnapshot();

    // By clipboard and paste shortcut; see PasteInserter::insert.
    QCoro::Task<bool> paste(QString text, bool restoreClipboard, int restoreDelayMs,
                            std::optional<PasteInserter::SnapshotTask> snapshot,
                            SessionContext context);

    // As typed keys; see UnicodeTyper::type.
    QCoro::Task<bool> type(QString text);

private:
    TextInserter();

    std::unique_ptr<X11Pasteboard> m_pasteboard;
    std::unique_ptr<X11Keyboard> m_keyboard;
    PasteInserter::SharedState m_clipboardState;
};
