#pragma once

#include "Core/Insertion/TextInsertion.h"

// Insertion into the desktop session through the insertion layer's shared object.
class SystemTextInsertion final : public TextInsertion
{
public:
    void readClipboardAhead() override;
    PasteInserter::SnapshotTask beginSnapshot() override;
    QCoro::Task<bool> paste(QString text, bool restoreClipboard, int restoreDelayMs,
                            std::optional<PasteInserter::SnapshotTask> snapshot,
                            SessionContext session) override;
    QCoro::Task<bool> type(QString text, SessionContext session) override;
    void putOnClipboard(const QString &text) override;
};
