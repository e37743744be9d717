#pragma once

#include "card/driver.h"
#include "card/register_acquisition.h"
#include "platform/clock.h"
#include "platform/event_pump.h"
#include "platform/prompts.h"
#include "session/form_state.h"
#include "session/journal.h"

#include <functional>
#include <string>

namespace session {

// Everything a handler's logic reaches: the driver, time, the window's event processing,
// the prompts, the form-level state and the text of "Active Board" (read afresh on every
// call, since a yield may let the technician change it).
struct Context {
    card::Driver& driver;
    platform::Clock& clock;
    platform::EventPump& pump;
    platform::Prompts& prompts;
    FormState& state;
    std::function<std::string()> activeBoardText;
    // The record of EEPROM changes; none: no record is kept (tests of other things).
    Journal* journal = nullptr;
};

// The acquisition's view of the context: it takes dwAvgCount and the register base of the
// board loaded last afresh at the start of every reading.
inline card::AcquisitionPorts acquisitionPorts(const Context& ctx) {
    FormState& state = ctx.state;
    return card::AcquisitionPorts{ctx.driver, ctx.clock, ctx.pump,
                                  [&state] { return state.dwAvgCount; },
                                  [&state] { return state.ActiveCardInfo.dwMemBase(); }};
}

} // namespace session
