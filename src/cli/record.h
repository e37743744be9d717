#pragma once

#include "autocal/run.h"
#include "caldata/table.h"
#include "card/acquisition.h"
#include "card/types.h"
#include "core/result.h"
#include "session/context.h"

#include <QJsonObject>

#include <array>
#include <functional>
#include <string>

namespace cli {

inline constexpr int kEndPoints = 2 * caldata::kOutputBoxes;

// End point i (0..15) in the order of the run and of the EEPROM words 8..23: output box
// i div 2, its upper end point for even i, its lower one for odd i.
caldata::Field endPointField(int i);

// One end point driven with a code and read back (measured: the reading was taken).
struct PointReading {
    card::Int16 code = 0;
    card::Int16 reading = 0;
    bool measured = false;
};
using PointReadings = std::array<PointReading, kEndPoints>;

// The as-found or as-left pass: each end point in turn driven with the code its box holds
// (through the box's change handling, as an edit in the window drives it), left 1 s to
// settle, and read back once through the card's calibration path in the range the run
// reads it in, into readings as it goes. onPoint is told each end point before it is driven.
// A reading that fails ends the pass with its message (Kind::Card); a stop asked for during
// a settling wait ends it with Kind::Stopped.
core::Status measureEndPoints(session::Context& ctx, card::Acquisition& acquisition,
                              caldata::CalibrationTable& table,
                              const std::function<void(caldata::Field)>& onPoint,
                              const std::function<bool()>& stopRequested, PointReadings& readings);

// How a calibration ended, as the record says it.
inline constexpr const char* kCompleted = "completed";
inline constexpr const char* kOutOfToleranceOutcome = "out of tolerance";
inline constexpr const char* kStoppedOutcome = "stopped";
inline constexpr const char* kFailed = "failed";

// Everything a calibration record holds.
struct Record {
    std::string outcome = kCompleted;
    std::string message; // what stopped or failed the calibration, or why it is out of limits
    std::string dateTimeUtc;
    std::string programVersion;
    int board = 0;
    std::uint32_t registerBase = 0;
    float ref10 = 10.0f;
    float ref5 = 5.0f;
    double tolerance = 2.0;
    bool saved = false;
    card::EepImage before{};
    card::EepImage after{};
    bool afterKnown = false; // the EEPROM was read back after the calibration
    autocal::Targets targets;
    bool targetsKnown = false; // the run formed its targets
    autocal::RunTally tally;   // what the automatic calibration finished
    PointReadings asFound{};
    PointReadings asLeft{};
    // The input codes (upper point, 0 V of each range) as found and as left.
    std::array<std::string, 2 * caldata::kInputBoxes> inputsFound;
    std::array<std::string, 2 * caldata::kInputBoxes> inputsLeft;
};

// The target of end point i.
card::Int16 targetOf(const Record& r, int i);
// Whether a reading lies within the tolerance of end point i's target.
bool passes(const Record& r, int i, const PointReading& p);
// How many as-found / as-left end points were measured and lie outside the tolerance.
int outOfTolerance(const Record& r, const PointReadings& readings);
// The read-back scale of end point i: millivolts per count.
double millivoltsPerCount(int i);

// Whether all sixteen end points were measured and lie within the tolerance.
bool allPass(const Record& r, const PointReadings& readings);

// The record as the JSON object that docs/calibration-record.schema.json describes.
QJsonObject recordJson(const Record& r);

// "0xFEB00000"
std::string hex32(std::uint32_t v);

} // namespace cli
