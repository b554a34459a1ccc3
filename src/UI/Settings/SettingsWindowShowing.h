#pragma once

#include "UI/Settings/SettingsTab.h"

#include <optional>

// The settings window as others open it. Implemented by the settings window's controller; main
// thread; never fails.
class SettingsWindowShowing
{
public:
    virtual ~SettingsWindowShowing() = default;

    // Selects `tab` first when one is given (none: the window keeps the tab it shows), makes the
    // window on first use, then activates the application and brings the window to the front.
    virtual void show(std::optional<SettingsTab> tab) = 0;
};
