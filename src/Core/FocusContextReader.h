#pragma once

#include "Core/Models/FocusContext.h"

#include <QString>
#include <QStringList>

#include <chrono>

class Accessibility;
class FrontmostApplicationSource;

// Takes a snapshot of where the user is about to dictate: the frontmost application, its focused
// window's title and, through the accessibility service, the focused element's text at both ends,
// its selection and caret, or the fact that it is a password field (then nothing of its content is
// read).
//
// Texts are counted in user-perceived characters. caretLocation is the start of the selection (the
// caret when nothing is selected) in Unicode scalars from the start of the field's text.
//
// Synchronous and blocking: every request to the other application waits at most one second, an
// application that lets one request time out is not asked again during the same read, and the
// whole read ends within readBudget however slowly the application answers. Keeps no state; call
// it from a background thread, never the main thread. Nothing is logged.
//
// A read that could not learn whether the focused element is a password field (the element did
// not say, or the search for it timed out) reports a password field: whoever trusts the flag keeps
// the field's content to itself.
namespace FocusContextReader {

// The window title is cut to this many characters.
constexpr qsizetype windowTitleLength = 200;

// The longest one read takes: eight requests (switching the tree on, the focused window, its
// title, the focused element, its kind, its text, its selection and its range) of one second each.
constexpr std::chrono::milliseconds readBudget {8000};

// Identifier prefixes of the application families (Chromium-based browsers, Electron applications)
// that build their accessibility tree only when asked; compared ignoring case, in this order.
const QStringList &onDemandAccessibilityPrefixes();
bool buildsAccessibilityTreeOnDemand(const QString &bundleIdentifier);

// Reads the desktop: the active window's properties and the accessibility service.
// fieldText is the first maxLength characters of the field's text, fieldTextTail its last
// maxLength characters when the text is longer; a maxLength below 1 reads no text.
FocusContext read(qint64 maxLength);

// The same through the given services.
FocusContext read(qint64 maxLength, FrontmostApplicationSource &applications,
                  Accessibility &accessibility);

} // namespace FocusContextReader
