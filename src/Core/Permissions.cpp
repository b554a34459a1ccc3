#include "Core/Permissions.h"

#include "Base/Clock.h"
#include "Core/DebugLog.h"
#include "Platform/Linux/LinuxPermissionSystem.h"

#include <QCoreApplication>
#include <QTimer>

#include <optional>

namespace {

using DisplayServer = PermissionSystem::DisplayServer;

// A value asked again only after the recheck interval.
struct Cached
{
    std::optional<bool> value;
    std::chrono::nanoseconds readAt {0};

    template<typename Read>
    bool get(const Clock &clock, Read read)
    {
        const auto now = clock.uptime();
        if (!value || now - readAt >= Permissions::recheckInterval) {
            value = read();
            readAt = now;
        }
        return *value;
    }
};

struct State
{
    State(PermissionSystem *system, Clock *clock)
        : system(system)
        , clock(clock)
    { }

    PermissionSystem *system;
    Clock *clock;
    std::optional<bool> displayUsable;
    Cached accessibilityBus;
    Cached speechModel;
    bool didPromptAccessibility = false;
};

State *g_testState = nullptr;

State &state()
{
    if (g_testState) {
        return *g_testState;
    }
    static LinuxPermissionSystem *system = new LinuxPermissionSystem();
    static State shared(system, &Clock::system());
    return shared;
}

// Whether the display can give trust at all; asked and logged once.
bool displayUsable(State &s)
{
    if (s.displayUsable) {
        return *s.displayUsable;
    }
    switch (s.system->displayServer()) {
    case DisplayServer::wayland:
        DebugLog::log(QStringLiteral(
            "permissions: this is a Wayland session; global keys, reading the focused field and "
            "typing into other applications need an X11 session, so Accessibility is not granted"));
        s.displayUsable = false;
        break;
    case DisplayServer::none:
        DebugLog::log(QStringLiteral("permissions: no X11 display; Accessibility is not granted"));
        s.displayUsable = false;
        break;
    case DisplayServer::x11: {
        QString reason;
        s.displayUsable = s.system->hasInputExtensions(reason);
        if (!*s.displayUsable) {
            DebugLog::log(QStringLiteral("permissions: Accessibility is not granted: ") + reason);
        }
        break;
    }
    }
    return *s.displayUsable;
}

} // namespace

bool Permissions::microphoneGranted()
{
    return true;
}

void Permissions::requestMicrophone(std::function<void()> followUp)
{
    if (followUp) {
        QTimer::singleShot(0, QCoreApplication::instance(), std::move(followUp));
    }
}

bool Permissions::speechGranted()
{
    State &s = state();
    return s.speechModel.get(*s.clock, [&s] { return s.system->speechModelInstalled(); });
}

QCoro::Task<bool> Permissions::requestSpeechRecognition()
{
    co_return speechGranted();
}

bool Permissions::accessibilityGranted()
{
    State &s = state();
    if (!displayUsable(s)) {
        return false;
    }
    return s.accessibilityBus.get(
        *s.clock, [&s] { return s.system->accessibilityBusEnabled().value_or(false); });
}

void Permissions::promptAccessibility()
{
    State &s = state();
    if (s.didPromptAccessibility) {
        return;
    }
    s.didPromptAccessibility = true;
    if (!s.system->enableAccessibilityBus()) {
        DebugLog::log(QStringLiteral("permissions: the accessibility bus could not be enabled"));
    }
    // The next check sees the switch as it is now.
    s.accessibilityBus.value.reset();
}

bool Permissions::openMicrophoneSettings()
{
    if (!state().system->openSettings(PermissionSystem::SettingsPane::microphone)) {
        DebugLog::log(QStringLiteral("permissions: no sound settings program was found; choose the "
                                     "microphone in the desktop's sound settings"));
        return false;
    }
    return true;
}

bool Permissions::openAccessibilitySettings()
{
    if (!state().system->openSettings(PermissionSystem::SettingsPane::accessibility)) {
        DebugLog::log(QStringLiteral("permissions: no accessibility settings program was found; "
                                     "enable assistive technologies in the desktop's settings"));
        return false;
    }
    return true;
}

Permissions::TestScope::TestScope(PermissionSystem &system, Clock &clock)
{
    g_testState = new State(&system, &clock);
}

Permissions::TestScope::~TestScope()
{
    delete g_testState;
    g_testState = nullptr;
}
