#include "Platform/Qt/SynthesizedSoundPlayer.h"

#include "Base/BoundedFile.h"
#include "Core/DebugLog.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QSoundEffect>
#include <QStandardPaths>
#include <QUrl>
#include <QtEndian>

#include <cmath>
#include <numbers>
#include <vector>

namespace {

constexpr int sampleRate = 44100;

struct Note
{
    double startHz;
    double endHz;
    double seconds;
};

// Each sound is one or two short glides; the envelope keeps the edges click-free.
std::vector<Note> notesOf(const QString &name)
{
    if (name == u"Pop") {
        return {{880, 1320, 0.07}};
    }
    if (name == u"Blow") {
        return {{1100, 660, 0.09}};
    }
    if (name == u"Bottle") {
        return {{520, 520, 0.06}, {390, 390, 0.08}};
    }
    if (name == u"Basso") {
        return {{196, 150, 0.22}};
    }
    return {};
}

void appendLittleEndian(QByteArray &out, quint32 value, int bytes)
{
    for (int i = 0; i < bytes; ++i) {
        out.append(char((value >> (8 * i)) & 0xff));
    }
}

} // namespace

QByteArray SynthesizedSoundPlayer::wavData(const QString &name)
{
    const std::vector<Note> notes = notesOf(name);
    if (notes.empty()) {
        return {};
    }
    std::vector<qint16> samples;
    for (const Note &note : notes) {
        const int count = int(note.seconds * sampleRate);
        double phase = 0;
        for (int i = 0; i < count; ++i) {
            const double t = double(i) / count;
            const double hz = note.startHz + (note.endHz - note.startHz) * t;
            phase += 2 * std::numbers::pi * hz / sampleRate;
            // 5 ms attack, exponential decay to the end.
            const double attack = std::min(1.0, i / (0.005 * sampleRate));
            const double envelope = attack * std::exp(-4.0 * t);
            samples.push_back(qint16(std::lround(0.35 * 32767 * envelope * std::sin(phase))));
        }
    }
    QByteArray wav;
    const quint32 dataBytes = quint32(samples.size() * 2);
    wav.append("RIFF");
    appendLittleEndian(wav, 36 + dataBytes, 4);
    wav.append("WAVEfmt ");
    appendLittleEndian(wav, 16, 4);
    appendLittleEndian(wav, 1, 2); // PCM
    appendLittleEndian(wav, 1, 2); // mono
    appendLittleEndian(wav, sampleRate, 4);
    appendLittleEndian(wav, sampleRate * 2, 4);
    appendLittleEndian(wav, 2, 2);
    appendLittleEndian(wav, 16, 2);
    wav.append("data");
    appendLittleEndian(wav, dataBytes, 4);
    for (const qint16 sample : samples) {
        appendLittleEndian(wav, quint16(sample), 2);
    }
    return wav;
}

SynthesizedSoundPlayer::SynthesizedSoundPlayer()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
        + QStringLiteral("/sonorvelle/sounds");
    QDir().mkpath(folder);
    for (const QString &name : {QStringLiteral("Pop"), QStringLiteral("Blow"),
                                QStringLiteral("Bottle"), QStringLiteral("Basso")}) {
        const QString path = folder + QLatin1Char('/') + name + QStringLiteral(".wav");
        const QByteArray data = wavData(name);
        if (BoundedFile::read(path, data.size()).bytes != data) {
            QSaveFile file(path);
            if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size()
                || !file.commit()) {
                DebugLog::log(QStringLiteral("sound: cannot write %1").arg(path));
                continue;
            }
        }
        auto *effect = new QSoundEffect();
        effect->setSource(QUrl::fromLocalFile(path));
        m_effects.insert(name, effect);
    }
}

SynthesizedSoundPlayer::~SynthesizedSoundPlayer()
{
    qDeleteAll(m_effects);
}

void SynthesizedSoundPlayer::play(const QString &name)
{
    if (QSoundEffect *effect = m_effects.value(name)) {
        effect->play();
    }
}
