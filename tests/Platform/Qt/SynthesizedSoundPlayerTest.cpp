#include "Platform/Qt/SynthesizedSoundPlayer.h"

#include <gtest/gtest.h>

#include <QtEndian>

TEST(SynthesizedSoundPlayer, EachSessionSoundIsAShortValidPcmWave)
{
    for (const char *name : {"Pop", "Blow", "Bottle", "Basso"}) {
        SCOPED_TRACE(name);
        const QByteArray wav = SynthesizedSoundPlayer::wavData(QString::fromLatin1(name));
        ASSERT_GT(wav.size(), 44);
        EXPECT_EQ(wav.left(4), QByteArray("RIFF"));
        EXPECT_EQ(wav.mid(8, 8), QByteArray("WAVEfmt "));
        EXPECT_EQ(qFromLittleEndian<quint32>(wav.constData() + 4), quint32(wav.size() - 8));
        EXPECT_EQ(qFromLittleEndian<quint32>(wav.constData() + 40), quint32(wav.size() - 44));
        const double seconds = (wav.size() - 44) / (44100.0 * 2);
        EXPECT_GT(seconds, 0.03);
        EXPECT_LT(seconds, 0.5);
        // Faded at both ends, so the sound starts and stops without a click.
        EXPECT_LT(std::abs(qFromLittleEndian<qint16>(wav.constData() + 44)), 500);
        EXPECT_LT(std::abs(qFromLittleEndian<qint16>(wav.constData() + wav.size() - 2)), 2000);
    }
    EXPECT_TRUE(SynthesizedSoundPlayer::wavData(QStringLiteral("Glass")).isEmpty());
    EXPECT_NE(SynthesizedSoundPlayer::wavData(QStringLiteral("Pop")),
              SynthesizedSoundPlayer::wavData(QStringLiteral("Basso")));
}
