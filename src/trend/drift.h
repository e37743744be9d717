#pragma once

#include "trend/calibration.h"

#include <optional>
#include <string>
#include <vector>

// The drift of a card's output end points between its calibrations: the as-found residual
// of one calibration against what the calibration before left on the card, per year, and
// what it would make of each end point by the next due date.
namespace trend {

// The drift of one end point between two consecutive calibrations.
struct Span {
    int from = 0; // indices of the calibrations, oldest first
    int to = 0;
    double days = 0.0;
    double voltsPerYear = 0.0;
};

struct EndPointDrift {
    std::string name;
    std::vector<Span> spans;
    // Over every span: the sum of the residual changes over the sum of the days, so that a
    // long span weighs as much as its time and a short one's noise counts little. None
    // without a span.
    std::optional<double> voltsPerYear;
    // From the last calibration on: what it left on the card, the residual that the drift
    // makes of it by the due date, and the tolerance.
    std::optional<double> leftVolts;
    std::optional<double> atDueVolts;
    double toleranceVolts = 0.0;
    bool atRisk = false; // |atDueVolts| > toleranceVolts
};

struct Drift {
    std::vector<EndPointDrift> endPoints; // in the order of the last calibration's record
    std::vector<std::string> atRisk;      // the names of the end points at risk
};

// The drift over a card's calibrations (oldest first). A span is measured between two
// consecutive calibrations when the later one found the end point, the earlier one left it
// (trend::leftOnCard), the later one started after the earlier one, and nothing else wrote
// the EEPROM between them (Calibration::changedBefore). With a due date, each end point of
// the last calibration is extrapolated from what that calibration left on the card to the
// due date at its drift.
Drift drift(const std::vector<Calibration>& calibrations, std::optional<TimePoint> due);

} // namespace trend
