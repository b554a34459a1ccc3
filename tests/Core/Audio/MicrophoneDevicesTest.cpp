#include "Core/Audio/MicrophoneDevices.h"

#include "Base/ManualClock.h"
#include "Base/Timer.h"
#include "Fakes/FakeAudioHardware.h"
#include "TestSupport/QtPrinters.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSignalSpy>

using namespace std::chrono_literals;

namespace {

using Device = AudioHardware::Device;

const Device builtIn {QStringLiteral("alsa_input.pci.analog-stereo"),
                      QStringLiteral("Built-in Audio Analog Stereo"), 2};
const Device headset {QStringLiteral("bluez_source.headset"), QStringLiteral("Headset"), 1};
const Device speakers {QStringLiteral("alsa_output.pci.analog-stereo"),
                       QStringLiteral("Built-in Audio Speakers"), 0};

class MicrophoneDevicesTest : public ::testing::Test
{
protected:
    FakeAudioHardware m_hardware;
    ManualClock m_clock;
};

TEST_F(MicrophoneDevicesTest, ListsInputDevicesInOrder)
{
    m_hardware.setDevices({speakers,
                           headset,
                           {QString(), QStringLiteral("No uid"), 2},
                           builtIn,
                           {QStringLiteral("unnamed"), QString(), 1}});
    MicrophoneDevices devices(m_hardware, m_clock);
    // Neither a device without uid nor one without a name is listed.
    EXPECT_EQ(devices.devices(),
              (QList<AudioInputDevice> {{headset.uid, headset.name}, {builtIn.uid, builtIn.name}}));
    // A nameless device is still found by its uid, so a stored choice keeps working.
    EXPECT_EQ(MicrophoneDevices::deviceID(QStringLiteral("unnamed"), m_hardware),
              QStringLiteral("unnamed"));
}

TEST_F(MicrophoneDevicesTest, PollSeesDevicesComeAndGoAndNotifiesOnlyOnChange)
{
    m_hardware.setDevices({builtIn});
    MicrophoneDevices devices(m_hardware, m_clock);
    QSignalSpy changed(&devices, &MicrophoneDevices::devicesChanged);

    // The sound system says nothing; the next poll finds the new device.
    m_hardware.setDevices({builtIn, headset});
    m_clock.advance(MicrophoneDevices::pollInterval - 1ms);
    EXPECT_EQ(devices.devices().size(), 1);
    m_clock.advance(1ms);
    EXPECT_EQ(devices.devices(),
              (QList<AudioInputDevice> {{builtIn.uid, builtIn.name}, {headset.uid, headset.name}}));
    EXPECT_EQ(changed.count(), 1);

    // Polls that find the same list stay quiet.
    const int readsBefore = m_hardware.reads();
    m_clock.advance(MicrophoneDevices::pollInterval * 5);
    EXPECT_EQ(m_hardware.reads(), readsBefore + 5);
    EXPECT_EQ(changed.count(), 1);

    // A renamed device is a change.
    m_hardware.setDevices({builtIn, {headset.uid, QStringLiteral("Headset (HFP)"), 1}});
    devices.refresh();
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(devices.devices().last().name, QStringLiteral("Headset (HFP)"));

    // Unplugged.
    m_hardware.setDevices({builtIn});
    m_clock.advance(MicrophoneDevices::pollInterval);
    EXPECT_EQ(devices.devices(), (QList<AudioInputDevice> {{builtIn.uid, builtIn.name}}));
    EXPECT_EQ(changed.count(), 3);
}

TEST_F(MicrophoneDevicesTest, FollowsTheSoundSystemsChangeReport)
{
    MicrophoneDevices devices(m_hardware, m_clock);
    QSignalSpy changed(&devices, &MicrophoneDevices::devicesChanged);
    m_hardware.setDevices({headset}, true);
    QCoreApplication::processEvents(); // the report is handled on the object's thread
    EXPECT_EQ(devices.devices(), (QList<AudioInputDevice> {{headset.uid, headset.name}}));
    EXPECT_EQ(changed.count(), 1);
    // A report without a change notifies nobody.
    m_hardware.setDevices({headset}, true);
    QCoreApplication::processEvents();
    EXPECT_EQ(changed.count(), 1);
}

TEST_F(MicrophoneDevicesTest, DeviceIDLooksAtEveryDevice)
{
    m_hardware.setDevices({builtIn, speakers});
    EXPECT_EQ(MicrophoneDevices::deviceID(builtIn.uid, m_hardware), builtIn.uid);
    EXPECT_EQ(MicrophoneDevices::deviceID(speakers.uid, m_hardware), speakers.uid);
    EXPECT_EQ(MicrophoneDevices::deviceID(headset.uid, m_hardware), std::nullopt);
    // Exact match only.
    EXPECT_EQ(MicrophoneDevices::deviceID(builtIn.uid.toUpper(), m_hardware), std::nullopt);
    m_hardware.setDevices({});
    EXPECT_EQ(MicrophoneDevices::deviceID(builtIn.uid, m_hardware), std::nullopt);
}

TEST_F(MicrophoneDevicesTest, InputDeviceName)
{
    m_hardware.setDevices({builtIn, headset});
    m_hardware.setDefaultInput(builtIn.uid);
    struct Case
    {
        const char *what;
        std::optional<QString> uid;
        std::optional<QString> expected;
    };
    const Case cases[] = {
        {"the named device", headset.uid, headset.name},
        {"no uid: the default input", std::nullopt, builtIn.name},
        {"an unknown uid: the default input", QStringLiteral("gone"), builtIn.name},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(MicrophoneDevices::inputDeviceName(c.uid, m_hardware), c.expected);
    }
    m_hardware.setDefaultInput(std::nullopt);
    EXPECT_EQ(MicrophoneDevices::inputDeviceName(std::nullopt, m_hardware), std::nullopt);
    // A device without a name has no name to give, not the default input's.
    const Device unnamed {QStringLiteral("unnamed"), QString(), 1};
    m_hardware.setDevices({builtIn, unnamed});
    m_hardware.setDefaultInput(builtIn.uid);
    EXPECT_EQ(MicrophoneDevices::inputDeviceName(unnamed.uid, m_hardware), std::nullopt);
    m_hardware.setDefaultInput(unnamed.uid);
    EXPECT_EQ(MicrophoneDevices::inputDeviceName(std::nullopt, m_hardware), std::nullopt);
    EXPECT_EQ(MicrophoneDevices::inputDeviceName(QStringLiteral("gone"), m_hardware), std::nullopt);
}

} // namespace
