#pragma once

#include "UI/PermissionReadout.h"

#include <QtQml/qqmlregistration.h>

#include <chrono>
#include <memory>

class Clock;
class Timer;

// The Permissions tab: the live state of each permission dictation needs, read from the
// permission layer when the tab is made and again every second while it is shown, and the
// requests behind its "Allow" buttons. The tab's model is made with the tab and goes with it.
class PermissionsTabModel : public PermissionReadout
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("made by the window")

public:
    static constexpr std::chrono::seconds refreshInterval {1};

    explicit PermissionsTabModel(Clock &clock, QObject *parent = nullptr);
    ~PermissionsTabModel() override;

private:
    std::unique_ptr<Timer> m_timer;
};
