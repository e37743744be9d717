#pragma once

#include "platform/clock.h"

#include <chrono>
#include <cstdint>
#include <thread>

namespace platform {

// The real clock of both front ends: the monotonic steady clock, and a real sleep.
class SteadyClock : public Clock {
public:
    double now() override {
        using namespace std::chrono;
        return duration<double>(steady_clock::now().time_since_epoch()).count();
    }
    void Sleep(std::int32_t milliseconds) override {
        if (milliseconds > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        }
    }
};

} // namespace platform
