#pragma once

#include "Platform/LowDelayConnections.h"

// Finds the connections among the process's open descriptors ("/proc/self/fd") by their peer's
// port and sets TCP_NODELAY on them.
class LinuxLowDelayConnections final : public LowDelayConnections
{
public:
    void apply(quint16 port) override;
};
