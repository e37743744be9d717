#pragma once

#include "autocal/run.h"
#include "card/facts.h"
#include "record/readbacks.h"
#include "record/station.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The uncertainty of one point's residual (mean read-back minus target), as a budget of named
// standard uncertainties in A/D counts of the read-back range and in volts at that range's
// nominal scale, combined by root sum of squares and expanded with k = 2.
namespace record {

// The names of the terms, as the record carries them.
inline constexpr std::string_view kReferenceMeterTerm = "referenceMeter";
inline constexpr std::string_view kAdResolutionTerm = "adResolution";
inline constexpr std::string_view kDaResolutionTerm = "daResolution";
inline constexpr std::string_view kRepeatabilityTerm = "repeatability";

inline constexpr double kCoverageFactor = 2.0;

// One standard uncertainty (k = 1).
struct UncertaintyTerm {
    std::string name;       // one of the k...Term names
    std::string evaluation; // "type A", "type B, normal", "type B, rectangular"
    double counts = 0.0;
    double volts = 0.0;
};

struct UncertaintyBudget {
    std::vector<UncertaintyTerm> terms;
    // Terms that apply but could not be evaluated: the meter's uncertainty not recorded, a
    // single reading (no repeatability). The combined uncertainty then leaves them out.
    std::vector<std::string> notEvaluated;
    double combinedCounts = 0.0; // u_c = sqrt(sum of the squares of the terms)
    double combinedVolts = 0.0;
    double coverageFactor = kCoverageFactor;
    double expandedCounts = 0.0; // U = k x u_c
    double expandedVolts = 0.0;

    bool complete() const { return notEvaluated.empty(); }
};

// The volts of one A/D count of an input range (gain): full scale / 32768; 0.3125 mV on
// the 10.24 V range.
double voltsPerCount(card::Gain g);

// The nominal slope of an output range's D/A in counts of its read-back range per code:
// (high - low) / 65536 volts a code over the read-back scale (0.9765625 on Bipolar 10V).
double nominalSlope(const card::OutputRangeFacts& range);

// One output end point as the run calibrated it.
struct EndPointSetup {
    int box = 0;       // output box 0..7 (card::kOutputBoxes)
    bool upper = true; // the upper end point, or the lower one
    autocal::Targets targets;
    double ref10Volts = 10.0; // the references as the technician measured them
    double ref5Volts = 5.0;
    // Counts of the read-back a D/A code moves, as the search found it; nothing: nominal.
    std::optional<double> slopeCountsPerCode;
};

const card::OutputRangeFacts& rangeOf(const EndPointSetup& p);
card::Int16 targetOf(const EndPointSetup& p);
double voltsPerCount(const EndPointSetup& p);

// The part of the point's target that the reference voltage V scales: the run forms
// +V = Z + round((nominal / V) x (M - Z)) and -V = Z - (+V), so both move by the span
// S = (+V) - Z times -dV / V, and 0 V = Z not at all. |S| for an upper or bipolar lower
// point, 0 for a unipolar lower one.
double referenceSpanCounts(const EndPointSetup& p);

// The budget of an output end point's residual, from its read-backs and the meter:
// - referenceMeter: |S| x u_ref / V with u_ref = the meter's standard uncertainty at V (type
//   B, normal); not evaluated when the meter's uncertainty is not recorded and S is not 0;
// - adResolution: 0.5 / sqrt(3) counts (type B, rectangular);
// - daResolution: 0.5 x slope / sqrt(3) counts (type B, rectangular);
// - repeatability: s / sqrt(n) (type A); not evaluated with one reading.
UncertaintyBudget endPointBudget(const EndPointSetup& p, const ReadBacks& readBacks,
                                 const std::optional<MeterUncertainty>& meter);

// The budget of an input point (a fresh reading against the stored code of the same source
// in the same range): adResolution and repeatability; the reference's own voltage is the
// same in both and cancels.
UncertaintyBudget inputPointBudget(card::Gain g, const ReadBacks& readBacks);

// The combination of terms: u_c, U = 2 u_c, each in counts and in volts.
UncertaintyBudget combine(std::vector<UncertaintyTerm> terms, std::vector<std::string> notEvaluated,
                          double voltsPerCount);

} // namespace record
