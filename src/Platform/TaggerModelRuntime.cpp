#include "Platform/TaggerModelRuntime.h"

#include "Platform/UnavailableTaggerModelRuntime.h"

TaggerModelRuntime &TaggerModelRuntime::system()
{
    static UnavailableTaggerModelRuntime runtime;
    return runtime;
}
