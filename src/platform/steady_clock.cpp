#include "platform/steady_clock.h"

#include <chrono>
#include <thread>

#ifdef __linux__
#include <sys/prctl.h>
#endif
#ifdef _WIN32
#include <windows.h>
// after windows.h
#include <timeapi.h>
#endif

namespace platform {

// Asks the system to end the thread's sleeps on time. Linux lets a sleep run up to 50 us
// late by default, which over the four pauses of some 400 readings of a run adds a tenth of
// a second. Windows rounds every sleep up to its timer period, 15.6 ms unless a program asks
// for less: each reading's three 1 ms settling pauses would take some 47 ms, and a run twenty
// seconds longer. The 1 ms period is asked for once and given back when the program ends.
void keepSleepsPunctual() {
#ifdef __linux__
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
#ifdef _WIN32
    struct MillisecondPeriod {
        MillisecondPeriod() : granted(timeBeginPeriod(1) == TIMERR_NOERROR) {}
        ~MillisecondPeriod() {
            if (granted) {
                timeEndPeriod(1);
            }
        }
        MillisecondPeriod(const MillisecondPeriod&) = delete;
        MillisecondPeriod& operator=(const MillisecondPeriod&) = delete;
        bool granted;
    };
    static const MillisecondPeriod period;
#endif
}

void sleepPunctually(std::int32_t milliseconds) {
    if (milliseconds <= 0) {
        return;
    }
    const auto duration = std::chrono::milliseconds(milliseconds);
#ifdef __linux__
    // Linux wakes a sleeping thread some tens of microseconds late (more on a virtual
    // machine), over a run's 1,600 pauses a tenth of a second. The sleep therefore ends a
    // little early and the last moments are spent yielding the processor until the
    // deadline; a wake-up later than that spends none.
    constexpr auto kFinish = std::chrono::microseconds(150);
    const auto deadline = std::chrono::steady_clock::now() + duration;
    std::this_thread::sleep_until(deadline - kFinish);
    while (std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
#else
    // Windows sleeps in whole periods of its timer: ending early would mean yielding for up
    // to a millisecond each time.
    std::this_thread::sleep_for(duration);
#endif
}

} // namespace platform
