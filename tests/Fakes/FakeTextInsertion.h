#pragma once

#include "Core/Insertion/TextInsertion.h"

#include <QStringList>

#include <functional>

// Records what the pipeline asks of the insertion layer: "snapshot", "paste <text> restore=<b>
// delay=<ms> snapshot=<b>", "type <text>" and "clipboard <text>"; reads begun ahead at key down
// are counted apart. Pasting and typing succeed unless told otherwise.
class FakeTextInsertion final : public TextInsertion
{
public:
    void readClipboardAhead() override { ++readsAhead; }

    PasteInserter::SnapshotTask beginSnapshot() override
    {
        calls << QStringLiteral("snapshot");
        return PasteInserter::SnapshotTask(emptySnapshot());
    }

    QCoro::Task<bool> paste(QString text, bool restoreClipboard, int restoreDelayMs,
                            std::optional<PasteInserter::SnapshotTask> snapshot,
                            SessionContext session) override
    {
        calls << QStringLiteral("paste %1 restore=%2 delay=%3 snapshot=%4")
                     .arg(text)
                     .arg(restoreClipboard ? "true" : "false")
                     .arg(restoreDelayMs)
                     .arg(snapshot ? "true" : "false");
        lastSession = session;
        co_return pasteResult;
    }

    QCoro::Task<bool> type(QString text, SessionContext session) override
    {
        calls << QStringLiteral("type ") + text;
        lastSession = session;
        if (onType) {
            onType();
        }
        co_return typeResult;
    }

    void putOnClipboard(const QString &text) override
    {
        calls << QStringLiteral("clipboard ") + text;
    }

    int readsAhead = 0;
    bool pasteResult = true;
    bool typeResult = true;
    // Runs while the text is being typed.
    std::function<void()> onType;
    QStringList calls;
    std::optional<SessionContext> lastSession;

private:
    static QCoro::Task<std::optional<Pasteboard::Snapshot>> emptySnapshot()
    {
        co_return Pasteboard::Snapshot {};
    }
};
