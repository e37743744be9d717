#pragma once

// Real-time implementations of the platform interfaces for the benchmarks: a steady clock
// with real sleeps that also adds up the time spent sleeping, a pump that records the gap
// between successive yields, and prompts that print.

#include "platform/clock.h"
#include "platform/event_pump.h"
#include "platform/prompts.h"
#include "platform/steady_clock.h"
#include "session/form_state.h"
#include "sim/simulated_driver.h"

#include <chrono>
#include <cstdint>
#include <string>

namespace bench {

using Steady = std::chrono::steady_clock;

// Milliseconds between two instants, as a double.
double msBetween(Steady::time_point from, Steady::time_point to);

// v with the given decimals, right-aligned in width characters (0: no padding).
std::string fixed(double v, int decimals, int width = 0);

// Board 0 of the simulated card as start-up and RELOAD leave it for the readings: its card
// information in ActiveCardInfo, 1000 conversions a reading, the output range codes.
void loadBoard0(sim::SimulatedDriver& sim, session::FormState& state);

class RealClock : public platform::Clock {
public:
    RealClock() { platform::keepSleepsPunctual(); } // as the program's clock does
    double now() override;
    void Sleep(std::int32_t milliseconds) override;

    // Totals since the last reset: milliseconds asked for and actually slept.
    void reset();
    double askedMs() const { return askedMs_; }
    double sleptMs() const { return sleptMs_; }

private:
    double askedMs_ = 0.0;
    double sleptMs_ = 0.0;
};

// Does no event processing of its own (there is no window); records the longest gap between
// two successive calls and how many there were since the last reset.
class GapPump : public platform::EventPump {
public:
    void processEvents() override;
    void reset();
    long yields() const { return yields_; }
    double longestGapMs() const { return longestGapMs_; }

private:
    long yields_ = 0;
    double longestGapMs_ = 0.0;
    Steady::time_point last_{};
};

class PrintingPrompts : public platform::Prompts {
public:
    void message(const std::string& text) override;
    bool confirm(const std::string& text, const std::string& caption) override;
    std::optional<std::string> chooseOpenFile(const std::string& filter,
                                              const std::string& startName) override;
    long messages = 0;
};

} // namespace bench
