#pragma once

#include "platform/clock.h"

#include <chrono>
#include <cstdint>

namespace platform {

// Asks the system to end this thread's sleeps on time (steady_clock.cpp says how).
void keepSleepsPunctual();

// Sleeps the given milliseconds (none when not positive), and ends as close after them as
// the system allows.
void sleepPunctually(std::int32_t milliseconds);

// The real clock of both front ends: the monotonic steady clock, and a real sleep.
class SteadyClock : public Clock {
public:
    SteadyClock() { keepSleepsPunctual(); }
    double now() override {
        using namespace std::chrono;
        return duration<double>(steady_clock::now().time_since_epoch()).count();
    }
    void Sleep(std::int32_t milliseconds) override { sleepPunctually(milliseconds); }
};

} // namespace platform
