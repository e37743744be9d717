#pragma once

// A window over test doubles: a strict mock driver (any call not expected fails the test),
// virtual time, a scripted event pump and recorded prompts.

#include "app/form1.h"
#include "support/fakes.h"

#include <memory>

namespace app_testing {

using testing::StrictMock;
using testing_support::MockDriver;
using testing_support::RecordingPrompts;
using testing_support::ScriptedPump;
using testing_support::VirtualClock;

struct Harness {
    explicit Harness(bool simulated = false) {
        form = std::make_unique<app::Form1>(
            app::Services{driver, clock, pump, prompts, simulated, [this] { ++endCalls; }});
    }
    StrictMock<MockDriver> driver;
    VirtualClock clock;
    ScriptedPump pump;
    RecordingPrompts prompts;
    int endCalls = 0;
    std::unique_ptr<app::Form1> form; // declared last: destroyed before the doubles it uses
};

} // namespace app_testing
