#pragma once

#include <QString>

// Plays one of the application's short session sounds by name: "Pop" (recording starts), "Blow"
// (recording stops), "Bottle" (cancelled) and "Basso" (failed). Returns at once; a sound that
// cannot be played is skipped silently. Main thread.
class SoundPlayer
{
public:
    virtual ~SoundPlayer() = default;

    virtual void play(const QString &name) = 0;
};
