#pragma once

namespace platform {

// Lets the window process its pending events once (clicks, typing, repaints).
// Long operations call it so that the window stays responsive; any handler of the
// window may therefore run inside the call.
class EventPump {
public:
    virtual ~EventPump() = default;
    virtual void processEvents() = 0;
};

} // namespace platform
