#pragma once

// Opens the connection to the cloud service ahead of a session that will need it. Implemented by
// the connection warmer; returns at once, never fails, does nothing when it warmed up recently.
class ConnectionWarming
{
public:
    virtual ~ConnectionWarming() = default;

    virtual void warm() = 0;
};
