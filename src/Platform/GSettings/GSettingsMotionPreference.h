#pragma once

#include "Platform/MotionPreference.h"

// The desktop's animation switch in GSettings ("enable-animations" of
// "org.gnome.desktop.interface", which GNOME, Cinnamon, MATE and the GTK settings tools write):
// animations switched off means reduce motion. Without that schema (no such desktop installed)
// motion is not reduced.
class GSettingsMotionPreference final : public MotionPreference
{
public:
    bool reduceMotion() override;
};
