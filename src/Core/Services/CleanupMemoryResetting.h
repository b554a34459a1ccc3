#pragma once

#include <QCoro/QCoroTask>

// Forgetting what the cloud cleanup has learned of the user (vocabulary and style). Implemented by
// the cloud cleanup client; started on the main thread, its network wait happens away from it.
class CleanupMemoryResetting
{
public:
    virtual ~CleanupMemoryResetting() = default;

    // True only when the service confirmed the deletion; false when signed out, on a failure or a
    // time-out, so the caller never reports a reset that did not happen.
    virtual QCoro::Task<bool> resetMemory() = 0;
};
