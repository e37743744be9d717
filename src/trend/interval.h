#pragma once

#include "core/result.h"
#include "trend/calibration.h"

#include <optional>
#include <vector>

// The calibration interval by the staircase method of ILAC-G24:2022: after each calibration
// the interval is extended when every as-found point lay within a fraction of its tolerance,
// shortened when any lay outside its tolerance, and kept otherwise.
namespace trend {

// The station's settings of the method. The defaults: a year to start with, half as long
// again after a good calibration, half as long after a bad one, never below 90 days nor above
// three years.
struct IntervalPolicy {
    int startDays = 365;
    double extendFactor = 1.5;
    double shortenFactor = 0.5;
    int minDays = 90;
    int maxDays = 1095;
    // An as-found point counts as good when |residual| <= withinFraction × tolerance.
    double withinFraction = 0.8;
};

// Whether the policy can serve: 1 <= minDays <= startDays <= maxDays <= 3650, an extend
// factor from 1 to 10, a shorten factor above 0 and at most 1, a fraction above 0 and at most
// 1. A refusal (Kind::Input) names the setting that cannot.
core::Status checkPolicy(const IntervalPolicy& policy);

// What a calibration found as found, over all its output end points and input points.
enum class Finding {
    WithinFraction,  // every point within the fraction of its tolerance: extend
    WithinTolerance, // every point within its tolerance, some beyond the fraction: keep
    OutOfTolerance,  // some point outside its tolerance: shorten
    NotJudged,       // no point measured as found: keep
};

struct Judged {
    Finding finding = Finding::NotJudged;
    // The largest |residual| / tolerance of the points (infinite for a point outside a
    // tolerance of 0), and the point it belongs to.
    double worstRatio = 0.0;
    std::string worstPoint;
};
Judged judgeAsFound(const Calibration& c, double withinFraction);

// One step of the staircase: the interval that followed a calibration.
struct Step {
    Judged judged;
    int days = 0;
};

struct Schedule {
    std::vector<Step> steps; // one per calibration, oldest first
    int days = 0;            // the interval after the last calibration
    TimePoint due{};         // the last calibration's start + days
};

// The staircase over a card's calibrations (oldest first): each calibration's finding moves
// the interval it followed (the start interval before the first) by its factor, rounded to
// whole days (halves up) and held within the bounds. Nothing without a calibration.
std::optional<Schedule> schedule(const std::vector<Calibration>& calibrations,
                                 const IntervalPolicy& policy);

// "within 80 % of its tolerance", "within its tolerance", "out of tolerance", "not judged".
std::string findingText(Finding f, double withinFraction);

} // namespace trend
