#pragma once

#include "card/facts.h"
#include "card/types.h"
#include "record/budget.h"
#include "record/decision.h"
#include "record/readbacks.h"
#include "record/station.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A calibration as a laboratory keeps it: who, where, with what, on which item, by which
// method, the results as found and as left with their uncertainty, the decision rule and the
// conformity statement. Plain data for the history, the certificate and the JSON form.
namespace record {

// One point of one pass (as found or as left), judged.
struct PointResult {
    Pass pass = Pass::AsFound;
    DecisionRule rule = kDefaultDecisionRule;
    ReadBacks readBacks;
    card::Int16 targetCode = 0;
    double residualCounts = 0.0; // mean read-back - target
    double voltsPerCount = 0.0;  // the read-back range's nominal scale
    UncertaintyBudget budget;
    Limits limits;
    Conformity conformity;

    double residualVolts() const { return residualCounts * voltsPerCount; }
};

// The read-backs against the target, with their budget, under the rule and tolerance T.
PointResult assess(Pass pass, card::Int16 target, ReadBacks readBacks, UncertaintyBudget budget,
                   double voltsPerCount, const Tolerance& t, DecisionRule rule);

// An output end point: the D/A code driven in each pass and its results; nothing for what
// was not measured (the calibration ended before it, or the run formed no targets).
struct OutputPoint {
    int box = 0; // 0..7, card::kOutputBoxes
    bool upper = true;
    std::optional<card::Int16> targetCode;
    std::optional<card::Int16> codeFound;
    std::optional<card::Int16> codeLeft;
    std::optional<PointResult> asFound;
    std::optional<PointResult> asLeft;
    // The read-backs as taken, kept also when the calibration ended before it formed the
    // targets to judge them against.
    std::vector<card::Int16> readingsFound;
    std::vector<card::Int16> readingsLeft;
};

// An input point: the code kept for it (the target) and fresh readings of its source.
struct InputPoint {
    int range = 0; // 0..5, card::kInputRanges
    bool upper = true;
    std::optional<card::Int16> codeFound; // the code the EEPROM held before
    std::optional<card::Int16> codeLeft;  // the code it holds after
    std::optional<PointResult> asFound;
    std::optional<PointResult> asLeft;
};

// The conditions; nothing when not recorded.
struct Environment {
    std::optional<double> temperatureCelsius;
    std::optional<double> relativeHumidityPercent;
};

struct CalibrationRecord {
    std::string id; // unique, given by whoever keeps the record
    std::string outcome;
    std::string message;
    std::string startUtc; // "2025-03-31T12:00:00Z"
    std::string endUtc;
    Station station;
    bool meterUsedPastDue = false; // the technician said the meter was used past its due date
    // The item.
    int board = 0;
    std::uint32_t registerBase = 0;
    std::string cardFingerprint;
    // The method.
    std::string procedure;
    std::string procedureVersion;
    std::string program;
    std::string programVersion;
    int repeats = 1;
    // What the automatic calibration finished: end points and input points given new codes.
    int calibratedEndPoints = 0;
    int calibratedInputPoints = 0;
    Environment environment;
    double ref10Volts = 10.0;
    double ref5Volts = 5.0;
    DecisionRule rule = kDefaultDecisionRule;
    Tolerances tolerances;
    std::vector<OutputPoint> outputs;
    std::vector<InputPoint> inputs;
    bool saved = false;
    card::EepImage eepromBefore{};
    std::optional<card::EepImage> eepromAfter;
};

// How many points of a kind (output end points or input points) a pass measured, and how
// many of them it did not accept: as found, outside the tolerance; as left, not accepted
// under the rule.
struct PassCount {
    int measured = 0;
    int notAccepted = 0;
};

// The conformity of a record, and the statement the record makes of it.
struct ConformitySummary {
    PassCount outputsFound;
    PassCount outputsLeft;
    PassCount inputsFound;
    PassCount inputsLeft;
    int noAcceptancePossible = 0;   // as-left points where U >= T under the guard band
    bool budgetsComplete = true;    // every budget evaluated every term that applies
    bool endPointsAccepted = false; // all sixteen output end points measured and accepted as left
    std::string statement;
};
ConformitySummary conformity(const CalibrationRecord& r);

} // namespace record
