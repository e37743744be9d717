#pragma once

#include "platform/clock.h"
#include "platform/event_pump.h"

#include <functional>

namespace autocal {

// The settling time of an output before it is read back, in seconds.
inline constexpr float kSettleSeconds = 1.0f;

// Asked after every yield of a long operation: true when the operation should end early
// (the technician clicked "STOP", or the program is ending). An empty function never asks.
using StopRequest = std::function<bool()>;

// Waits the given number of seconds while the window keeps processing its events: on every
// pass it reads the monotonic clock and lets the window wait for its next event, for the rest
// of the duration at most; it never sleeps past an event. A duration of 0 or less (or not a
// number) returns at once without yielding. The stop request is asked after each yield; the
// wait then ends early.
// Returns true when the whole duration has passed, false when the wait was stopped.
bool WaitSeconds(platform::Clock& clock, platform::EventPump& pump, float seconds,
                 const StopRequest& stopRequested = {});

} // namespace autocal
