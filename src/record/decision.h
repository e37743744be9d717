#pragma once

#include "card/facts.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

// Tolerances, the decision rules and the verdicts: ILAC-G8's binary rule with a guard band
// w = U, simple acceptance (w = 0), and the non-binary statements.
namespace record {

enum class Unit { Counts, Volts };
std::string_view unitName(Unit u); // "counts", "volts"

// A tolerance: the residual's largest allowed magnitude, in A/D counts of the point's
// read-back range or in volts.
struct Tolerance {
    double value = 2.0;
    Unit unit = Unit::Counts;
};

// The tolerance in counts of a range whose count is voltsPerCount volts.
double toleranceCounts(const Tolerance& t, double voltsPerCount);

// The tolerance of each output range (card::OutputRange order) and of each input range
// (card::kInputRanges order); 2 counts each unless set.
struct Tolerances {
    std::array<Tolerance, card::kOutputRangeCount> outputRanges{};
    std::array<Tolerance, card::kInputRangeCount> inputRanges{};
};

enum class DecisionRule {
    Simple,    // accepted when |r| <= T (guard band w = 0)
    GuardBand, // ILAC-G8:09/2019 binary rule with w = U: accepted when |r| <= A = T - U
};
inline constexpr DecisionRule kDefaultDecisionRule = DecisionRule::GuardBand;
std::string_view ruleName(DecisionRule r); // "simple", "ilac-g8-guard-band"
std::optional<DecisionRule> parseDecisionRule(std::string_view text);

// ILAC-G8's non-binary statements, always with w = U:
// pass |r| <= T - U, conditional pass up to T, conditional fail up to T + U, fail beyond.
enum class Verdict { Pass, ConditionalPass, ConditionalFail, Fail };
std::string_view verdictName(Verdict v); // "pass", "conditional pass", ...

// The limits of one point, in counts.
struct Limits {
    double toleranceCounts = 0.0;           // T
    double expandedUncertaintyCounts = 0.0; // U
    double guardBandCounts = 0.0;           // w: 0 (simple) or U (guard band)
    double acceptanceLimitCounts = 0.0;     // A = T - w
    double testUncertaintyRatio = 0.0;      // TUR = 2T / 2U
    // Under the guard-band rule with U >= T (A <= 0) no result can be accepted: the zone of
    // acceptance is empty, not the single point r = 0.
    bool acceptancePossible = true;
};
Limits limitsFor(DecisionRule rule, double toleranceCounts, double expandedUncertaintyCounts);

// What the record says about the limits when they deserve a word: no result can be
// accepted, or a TUR below 4 (the guard band's share of the tolerance, or under simple
// acceptance the risk of a false pass near the limit). Empty otherwise.
std::string limitsNote(DecisionRule rule, const Limits& l);

enum class Pass { AsFound, AsLeft };

// A residual judged: as found against the tolerance T (was the card within its tolerance
// when it came), as left against the rule's acceptance limit A (may it leave with the new
// codes).
struct Conformity {
    double limitCounts = 0.0; // T as found, A as left
    bool accepted = false;
    Verdict verdict = Verdict::Fail;
};
Conformity judge(Pass pass, double residualCounts, const Limits& l);
Verdict verdictOf(double residualCounts, const Limits& l);

} // namespace record
