#pragma once

#include "Platform/FrontmostApplication.h"

#include <optional>

// Tells which application is in front: the owner of the window that has the focus.
class FrontmostApplicationSource
{
public:
    virtual ~FrontmostApplicationSource() = default;

    // Nothing when no window is active (or the display cannot be reached). May block briefly;
    // safe to call from any thread.
    virtual std::optional<FrontmostApplication> frontmostApplication() = 0;
};
