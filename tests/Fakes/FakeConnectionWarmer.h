#pragma once

#include "Core/Services/ConnectionWarming.h"

// Counts the warm-ups.
class FakeConnectionWarmer final : public ConnectionWarming
{
public:
    void warm() override { ++warmups; }

    int warmups = 0;
};
