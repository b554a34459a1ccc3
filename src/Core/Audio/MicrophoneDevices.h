#pragma once

#include "Base/Clock.h"
#include "Core/Audio/AudioInputDevice.h"
#include "Platform/AudioHardware.h"

#include <QList>
#include <QObject>

#include <chrono>
#include <memory>
#include <optional>

class Timer;

// The machine's audio input devices, kept current while devices come and go, and the lookups the
// capture needs (is a stored device still there, what is a device called).
//
// The list follows the sound system's change reports and, since not every sound system reports
// changes, looks again every pollInterval; subscribers hear of a change only when the list really
// changed. `devices` and refresh() belong to the main thread; the static lookups may be called
// from any thread.
class MicrophoneDevices : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QList<AudioInputDevice> devices READ devices NOTIFY devicesChanged)

public:
    static constexpr std::chrono::seconds pollInterval {2};

    // Lists the devices now and starts following them. Both must outlive the object.
    explicit MicrophoneDevices(AudioHardware &hardware = AudioHardware::system(),
                               Clock &clock = Clock::system(), QObject *parent = nullptr);
    ~MicrophoneDevices() override;

    // The process-wide instance on the system's sound server, made on first use (main thread).
    static MicrophoneDevices &shared();

    // The input devices, in the sound system's order.
    QList<AudioInputDevice> devices() const { return m_devices; }

    // Lists the devices again and publishes the list when it differs from the current one.
    void refresh();

    // The device identifier to open for a stored uid; absent when no device has that uid.
    static std::optional<QString> deviceID(const QString &uid,
                                           const AudioHardware &hardware = AudioHardware::system());
    // The name of the device with this uid, or of the default input when no uid is given or none
    // has it; absent when neither is found or the device has no name.
    static std::optional<QString>
    inputDeviceName(const std::optional<QString> &uid,
                    const AudioHardware &hardware = AudioHardware::system());

    // The devices with input channels, a uid and a name.
    static QList<AudioInputDevice> listInputDevices(const AudioHardware &hardware);

Q_SIGNALS:
    void devicesChanged();

private:
    AudioHardware &m_hardware;
    std::unique_ptr<Timer> m_pollTimer;
    QList<AudioInputDevice> m_devices;
};
