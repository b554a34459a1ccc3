#pragma once

#include <QString>

#include <optional>

// One element of another application's user interface, read through the accessibility service.
// Each request may fail (the application is gone, does not answer in time, or the element has no
// such value): a failed request gives nothing.
class AccessibilityElement
{
public:
    // A stretch of the element's text, in Unicode scalars (code points) from its start.
    struct Range
    {
        qint64 location = 0;
        qint64 length = 0;
    };

    virtual ~AccessibilityElement() = default;

    // Whether the element is a password field; nothing when the element did not say (it did not
    // answer in time, or is gone).
    virtual std::optional<bool> isSecureTextField() = 0;
    // Its whole text; nothing when it holds no text (a button, a checkbox, a slider).
    virtual std::optional<QString> value() = 0;
    // The selected text; empty when nothing is selected.
    virtual std::optional<QString> selectedText() = 0;
    // The selection; when nothing is selected, an empty range at the caret.
    virtual std::optional<Range> selectedTextRange() = 0;
};
