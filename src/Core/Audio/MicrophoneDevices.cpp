#include "Core/Audio/MicrophoneDevices.h"

#include "Base/Timer.h"

MicrophoneDevices::MicrophoneDevices(AudioHardware &hardware, Clock &clock, QObject *parent)
    : QObject(parent)
    , m_hardware(hardware)
    , m_pollTimer(clock.makeTimer())
    , m_devices(listInputDevices(hardware))
{
    connect(&m_hardware, &AudioHardware::devicesChanged, this, &MicrophoneDevices::refresh,
            Qt::QueuedConnection);
    connect(m_pollTimer.get(), &Timer::timeout, this, &MicrophoneDevices::refresh);
    m_pollTimer->start(pollInterval, true, std::chrono::milliseconds(200));
}

MicrophoneDevices::~MicrophoneDevices() = default;

MicrophoneDevices &MicrophoneDevices::shared()
{
    static MicrophoneDevices *instance = new MicrophoneDevices; // lives as long as the process
    return *instance;
}

void MicrophoneDevices::refresh()
{
    QList<AudioInputDevice> current = listInputDevices(m_hardware);
    if (current == m_devices) {
        return;
    }
    m_devices = std::move(current);
    Q_EMIT devicesChanged();
}

QList<AudioInputDevice> MicrophoneDevices::listInputDevices(const AudioHardware &hardware)
{
    QList<AudioInputDevice> result;
    for (const AudioHardware::Device &device : hardware.devices()) {
        // A device without a name could only be shown as an empty menu entry.
        if (device.inputChannels > 0 && !device.uid.isEmpty() && !device.name.isEmpty()) {
            result << AudioInputDevice {device.uid, device.name};
        }
    }
    return result;
}

std::optional<QString> MicrophoneDevices::deviceID(const QString &uid,
                                                   const AudioHardware &hardware)
{
    for (const AudioHardware::Device &device : hardware.devices()) {
        if (device.uid == uid) {
            return device.uid;
        }
    }
    return std::nullopt;
}

std::optional<QString> MicrophoneDevices::inputDeviceName(const std::optional<QString> &uid,
                                                          const AudioHardware &hardware)
{
    const QList<AudioHardware::Device> devices = hardware.devices();
    const auto find = [&devices](const QString &wanted) -> const AudioHardware::Device * {
        for (const AudioHardware::Device &device : devices) {
            if (device.uid == wanted) {
                return &device;
            }
        }
        return nullptr;
    };
    const AudioHardware::Device *device = uid ? find(*uid) : nullptr;
    if (!device) {
        if (const auto defaultUID = hardware.defaultInputUID()) {
            device = find(*defaultUID);
        }
    }
    if (!device || device->name.isEmpty()) {
        return std::nullopt;
    }
    return device->name;
}
