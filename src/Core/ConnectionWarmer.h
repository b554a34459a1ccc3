#pragma once

#include "Base/Clock.h"
#include "Core/Services/ConnectionWarming.h"

#include <chrono>
#include <optional>

class CloudSession;

// Opens a connection to the cloud service when a recording starts, so that the upload and the
// cleanup request that follow it find an established connection in the session's pool. The
// dictation controller calls warm() when the user is signed in and a cloud feature is in use.
//
// At most one warm-up request per 30 seconds, measured on the monotonic clock: a wall clock set
// back must not silence it. A warm-up that fails still counts. Main thread.
class ConnectionWarmer final : public ConnectionWarming
{
public:
    // A warm-up within this time of the last one (inclusive) is skipped.
    static constexpr std::chrono::seconds spacing {30};
    // The warm-up is small; it must not hold a connection slot for long.
    static constexpr std::chrono::seconds timeout {5};

    // The session and the clock must outlive the warmer.
    ConnectionWarmer(CloudSession &session, Clock &clock);

    // Starts a HEAD of "stt" without a token and returns at once; the answer is ignored.
    void warm() override;

private:
    CloudSession &m_session;
    Clock &m_clock;
    std::optional<std::chrono::nanoseconds> m_lastWarmed;
};
