#pragma once

// A window over test doubles: a strict mock driver (any call not expected fails the test),
// virtual time, a scripted event pump and recorded prompts.

#include "app/form1.h"
#include "sim/simulated_driver.h"
#include "support/fakes.h"

#include <chrono>
#include <memory>
#include <optional>

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

// A window on the simulated card after start-up (its one card loaded), on virtual time.
// Readings average few conversions: the run's logic, not its accuracy, is tested here.
struct SimWindow {
    // day: the simulated card's day (none: nothing drifts).
    explicit SimWindow(session::Long samples = 50,
                       std::optional<std::chrono::sys_days> day = std::nullopt) {
        cards.setToday(day);
        form = std::make_unique<app::Form1>(
            app::Services{cards, clock, pump, prompts, true, [this] { ++endCalls; }});
        form->Form_Load();
        app::testProbe(*form).state.dwAvgCount = samples;
        form->show();
    }
    bool running() const { return app::testProbe(*form).autoCalRun.running(); }
    app::Controls& ui() { return app::testProbe(*form).ui; }

    sim::SimulatedDriver cards;
    VirtualClock clock;
    ScriptedPump pump;
    RecordingPrompts prompts;
    int endCalls = 0;
    std::unique_ptr<app::Form1> form; // declared last: destroyed before the doubles it uses
};

} // namespace app_testing
