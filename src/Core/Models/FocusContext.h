#pragma once

#include <QMetaType>
#include <QString>

#include <optional>

// A snapshot of the focused element of the frontmost application, taken at the start of a session.
// Every field but isSecureField may be absent. When isSecureField is true the field's text is not
// read.
struct FocusContext
{
    std::optional<QString> appName; // display name of the frontmost application
    std::optional<QString> bundleID; // its application identifier
    std::optional<QString> windowTitle; // title of its focused window
    bool isSecureField = false; // the focused element is a password field
    std::optional<QString> fieldText; // the beginning of the field's text
    // The end of the field's text; present only when the text is longer than fieldText holds.
    std::optional<QString> fieldTextTail;
    std::optional<QString> selectedText;
    std::optional<qint64> caretLocation; // start of the selected range in the field's text
};

Q_DECLARE_METATYPE(FocusContext)
