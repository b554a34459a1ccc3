#pragma once

#include <QtGlobal>

// Sends small writes on the process's connections to a port at once, instead of holding them
// back until the data already sent has been acknowledged (Nagle's algorithm). Qt's HTTP layer
// writes a request as its header and then pieces of the body, and keeps its sockets to itself: on
// a kept-alive connection, whose peer delays its acknowledgements, each upload of some tens of
// kilobytes would otherwise pause about 40 ms.
class LowDelayConnections
{
public:
    virtual ~LowDelayConnections() = default;

    // Every open TCP connection of this process to `port` sends without delay from now on. Any
    // thread; failures are ignored (a connection missed is only slower).
    virtual void apply(quint16 port) = 0;
};
