#pragma once

#include "Platform/AccessibilityElement.h"
#include "Platform/FrontmostApplication.h"

#include <QString>

#include <memory>
#include <optional>

// The desktop's accessibility service: what other applications expose of their windows and
// focused elements. Each request waits a limited time for the other application; a request that
// fails gives nothing.
class Accessibility
{
public:
    virtual ~Accessibility() = default;

    // Whether other applications can be read at all (the service is running and switched on).
    virtual bool isTrusted() = 0;
    // Asks an application that builds its accessibility tree only on demand (Chromium and
    // Electron) to build it. The result is not reported.
    virtual void requestAccessibilityTree(const FrontmostApplication &application) = 0;
    // The title of the application's focused window.
    virtual std::optional<QString> focusedWindowTitle(const FrontmostApplication &application) = 0;
    // The element that has the keyboard focus, looked for first in `application` when one is
    // given, else anywhere on the desktop.
    virtual std::unique_ptr<AccessibilityElement>
    focusedElement(const std::optional<FrontmostApplication> &application) = 0;
    // Whether a request so far went unanswered for lack of time: the other application let it
    // time out, or the time this object was given had run out. What was not found may then exist.
    virtual bool timedOut() = 0;
};
