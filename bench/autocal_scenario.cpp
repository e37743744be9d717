#include "bench_platform.h"
#include "scenarios.h"

#include "autocal/run.h"
#include "caldata/conversions.h"
#include "card/register_acquisition.h"
#include "manual/output_trim.h"
#include "sim/simulated_driver.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <ostream>
#include <string>

namespace bench {

namespace {

constexpr double kWaitsMs = 22 * 1000.0;   // the run's settling waits
constexpr double kReadingMs = 100.0 + 3.0; // the sleeps of one reading
constexpr double kRatioGoal = 1.02;
// Gaps between yields are shown, not judged: on a shared machine the scheduler alone makes
// gaps of several milliseconds now and then. The count of long ones tells such outliers from
// work that holds the window.
constexpr double kLongGapMs = 5.0;
constexpr double kVoltsGoal = 0.0015;

// The calibration table in memory; an output box's change runs the window's change handling.
class Table : public caldata::CalibrationTable {
public:
    explicit Table(session::Context& ctx) : ctx_(ctx) {}
    std::string text(caldata::Field f) const override {
        auto it = texts_.find({static_cast<int>(f.box), f.index});
        return it == texts_.end() ? std::string("0") : it->second;
    }
    void setText(caldata::Field f, const std::string& text) override {
        std::string& slot = texts_[{static_cast<int>(f.box), f.index}];
        if (slot == text) {
            return;
        }
        slot = text;
        if (caldata::isOutput(f)) {
            manual::outputChanged(ctx_, *this, f);
        }
    }

private:
    session::Context& ctx_;
    std::map<std::pair<int, int>, std::string> texts_;
};

// Records the gaps between yields, telling those that hold a reading's set-up (the pauses a
// reading makes before its first yield) from all others.
class RunPump : public platform::EventPump {
public:
    void processEvents() override {
        const auto t = Steady::now();
        if (yields > 0) {
            const double gap = msBetween(last_, t);
            double& worst = readingStarted ? worstSetupGapMs : worstGapMs;
            worst = std::max(worst, gap);
            if (!readingStarted && gap > kLongGapMs) {
                ++longGaps;
            }
        }
        readingStarted = false;
        ++yields;
        last_ = t;
    }
    long yields = 0;
    bool readingStarted = false;
    long longGaps = 0; // outside a reading's set-up, longer than kLongGapMs
    double worstGapMs = 0.0;
    double worstSetupGapMs = 0.0;

private:
    Steady::time_point last_{};
};

// Counts the readings and marks the start of each for the pump.
class CountingAcquisition : public card::Acquisition {
public:
    CountingAcquisition(card::Acquisition& inner, RunPump& pump) : inner_(inner), pump_(pump) {}
    card::Int16 MX4815_Get_AutoCal_Data(card::Int16 wBoardNo, card::Int16 wChannel,
                                        card::Int16 wGain, card::Int16& wADVal) override {
        ++readings;
        pump_.readingStarted = true;
        return inner_.MX4815_Get_AutoCal_Data(wBoardNo, wChannel, wGain, wADVal);
    }
    long readings = 0;

private:
    card::Acquisition& inner_;
    RunPump& pump_;
};

} // namespace

bool autocalScenario(std::ostream& out) {
    sim::SimulatedDriver sim;
    RealClock clock;
    RunPump pump;
    PrintingPrompts prompts;
    session::FormState state;

    loadBoard0(sim, state);
    session::Context ctx{sim, clock, pump, prompts, state, [] { return std::string("0"); }};
    card::RegisterAcquisition registers(session::acquisitionPorts(ctx));
    CountingAcquisition acquisition(registers, pump);
    Table table(ctx);
    // The technician types the voltages measured at the test points.
    table.setText(caldata::ref10(),
                  caldata::formatReference(static_cast<float>(sim.reference10V(0))));
    table.setText(caldata::ref5(),
                  caldata::formatReference(static_cast<float>(sim.reference5V(0))));
    const autocal::Environment env{ctx, acquisition, table, {}, {}};

    const auto start = Steady::now();
    const auto outcome = autocal::runAutoCal(env);
    if (!outcome) {
        prompts.message(outcome.refusal());
    }
    const double wallMs = msBetween(start, Steady::now());

    const double mandatedMs = kWaitsMs + kReadingMs * static_cast<double>(acquisition.readings);
    const double ratio = wallMs / mandatedMs;

    // How good the result is: the true output at each code found against its nominal voltage.
    struct Kind {
        card::Int16 range;
        double upper, lower;
    };
    constexpr Kind kKinds[4] = {{0, 5, 0}, {2, 10, 0}, {1, 5, -5}, {3, 10, -10}};
    double worstVolts = 0.0;
    for (int c = 0; c < 2; ++c) {
        for (int k = 0; k < 4; ++k) {
            for (bool upper : {true, false}) {
                const auto f = upper ? caldata::aoMax(4 * c + k) : caldata::aoMin(4 * c + k);
                const auto code = caldata::parseCode(table.text(f));
                const double volts = code ? sim.outputVoltageAt(0, c, kKinds[k].range,
                                                                static_cast<std::uint16_t>(*code))
                                          : 1e9;
                worstVolts = std::max(
                    worstVolts, std::abs(volts - (upper ? kKinds[k].upper : kKinds[k].lower)));
            }
        }
    }

    const bool completed =
        outcome && *outcome == autocal::RunOutcome::Completed && prompts.messages == 0;
    out << "  run            " << (completed ? "completed" : "DID NOT COMPLETE") << "\n"
        << "  wall time      " << fixed(wallMs / 1000.0, 3) << " s\n"
        << "  mandated time  " << fixed(mandatedMs / 1000.0, 3) << " s (22 waits of 1 s + "
        << acquisition.readings << " readings x 103 ms)\n"
        << "  ratio          " << fixed(ratio, 4) << " (goal < " << fixed(kRatioGoal, 2) << ")\n"
        << "  readings       " << acquisition.readings << "\n"
        << "  yields         " << pump.yields << "\n"
        << "  worst gap between two processed events: " << fixed(pump.worstGapMs, 3) << " ms ("
        << pump.longGaps << " gaps over " << fixed(kLongGapMs, 0)
        << " ms); across a reading's set-up, which holds the window for its 103 ms of pauses: "
        << fixed(pump.worstSetupGapMs, 3) << " ms\n"
        << "  worst end point error " << fixed(worstVolts * 1000.0, 3) << " mV (goal < "
        << fixed(kVoltsGoal * 1000.0, 1) << " mV)\n";
    return completed && ratio < kRatioGoal && worstVolts < kVoltsGoal &&
           sim.protocolViolations().empty();
}

} // namespace bench
