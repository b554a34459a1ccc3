#include "Platform/TaggerModelRuntime.h"

#include "Platform/Unavailable/UnavailableTaggerModelRuntime.h"

TaggerModelRuntime &TaggerModelRuntime::system()
{
    static UnavailableTaggerModelRuntime runtime;
    return runtime;
}
