#pragma once

#include <QString>

// Terminal emulators take Control+V as a character for the shell and paste the clipboard with
// Control+Shift+V. They are known by their windows' WM_CLASS.
namespace TerminalWindowClass {

// Whether a window with this WM_CLASS instance and class name is a terminal emulator that pastes
// with Control+Shift+V (compared without regard to case).
bool isTerminal(const QString &instanceName, const QString &className);

} // namespace TerminalWindowClass
