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

// One end point driven with a code and read back.
struct PointReading {
    card::Int16 code = 0;
    card::Int16 reading = 0;
};
using PointReadings = std::array<PointReading, kEndPoints>;

// The as-found or as-left pass: each end point in turn driven with the code its box holds
// (through the box's change handling, as an edit in the window drives it), left 1 s to
// settle, and read back once through the card's calibration path in the range the run
// reads it in. onPoint is told each end point before it is driven. A reading that fails
// ends the pass with its message.
core::Result<PointReadings> measureEndPoints(session::Context& ctx, card::Acquisition& acquisition,
                                             caldata::CalibrationTable& table,
                                             const std::function<void(caldata::Field)>& onPoint);

// The card fingerprint: SHA-256 (lower-case hex) of the EEPROM words the program does not
// own (0-3, 26, 27, 30, 31, 34, 35, 38, 39, 42-47, 50-127), each as two bytes, low byte
// first.
std::string cardFingerprint(const card::EepImage& image);

// Everything a calibration record holds.
struct Record {
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
    autocal::Targets targets;
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
// How many as-found / as-left end points lie outside the tolerance.
int outOfTolerance(const Record& r, const PointReadings& readings);
// The read-back scale of end point i: millivolts per count.
double millivoltsPerCount(int i);

// The record as the JSON object that docs/calibration-record.schema.json describes.
QJsonObject recordJson(const Record& r);

// "0xFEB00000"
std::string hex32(std::uint32_t v);

} // namespace cli
