#pragma once

#include "Core/Audio/MicrophoneDevices.h"
#include "Core/DictationRig.h"
#include "Core/Hotkey/HotkeyLayout.h"
#include "Core/Permissions.h"
#include "Fakes/FakeAudioHardware.h"
#include "Fakes/FakePasteboard.h"
#include "Fakes/FakePermissionSystem.h"
#include "Support/L10n.h"
#include "UI/Settings/SettingsWindowShowing.h"
#include "UI/StatusItem/StatusMenuModel.h"

#include <QCoro/QCoroTask>
#include <QStringList>

#include <chrono>
#include <optional>

// Records the tabs the settings window was asked to show ("-" for none).
class FakeSettingsWindow final : public SettingsWindowShowing
{
public:
    void show(std::optional<SettingsTab> tab) override
    {
        shown << (tab ? RawEnum::rawValue(*tab) : QStringLiteral("-"));
    }

    QStringList shown;
};

// The status menu's surroundings: a real dictation controller on fakes (DictationRig), a device
// list the test writes, a recording clipboard and settings window, and permissions from a fake
// desktop session, all on the rig's manual clock. The interface speaks English.
struct StatusMenuRig
{
    StatusMenuRig()
    {
        L10n::shared().apply(QStringLiteral("en"));
        hardware.setDevices({{QStringLiteral("usb-1"), QStringLiteral("USB Microphone"), 1},
                             {QStringLiteral("builtin"), QStringLiteral("Built-in Audio"), 2}});
        microphones.refresh();
        readTrust();
    }

    ~StatusMenuRig() { L10n::shared().apply(QStringLiteral("en")); }

    StatusMenuModel::Services services()
    {
        StatusMenuModel::Services s;
        s.controller = &rig.c();
        s.settings = &rig.appSettings();
        s.history = &rig.history;
        s.microphones = &microphones;
        s.pasteboard = &pasteboard;
        s.settingsWindow = &settingsWindow;
        s.layout = &layout;
        s.showAbout = [this] {
            calls << QStringLiteral("about");
        };
        s.quit = [this] {
            calls << QStringLiteral("quit");
        };
        return s;
    }

    // Takes Accessibility trust away (or gives it back) and lets the permission cache see it.
    void setTrusted(bool trusted)
    {
        permissionSystem.busEnabled = trusted;
        rig.advance(Permissions::recheckInterval);
        readTrust();
    }

    // Asks the fake bus, as the application's permission timer does, so the answer is known.
    void readTrust() { QCoro::waitFor(Permissions::readAccessibility()); }

    void addRecord(const QString &cleanedText)
    {
        TranscriptRecord record;
        record.rawText = cleanedText;
        record.cleanedText = cleanedText;
        record.date = rig.clock.now();
        rig.history.add(record);
    }

    DictationRig rig;
    FakePermissionSystem permissionSystem;
    Permissions::TestScope permissions {permissionSystem, rig.clock};
    FakeAudioHardware hardware;
    MicrophoneDevices microphones {hardware, rig.clock};
    FakePasteboard pasteboard;
    FakeSettingsWindow settingsWindow;
    // The keys the keyboard layout keeps for typing: none, as on a US layout.
    HotkeyLayout layout;
    QStringList calls;
};
