#pragma once

#include "Base/CancellationToken.h"
#include "Base/Clock.h"
#include "Platform/SyntheticKeyboard.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <QCoro/QCoroTask>

#include <chrono>

// Inserts a text by typing it: a short run of characters at a time, Return between lines. It
// never touches the clipboard.
//
// Characters that have no key in the user's layout are typed through spare keys bound to them
// for the moment. A key bound to a new character while the application has not yet read the
// previous press of that key would type the new character twice, so a used key gets another
// character only after a settling pause, and the keymap is put back the same way.
namespace UnicodeTyper {

// At most this many UTF-16 code units per run; a surrogate pair is never split.
constexpr qsizetype chunkUnits = 20;
// Pause after each run and after each Return.
constexpr std::chrono::milliseconds pause {3};
// Time a spare key needs after its last character before it is given another one, and before
// the keymap is put back.
constexpr std::chrono::milliseconds settle {100};

// Types the whole text. False, with nothing typed, when synthetic keys cannot be sent, when a
// modifier key is still held after ModifierRelease's wait, or when the layout cannot be read.
// A character that cannot be typed is skipped. Waits on the clock; never blocks the thread.
//
// A cancellation stops the typing before the next character (what is typed stays) and gives
// false; the keymap is put back all the same, after its settling pause. Runs must not overlap:
// a second run would rebind the first one's keys (TextInserter takes turns).
QCoro::Task<bool> type(SyntheticKeyboard &keyboard, Clock &clock, QString text,
                       CancellationToken cancellation = CancellationToken());

// The text's lines: every newline (line feed, vertical tab, form feed, carriage return, a
// carriage return with its line feed, U+0085, U+2028, U+2029) ends one; n newlines give n + 1
// lines, empty ones included.
QStringList lines(const QString &text);

// The runs one line is typed in.
QStringList chunks(const QString &line);

} // namespace UnicodeTyper
