#pragma once

// The queue of usage events waiting to be reported. Implemented by the usage-event reporter; the
// settings clear it when the user switches reporting off.
class UsageEventQueue
{
public:
    virtual ~UsageEventQueue() = default;

    // Deletes every queued event, asynchronously on the reporter's own queue; returns at once.
    virtual void clearQueue() = 0;
};
