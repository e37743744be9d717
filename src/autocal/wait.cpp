#include "autocal/wait.h"

namespace autocal {

bool WaitSeconds(platform::Clock& clock, platform::EventPump& pump, float seconds,
                 const StopRequest& stopRequested) {
    const double duration = seconds;
    const double start = clock.now();
    double elapsed = 0.0;
    // A NaN duration fails the comparison and returns at once, like 0.
    while (elapsed < duration) {
        elapsed = clock.now() - start;
        // Blocks until an event arrives or the rest of the wait has passed: the window
        // answers at once and the wait costs no processor time.
        pump.waitForEvents(duration - elapsed);
        if (stopRequested && stopRequested()) {
            return false;
        }
    }
    return true;
}

} // namespace autocal
