#pragma once

#include <QHashFunctions>
#include <QMetaType>
#include <QString>

// One audio input device: `uid` identifies it across restarts and reconnections (it is what the
// "microphoneUID" setting stores), `name` is what the user sees.
struct AudioInputDevice
{
    QString uid;
    QString name;

    bool operator==(const AudioInputDevice &) const = default;
};

inline size_t qHash(const AudioInputDevice &device, size_t seed = 0) noexcept
{
    return qHashMulti(seed, device.uid, device.name);
}

Q_DECLARE_METATYPE(AudioInputDevice)
