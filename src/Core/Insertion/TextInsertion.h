#pragma once

#include "Base/SessionContext.h"
#include "Core/Insertion/PasteInserter.h"

#include <QString>

#include <QCoro/QCoroTask>

#include <optional>

// What the dictation pipeline needs of the insertion layer: saving the clipboard at key release,
// the two ways of inserting the final text, and leaving a text on the clipboard when typing it
// failed. Main thread; the operations never block it. Insertions take turns (see TextInserter).
class TextInsertion
{
public:
    virtual ~TextInsertion() = default;

    // Starts reading the clipboard at key down; see PasteInserter::readAhead.
    virtual void readClipboardAhead() = 0;
    // Starts saving the clipboard now; see PasteInserter::beginSnapshot.
    virtual PasteInserter::SnapshotTask beginSnapshot() = 0;
    // By clipboard and paste shortcut: true when the paste was sent; see PasteInserter::insert.
    virtual QCoro::Task<bool> paste(QString text, bool restoreClipboard, int restoreDelayMs,
                                    std::optional<PasteInserter::SnapshotTask> snapshot,
                                    SessionContext session) = 0;
    // As typed keys: false, with nothing typed, when synthetic keys cannot be sent; false too
    // when the session's cancellation stopped the typing (what was typed stays).
    virtual QCoro::Task<bool> type(QString text, SessionContext session) = 0;
    // Empties the clipboard and puts the text on it as plain text.
    virtual void putOnClipboard(const QString &text) = 0;
};
