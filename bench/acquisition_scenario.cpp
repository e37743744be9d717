#include "bench_platform.h"
#include "scenarios.h"

#include "card/register_acquisition.h"
#include "session/context.h"
#include "sim/simulated_driver.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

namespace bench {

namespace {

constexpr double kMandatedMs = 100.0 + 3 * 1.0;
constexpr double kOverheadGoalPercent = 2.0;
constexpr double kGapGoalMs = 5.0;
constexpr int kRounds = 3;

struct Point {
    const char* name;
    card::Int16 wChannel;
    card::Int16 wGain;
    double volts(const sim::SimulatedDriver& sim) const {
        return wChannel == 3 ? sim.reference10V(0) : wChannel == 2 ? sim.reference5V(0) : 0.0;
    }
};

// The points the input range readings take: upper and lower point of the three widest ranges.
constexpr Point kPoints[] = {
    {"20.48V 10V Ref", 3, 7}, {"20.48V 0V", 4, 7},    {"10.24V 10V Ref", 3, 1},
    {"10.24V 0V", 4, 1},      {"5.12V 5V Ref", 2, 2}, {"5.12V 0V", 4, 2},
};

} // namespace

bool acquisitionScenario(std::ostream& out) {
    sim::SimulatedDriver sim;
    RealClock clock;
    GapPump pump;
    PrintingPrompts prompts;
    session::FormState state;

    loadBoard0(sim, state);
    session::Context ctx{sim, clock, pump, prompts, state, [] { return std::string("0"); }};
    card::RegisterAcquisition acquisition(session::acquisitionPorts(ctx));

    out << "  point             code  expected   wall ms  mandated  ratio   beyond %"
           "  slept ms  work ms  yields  longest gap ms\n";
    double worstBeyond = 0.0;
    double worstWork = 0.0;
    double worstGap = 0.0;
    std::vector<double> beyond;
    bool readingsGood = true;
    for (int round = 0; round < kRounds; ++round) {
        for (const Point& p : kPoints) {
            clock.reset();
            pump.reset();
            card::Int16 value = 0;
            const auto start = Steady::now();
            const card::Int16 status =
                acquisition.MX4815_Get_AutoCal_Data(0, p.wChannel, p.wGain, value);
            const double wall = msBetween(start, Steady::now());
            const double expected = sim.inputCodeFor(0, p.wGain, p.volts(sim));
            const double over = (wall - kMandatedMs) / kMandatedMs * 100.0;
            beyond.push_back(over);
            worstBeyond = std::max(worstBeyond, over);
            worstWork = std::max(worstWork, (wall - clock.sleptMs()) / kMandatedMs * 100.0);
            worstGap = std::max(worstGap, pump.longestGapMs());
            readingsGood = readingsGood && status == 0 && clock.askedMs() == kMandatedMs &&
                           std::abs(value - expected) <= 2.0;
            std::string name = p.name;
            name.resize(16, ' ');
            out << "  " << name << fixed(value, 0, 6) << fixed(expected, 1, 10)
                << fixed(wall, 2, 10) << fixed(clock.askedMs(), 0, 10)
                << fixed(wall / kMandatedMs, 4, 7) << fixed(over, 2, 11)
                << fixed(clock.sleptMs(), 2, 10) << fixed(wall - clock.sleptMs(), 2, 9)
                << fixed(pump.yields(), 0, 8) << fixed(pump.longestGapMs(), 3, 16)
                << (status != 0 ? "  FAILED" : "") << "\n";
        }
    }
    std::sort(beyond.begin(), beyond.end());
    const bool violations = !sim.protocolViolations().empty();
    for (const std::string& v : sim.protocolViolations()) {
        out << "  protocol violation: " << v << "\n";
    }
    // The wall time beyond the mandated sleeps includes what the system's sleep oversleeps,
    // which a busy machine stretches now and then: the goal is judged on the median, and the
    // acquisition's own work (wall time minus the time actually slept) on the worst reading.
    const double medianBeyond = beyond[beyond.size() / 2];
    out << "  beyond the mandated sleeps: median " << fixed(medianBeyond, 2, 0) << " %, worst "
        << fixed(worstBeyond, 2, 0) << " % (goal: median < " << kOverheadGoalPercent << " %)\n"
        << "  the acquisition's own work: worst " << fixed(worstWork, 2, 0)
        << " % of the mandated sleeps (goal < " << kOverheadGoalPercent << " %)\n"
        << "  longest gap between yields: " << fixed(worstGap, 3, 0) << " ms (goal < " << kGapGoalMs
        << " ms)\n";
    if (!readingsGood) {
        out << "  a reading failed or differs from the card's analog model\n";
    }
    return readingsGood && !violations && medianBeyond < kOverheadGoalPercent &&
           worstWork < kOverheadGoalPercent && worstGap < kGapGoalMs;
}

} // namespace bench
