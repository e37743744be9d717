#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

// One card's calibrations as the trend over time needs them: when each was made, whether it
// was saved, and every point's residual as found and as left against its tolerance. Plain
// data, read from the calibration records of the history (trend/calibrations.h).
namespace trend {

using TimePoint = std::chrono::sys_seconds;

// The days of a year the drift is given per: the mean Gregorian year.
inline constexpr double kDaysPerYear = 365.25;

// One point of one pass: the residual (mean read-back − target) and the tolerance, in counts
// of the read-back range, and that range's volts per count.
struct Residual {
    double counts = 0.0;
    double voltsPerCount = 0.0;
    double toleranceCounts = 0.0;

    double volts() const { return counts * voltsPerCount; }
    double toleranceVolts() const { return toleranceCounts * voltsPerCount; }
};

// An output end point or an input point: its name as the record gives it ("CH0 Unipolar 5V
// upper") and its results; nothing for a pass that did not measure it.
struct Point {
    std::string name;
    std::optional<Residual> asFound;
    std::optional<Residual> asLeft;
};

struct Calibration {
    std::string recordId;      // the history record that keeps it
    std::string calibrationId; // the calibration record's own id
    TimePoint start{};         // the calibration record's dates.startUtc
    int board = 0;             // the board the card was in
    bool saved = false;        // its SAVE wrote the new calibration into the EEPROM
    std::vector<Point> endPoints;
    std::vector<Point> inputPoints;
    // Not empty when something else wrote the card's EEPROM since the calibration before
    // (a RECOVER, a restore, an imported file): what it was. The card then no longer held
    // what that calibration left, so no drift is measured across the two.
    std::string changedBefore;
};

// What the card held from a calibration on: its as-left result when the calibration was
// saved, else its as-found one (the card kept the codes it had).
std::optional<Residual> leftOnCard(const Point& p, bool saved);

} // namespace trend
