#pragma once

#include "autocal/run.h"
#include "caldata/table.h"
#include "card/acquisition.h"
#include "card/types.h"
#include "core/result.h"
#include "record/calibration_record.h"
#include "session/context.h"

#include <array>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

// The measurements of calibrate and the calibration record made of them.
namespace cli {

inline constexpr int kEndPoints = 2 * caldata::kOutputBoxes;
inline constexpr int kInputPoints = 2 * caldata::kInputBoxes;

// End point i (0..15) in the order of the run and of the EEPROM words 8..23: output box
// i div 2, its upper end point for even i, its lower one for odd i.
caldata::Field endPointField(int i);
// Input point k (0..11): input range k div 2, its upper point for even k, its 0 V point for
// odd k.
caldata::Field inputPointField(int k);

// One point driven with (an output) or judged against (an input) a code, and read back.
struct PointReading {
    card::Int16 code = 0;
    std::vector<card::Int16> readings; // empty: not measured
    bool measured() const { return !readings.empty(); }
};
using PointReadings = std::array<PointReading, kEndPoints>;
using InputReadings = std::array<PointReading, kInputPoints>;

// How a pass tells its progress and asks whether to stop.
struct PassControl {
    std::function<void(caldata::Field)> onPoint;
    std::function<bool()> stopRequested;
    int repeats = 1; // readings of each settled point
};

// The as-found or as-left pass of the outputs: each end point in turn driven with the code
// its box holds (through the box's change handling, as an edit in the window drives it), left
// 1 s to settle, and read back repeats times through the card's calibration path in the range
// the run reads it in. A reading that fails ends the pass with its message (Kind::Card); a
// stop asked for during a settling wait ends it with Kind::Stopped.
core::Status measureEndPoints(session::Context& ctx, card::Acquisition& acquisition,
                              caldata::CalibrationTable& table, const PassControl& control,
                              PointReadings& readings);

// The pass of the inputs: each input range's upper point (the 10 V or 5 V reference, or for
// the three smallest ranges CH0 Unipolar 5V driven as the run drives it) and its 0 V point,
// read repeats times, each against the code its box holds.
core::Status measureInputPoints(session::Context& ctx, card::Acquisition& acquisition,
                                const caldata::CalibrationTable& table, const PassControl& control,
                                InputReadings& readings);

// How a calibration ended, as the record says it.
inline constexpr const char* kCompleted = "completed";
inline constexpr const char* kOutOfToleranceOutcome = "out of tolerance";
inline constexpr const char* kStoppedOutcome = "stopped";
inline constexpr const char* kFailed = "failed";

// Everything calibrate measures, as it is measured.
struct Record {
    std::string id;
    std::string outcome = kCompleted;
    std::string message; // what stopped or failed the calibration, or why it is out of limits
    std::string startUtc;
    std::string endUtc;
    std::string program;
    std::string programVersion;
    record::Station station;
    bool meterUsedPastDue = false;
    int board = 0;
    std::uint32_t registerBase = 0;
    float ref10 = 10.0f;
    float ref5 = 5.0f;
    double tolerance = 2.0; // counts, every range
    int repeats = 1;
    record::DecisionRule rule = record::kDefaultDecisionRule;
    record::Environment environment;
    bool saved = false;
    card::EepImage before{};
    std::optional<card::EepImage> after;
    std::optional<autocal::Targets> targets; // the run formed its targets
    autocal::RunTally tally;                 // what the automatic calibration finished
    PointReadings asFound{};
    PointReadings asLeft{};
    InputReadings inputsFound{};
    InputReadings inputsLeft{};
};

// The record as a laboratory keeps it: every measured point judged with its uncertainty
// budget under the rule.
record::CalibrationRecord calibrationRecord(const Record& r);

// The summary table of a calibration (calibrate without --json).
void printSummary(std::ostream& out, const Record& r, const record::CalibrationRecord& c);

// "0xFEB00000"
std::string hex32(std::uint32_t v);

} // namespace cli
