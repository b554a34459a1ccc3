#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <optional>

// The machine's audio devices as the sound system reports them.
//
// Calls that read the devices are safe from any thread (the device list is read on the main
// thread, name lookups for a log line on a worker).
class AudioHardware : public QObject
{
    Q_OBJECT

public:
    struct Device
    {
        // Stable identifier of the device; empty when it could not be read.
        QString uid;
        // Display name.
        QString name;
        // Number of input channels; 0 for a device that only plays.
        int inputChannels = 0;
    };

    using QObject::QObject;

    // Every device, in the sound system's order.
    virtual QList<Device> devices() const = 0;
    // The uid of the system's default input device; absent when there is none.
    virtual std::optional<QString> defaultInputUID() const = 0;

    // The sound server of this desktop (Qt Multimedia). Made on first use; call that first from
    // the main thread.
    static AudioHardware &system();

Q_SIGNALS:
    // The sound system said that devices came or went. Not every sound system says so: listeners
    // must also look again from time to time.
    void devicesChanged();
};
