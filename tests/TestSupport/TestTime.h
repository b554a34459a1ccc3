#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <chrono>

// The one knob for tests with real deadlines: the sanitizer run of scripts/test sets
// SONORVELLE_TEST_TIME_SCALE, because the instrumented code is several times slower; everywhere
// else it is 1. A test scales a deadline with it, never its expectations of order or count.
namespace TestTime {

inline int scale()
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue("SONORVELLE_TEST_TIME_SCALE", &ok);
    return ok && value > 1 ? value : 1;
}

template<typename Rep, typename Period>
std::chrono::milliseconds scaled(std::chrono::duration<Rep, Period> deadline)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(deadline) * scale();
}

inline int scaledMs(int milliseconds)
{
    return milliseconds * scale();
}

} // namespace TestTime
