#include "Core/Insertion/TextInserter.h"

#include "Core/Insertion/UnicodeTyper.h"
#include "Platform/X11/X11Keyboard.h"
#include "Platform/X11/X11Pasteboard.h"

TextInserter &TextInserter::shared()
{
    // Never destroyed: a restore may still be pending at exit, and the clipboard thread must not
    // be torn down after the application object is gone.
    static TextInserter *const inserter = new TextInserter;
    return *inserter;
}

TextInserter::TextInserter()
    : m_pasteboard(std::make_unique<X11Pasteboard>())
    , m_keyboard(std::make_unique<X11Keyboard>())
{ }

TextInserter::~TextInserter() = default;

PasteInserter::Services TextInserter::services()
{
    return {*m_pasteboard, *m_keyboard, Clock::system(), m_clipboardState};
}

void TextInserter::readClipboardAhead()
{
    PasteInserter::readAhead(services());
}

PasteInserter::SnapshotTask TextInserter::beginSnapshot()
{
    return PasteInserter::beginSnapshot(services());
}

QCoro::Task<bool> TextInserter::paste(QString text, bool restoreClipboard, int restoreDelayMs,
                                      std::optional<PasteInserter::SnapshotTask> snapshot,
                                      SessionContext context)
{
    return PasteInserter::insert(services(), std::move(text), restoreClipboard, restoreDelayMs,
                                 std::move(snapshot), std::move(context));
}

QCoro::Task<bool> TextInserter::type(QString text)
{
    return UnicodeTyper::type(*m_keyboard, Clock::system(), std::move(text));
}
