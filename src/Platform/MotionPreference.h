#pragma once

// The desktop's accessibility preference for less motion on screen: when it is on, the
// application shows still pictures instead of looping animations.
class MotionPreference
{
public:
    virtual ~MotionPreference() = default;

    // Asked each time an animation would start; cheap enough for that.
    virtual bool reduceMotion() = 0;

    // The desktop's own setting.
    static MotionPreference &system();
};
