#pragma once

#include "Platform/AudioHardware.h"

#include <mutex>

// A device list the test writes; setDevices() can announce the change the way a sound system that
// reports changes would, or stay silent like one that does not. Reads are counted.
class FakeAudioHardware final : public AudioHardware
{
public:
    QList<Device> devices() const override
    {
        std::lock_guard guard(m_lock);
        ++m_reads;
        return m_devices;
    }
    std::optional<QString> defaultInputUID() const override
    {
        std::lock_guard guard(m_lock);
        return m_default;
    }

    void setDevices(QList<Device> devices, bool announce = false)
    {
        {
            std::lock_guard guard(m_lock);
            m_devices = std::move(devices);
        }
        if (announce) {
            Q_EMIT devicesChanged();
        }
    }
    void setDefaultInput(std::optional<QString> uid)
    {
        std::lock_guard guard(m_lock);
        m_default = std::move(uid);
    }
    int reads() const
    {
        std::lock_guard guard(m_lock);
        return m_reads;
    }

private:
    mutable std::mutex m_lock;
    QList<Device> m_devices;
    std::optional<QString> m_default;
    mutable int m_reads = 0;
};
