#pragma once

namespace platform {

// Lets the window process its pending events (clicks, typing, repaints). Long operations
// call it so that the window stays responsive; any handler of the window may therefore run
// inside the call.
class EventPump {
public:
    virtual ~EventPump() = default;
    // Processes the pending events once, without waiting for more.
    virtual void processEvents() = 0;
    // Processes the pending events; when there are none, blocks until the next one arrives
    // or maxSeconds have passed, whichever is first, and processes what arrived. A wait
    // calls it so that it costs no processor time. Doubles that have no events to wait for
    // may simply process once.
    virtual void waitForEvents(double maxSeconds) {
        (void)maxSeconds;
        processEvents();
    }
};

} // namespace platform
