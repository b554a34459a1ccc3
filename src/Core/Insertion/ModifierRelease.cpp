#include "Core/Insertion/ModifierRelease.h"

#include "Base/Async.h"

namespace ModifierRelease {

QCoro::Task<bool> waitForRelease(SyntheticKeyboard &keyboard, Clock &clock,
                                 CancellationToken cancellation)
{
    const auto deadline = clock.uptime() + timeout;
    while (keyboard.isModifierHeld()) {
        if (clock.uptime() >= deadline || cancellation.isCancelled()) {
            co_return false;
        }
        co_await Async::sleep(clock, pollInterval);
    }
    co_return !cancellation.isCancelled();
}

} // namespace ModifierRelease
