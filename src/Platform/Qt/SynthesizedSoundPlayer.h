#pragma once

#include "Platform/SoundPlayer.h"

#include <QHash>
#include <QString>

class QSoundEffect;

// The four session sounds, made by the application itself (short tones with a soft envelope,
// written once as WAV files into the cache folder) and played with QSoundEffect.
class SynthesizedSoundPlayer final : public SoundPlayer
{
public:
    SynthesizedSoundPlayer();
    ~SynthesizedSoundPlayer() override;

    void play(const QString &name) override;

    // The WAV file of a sound: 16-bit mono PCM at 44.1 kHz. Empty for an unknown name.
    static QByteArray wavData(const QString &name);

private:
    QHash<QString, QSoundEffect *> m_effects;
};
