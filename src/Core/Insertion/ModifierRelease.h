#pragma once

#include "Base/CancellationToken.h"
#include "Base/Clock.h"
#include "Platform/SyntheticKeyboard.h"

#include <QCoro/QCoroTask>

#include <chrono>

// Synthetic keys mix with the keys the user holds: Control+V sent while Super is down becomes
// Super+Control+V, and typed letters become shortcuts. The inserters therefore send nothing while
// a modifier is down, and give the user a moment to let go first (the dictation key itself is
// often a modifier, released just before).
namespace ModifierRelease {

// How often the keyboard is looked at, and for how long at most.
constexpr std::chrono::milliseconds pollInterval {20};
constexpr std::chrono::milliseconds timeout {1000};

// True as soon as no modifier is held (at once when none is), false when one is still held
// after `timeout` or when `cancellation` ends the wait first.
QCoro::Task<bool> waitForRelease(SyntheticKeyboard &keyboard, Clock &clock,
                                 CancellationToken cancellation = CancellationToken());

} // namespace ModifierRelease
