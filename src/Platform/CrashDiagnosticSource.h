#pragma once

#include "Platform/CrashDiagnostic.h"

#include <QList>

// Collects what is known about crashes of the application and hands it over at the next launch.
class CrashDiagnosticSource
{
public:
    virtual ~CrashDiagnosticSource() = default;

    // From now on, a crash of this run is kept for the next launch. Once, early, on the main
    // thread.
    virtual void collect() = 0;
    // The crashes of earlier runs that were not handed over yet, oldest first; each is handed over
    // once, whatever becomes of it.
    virtual QList<CrashDiagnostic> takePending() = 0;
};
