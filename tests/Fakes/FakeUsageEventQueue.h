#pragma once

#include "Core/UsageEventQueue.h"

// Counts the requests to clear the queue.
class FakeUsageEventQueue final : public UsageEventQueue
{
public:
    void clearQueue() override { ++clearCount; }

    int clearCount = 0;
};
