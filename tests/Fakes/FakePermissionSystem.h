#pragma once

#include "Fakes/ManualGate.h"
#include "Platform/PermissionSystem.h"

#include <QList>

// A desktop session as the test describes it, counting how often each fact is asked.
class FakePermissionSystem final : public PermissionSystem
{
public:
    DisplayServer displayServer() override
    {
        ++displayServerCalls;
        return display;
    }
    bool hasInputExtensions(QString &reason) override
    {
        ++extensionCalls;
        reason = extensionsMissing;
        return extensionsMissing.isEmpty();
    }
    std::optional<bool> accessibilityBusEnabled() override
    {
        ++busReads;
        return busEnabled;
    }
    QCoro::Task<std::optional<bool>> readAccessibilityBusEnabled() override
    {
        ++busAsyncReads;
        if (holdBusReads) {
            co_await busAnswers.wait();
        }
        co_return busEnabled;
    }
    bool enableAccessibilityBus() override
    {
        ++busEnables;
        if (busAcceptsEnable) {
            busEnabled = true;
        }
        return busAcceptsEnable;
    }
    bool speechModelInstalled() override
    {
        ++modelChecks;
        return modelInstalled;
    }
    bool openSettings(SettingsPane pane) override
    {
        openedPanes.append(pane);
        return settingsFound;
    }

    DisplayServer display = DisplayServer::x11;
    // Empty: XTest and XInput 2 are there.
    QString extensionsMissing;
    std::optional<bool> busEnabled = true;
    bool busAcceptsEnable = true;
    bool modelInstalled = true;
    bool settingsFound = true;
    // While set, a read without waiting gets its answer only when `busAnswers` opens.
    bool holdBusReads = false;
    ManualGate busAnswers;

    int displayServerCalls = 0;
    int extensionCalls = 0;
    int busReads = 0;
    int busAsyncReads = 0;
    int busEnables = 0;
    int modelChecks = 0;
    QList<SettingsPane> openedPanes;
};
