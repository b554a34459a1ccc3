#include "Platform/Qt/QtAudioHardware.h"

#include <QAudioDevice>
#include <QMediaDevices>

QtAudioHardware::QtAudioHardware(QObject *parent)
    : AudioHardware(parent)
    , m_mediaDevices(new QMediaDevices(this))
{
    // Qt 6.4's PulseAudio backend keeps its list current but never sends this; other backends do.
    connect(m_mediaDevices, &QMediaDevices::audioInputsChanged, this,
            &AudioHardware::devicesChanged);
}

QtAudioHardware::~QtAudioHardware() = default;

QList<AudioHardware::Device> QtAudioHardware::devices() const
{
    QList<Device> result;
    for (const QAudioDevice &device : QMediaDevices::audioInputs()) {
        result << Device {QString::fromUtf8(device.id()), device.description(),
                          device.maximumChannelCount()};
    }
    return result;
}

std::optional<QString> QtAudioHardware::defaultInputUID() const
{
    const QAudioDevice device = QMediaDevices::defaultAudioInput();
    if (device.isNull() || device.id().isEmpty()) {
        return std::nullopt;
    }
    return QString::fromUtf8(device.id());
}

AudioHardware &AudioHardware::system()
{
    static QtAudioHardware *hardware = new QtAudioHardware; // lives as long as the process
    return *hardware;
}
