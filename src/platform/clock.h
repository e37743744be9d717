#pragma once

#include <cstdint>

namespace platform {

// Monotonic time and the short blocking pauses of the acquisition.
class Clock {
public:
    virtual ~Clock() = default;
    // Seconds since an arbitrary fixed point; never goes backwards, not reset at midnight.
    virtual double now() = 0;
    // Blocks the calling thread for the given number of milliseconds.
    virtual void Sleep(std::int32_t milliseconds) = 0;
};

} // namespace platform
