#include "Core/Permissions.h"

#include "Base/Clock.h"
#include "Base/SharedTask.h"
#include "Core/DebugLog.h"
#include "Platform/Linux/LinuxPermissionSystem.h"

#include <QCoreApplication>
#include <QObject>
#include <QPointer>
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
    // The last answer of the bus, from a blocking read or not.
    bool knownAccessibility = false;
    // The read without waiting that is out, or the last one, finished.
    SharedTask<bool> accessibilityRead;
};

State *g_testState = nullptr;
// Changes with each test scope, so a read that outlives its scope leaves the next one alone.
quint64 g_stateGeneration = 0;

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

// One read of the switch without waiting; its answer becomes the known one, unless the state it
// was asked for is gone by then.
QCoro::Task<bool> askAccessibilityBus(State *s)
{
    const auto askedAt = s->clock->uptime();
    const quint64 generation = g_stateGeneration;
    const bool enabled = (co_await s->system->readAccessibilityBusEnabled()).value_or(false);
    if (generation == g_stateGeneration) {
        s->accessibilityBus.value = enabled;
        s->accessibilityBus.readAt = askedAt;
        s->knownAccessibility = enabled;
    }
    co_return enabled;
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
    s.knownAccessibility = s.accessibilityBus.get(
        *s.clock, [&s] { return s.system->accessibilityBusEnabled().value_or(false); });
    return s.knownAccessibility;
}

bool Permissions::knownAccessibility()
{
    State &s = state();
    return displayUsable(s) && s.knownAccessibility;
}

QCoro::Task<bool> Permissions::readAccessibility()
{
    State *s = &state();
    if (!displayUsable(*s)) {
        co_return false;
    }
    const Cached &bus = s->accessibilityBus;
    if (bus.value && s->clock->uptime() - bus.readAt < Permissions::recheckInterval) {
        co_return s->knownAccessibility;
    }
    if (!s->accessibilityRead.isValid() || s->accessibilityRead.isDone()) {
        s->accessibilityRead = SharedTask<bool>(askAccessibilityBus(s));
    }
    // A copy: the state may go with its test scope while this waits.
    const SharedTask<bool> read = s->accessibilityRead;
    co_return co_await read;
}

void Permissions::readAccessibility(QObject *context, std::function<void(bool)> answered)
{
    QCoro::connect(readAccessibility(), context, std::move(answered));
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
    ++g_stateGeneration;
}

Permissions::TestScope::~TestScope()
{
    delete g_testState;
    g_testState = nullptr;
    ++g_stateGeneration;
}
