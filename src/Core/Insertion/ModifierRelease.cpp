#include "Core/Insertion/ModifierRelease.h"

#include "Base/Async.h"

namespace ModifierRelease {

QCoro::Task<bool> waitForRelease(SyntheticKeyboard &keyboard, Clock &clock)
{
    const auto deadline = clock.uptime() + timeout;
    while (keyboard.isModifierHeld()) {
        if (clock.uptime() >= deadline) {
            co_return false;
        }
        co_await Async::sleep(clock, pollInterval);
    }
    co_return true;
}

} // namespace ModifierRelease
