#include "Core/Insertion/SystemTextInsertion.h"

#include "Core/Insertion/TextInserter.h"
#include "Platform/Pasteboard.h"

void SystemTextInsertion::readClipboardAhead()
{
    TextInserter::shared().readClipboardAhead();
}

PasteInserter::SnapshotTask SystemTextInsertion::beginSnapshot()
{
    return TextInserter::shared().beginSnapshot();
}

QCoro::Task<bool> SystemTextInsertion::paste(QString text, bool restoreClipboard,
                                             int restoreDelayMs,
                                             std::optional<PasteInserter::SnapshotTask> snapshot,
                                             SessionContext session)
{
    return TextInserter::shared().paste(std::move(text), restoreClipboard, restoreDelayMs,
                                        std::move(snapshot), std::move(session));
}

QCoro::Task<bool> SystemTextInsertion::type(QString text, SessionContext session)
{
    return TextInserter::shared().type(std::move(text), std::move(session));
}

void SystemTextInsertion::putOnClipboard(const QString &text)
{
    Pasteboard &pasteboard = TextInserter::shared().services().pasteboard;
    pasteboard.clearContents();
    pasteboard.writeItems({{{Pasteboard::plainTextType, text.toUtf8()}}});
}
