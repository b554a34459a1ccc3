#pragma once

#include <exception>
#include <stdexcept>

// Thrown into a task that was cancelled. Cancellation is never a failure: callers catch this
// type (or test with isCancellation) to end quietly, and report every other exception.
class CancelledError : public std::runtime_error
{
public:
    CancelledError()
        : std::runtime_error("cancelled")
    { }

    // True when the exception is a cancellation, also one nested inside another error
    // (std::throw_with_nested), as a recogniser's session failure may wrap it.
    static bool isCancellation(const std::exception_ptr &error);
};
