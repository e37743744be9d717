#pragma once

#include "card/driver.h"
#include "card/form_state.h"
#include "platform/clock.h"
#include "platform/event_pump.h"
#include "platform/prompts.h"

#include <functional>
#include <string>

namespace card {

// Everything a handler's logic reaches: the driver, time, the window's event processing,
// the prompts, the form-level state and the text of "Active Board" (read afresh on every
// call, since a yield may let the technician change it).
struct Context {
    Driver& driver;
    platform::Clock& clock;
    platform::EventPump& pump;
    platform::Prompts& prompts;
    FormState& state;
    std::function<std::string()> activeBoardText;
};

} // namespace card
