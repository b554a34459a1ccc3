#pragma once

#include "Platform/SoundPlayer.h"

#include <QStringList>

// Records the names of the sounds played, in order.
class FakeSoundPlayer final : public SoundPlayer
{
public:
    void play(const QString &name) override { played << name; }

    QStringList played;
};
