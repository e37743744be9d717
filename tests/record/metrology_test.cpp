// The record's metrology against figures worked by hand (the arithmetic beside each).
#include "record/budget.h"
#include "record/calibration_record.h"
#include "record/decision.h"
#include "record/readbacks.h"
#include "record/station.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace record;

constexpr double kEps = 1e-6;

// The issue's bench: +10 V target 32000 counts above a zero reading of 0 on the 10.24 V
// range (0.3125 mV a count), reference measured as 10.000 V with a meter of
// 35 ppm of reading + 5 ppm of range (10 V range) at k = 2.
const MeterUncertainty kMeter{35.0, 5.0, 10.0, 2.0};

EndPointSetup bipolar10(bool upper, card::Int16 zero = 0) {
    EndPointSetup p;
    p.box = card::outputBoxIndex(0, card::OutputRange::Bipolar10V);
    p.upper = upper;
    p.targets.plus10 = static_cast<card::Int16>(zero + 32000);
    p.targets.zero10 = zero;
    p.targets.minus10 = static_cast<card::Int16>(zero - p.targets.plus10); // as the run forms it
    p.ref10Volts = 10.0;
    return p;
}

ReadBacks readBacks(std::vector<card::Int16> readings) {
    return *summarise(std::move(readings));
}

const UncertaintyTerm& termNamed(const UncertaintyBudget& b, std::string_view name) {
    for (const UncertaintyTerm& t : b.terms) {
        if (t.name == name) {
            return t;
        }
    }
    ADD_FAILURE() << "no term " << name;
    return b.terms.front();
}

TEST(ReadBacks, MeanAndStandardDeviationOfTheMean) {
    // 5, 7, 9: mean 7; s = sqrt((4 + 0 + 4) / 2) = 2; s / sqrt(3) = 1.154701.
    const ReadBacks r = readBacks({5, 7, 9});
    EXPECT_DOUBLE_EQ(r.meanCounts, 7.0);
    EXPECT_DOUBLE_EQ(*r.standardDeviationCounts, 2.0);
    EXPECT_NEAR(*r.standardDeviationOfMeanCounts, 1.154701, kEps);
    // Large counts whose spread is small: the deviations are taken from the mean.
    const ReadBacks big = readBacks({32766, 32767, 32766, 32767});
    EXPECT_NEAR(*big.standardDeviationCounts, 0.577350, kEps); // sqrt(4 x 0.25 / 3)
    // One reading has no spread to estimate; none is no read-back at all.
    EXPECT_FALSE(readBacks({3}).standardDeviationCounts.has_value());
    EXPECT_FALSE(summarise({}).has_value());
}

TEST(UncertaintyBudget, TheIssuesExampleOnTheTenVoltRange) {
    // Meter: U = 35e-6 x 10 V + 5e-6 x 10 V = 0.40 mV at k = 2, u_ref = 0.20 mV.
    EXPECT_NEAR(expandedVolts(kMeter, 10.0), 0.40e-3, 1e-12);
    // Carried to the +10 V target: 32000 x 0.20 mV / 10 V = 0.64 counts = 0.20 mV.
    const UncertaintyBudget b =
        endPointBudget(bipolar10(true), readBacks({32000, 32000, 32000, 32000}), kMeter);
    EXPECT_NEAR(termNamed(b, kReferenceMeterTerm).counts, 0.64, kEps);
    EXPECT_NEAR(termNamed(b, kReferenceMeterTerm).volts, 0.20e-3, 1e-9);
    // Alone it gives the issue's U = 1.28 counts (0.40 mV): TUR = 2 / 1.28 = 1.5625,
    // A = 2 - 1.28 = 0.72 counts (0.225 mV).
    const Limits meterOnly = limitsFor(DecisionRule::GuardBand, 2.0, 2 * 0.64);
    EXPECT_NEAR(meterOnly.testUncertaintyRatio, 1.5625, kEps);
    EXPECT_NEAR(meterOnly.acceptanceLimitCounts, 0.72, kEps);
    // A/D: 0.5 / sqrt(3) = 0.288675; D/A at the nominal slope of Bipolar 10V
    // (20 V / 65536 a code over 0.3125 mV a count = 0.9765625 counts a code):
    // 0.5 x 0.9765625 / sqrt(3) = 0.281909; four equal readings: s / sqrt(n) = 0.
    EXPECT_NEAR(termNamed(b, kAdResolutionTerm).counts, 0.288675, kEps);
    EXPECT_NEAR(termNamed(b, kDaResolutionTerm).counts, 0.281909, kEps);
    EXPECT_DOUBLE_EQ(termNamed(b, kRepeatabilityTerm).counts, 0.0);
    // u_c^2 = 0.4096 + 0.083333 + 0.079473 = 0.572406; u_c = 0.756575;
    // U = 1.513151 counts = 0.472860 mV; TUR = 2 / 1.513151 = 1.321745; A = 0.486849.
    EXPECT_TRUE(b.complete());
    EXPECT_NEAR(b.combinedCounts, 0.756575, kEps);
    EXPECT_NEAR(b.expandedCounts, 1.513151, kEps);
    EXPECT_NEAR(b.expandedVolts, 0.472860e-3, 1e-9);
    const Limits l = limitsFor(DecisionRule::GuardBand, 2.0, b.expandedCounts);
    EXPECT_NEAR(l.testUncertaintyRatio, 1.321745, kEps);
    EXPECT_NEAR(l.acceptanceLimitCounts, 0.486849, kEps);
    // 1.513151 / 2 = 75.7 % of the tolerance goes to the guard band.
    EXPECT_EQ(limitsNote(DecisionRule::GuardBand, l),
              "TUR 1.32 is below 4: the guard band takes 75.7 % of the tolerance.");
}

TEST(UncertaintyBudget, TheReferenceReachesEachEndPointThroughTheRunsSpan) {
    // Zero reading 10: +10 V = 32010, -10 V = 10 - 32010 = -32000. Both move by the span
    // 32010 - 10 = 32000 (not by -10 V's distance 32010 from Z): 0.64 counts each.
    const ReadBacks r = readBacks({0, 0});
    EXPECT_DOUBLE_EQ(referenceSpanCounts(bipolar10(true, 10)), 32000.0);
    EXPECT_DOUBLE_EQ(referenceSpanCounts(bipolar10(false, 10)), 32000.0);
    EXPECT_EQ(targetOf(bipolar10(false, 10)), -32000);
    EXPECT_NEAR(
        termNamed(endPointBudget(bipolar10(false, 10), r, kMeter), kReferenceMeterTerm).counts,
        0.64, kEps);
    // Unipolar 10V's 0 V target is the zero reading itself: the reference does not enter,
    // so the budget is complete even with no meter recorded.
    EndPointSetup zero = bipolar10(false, 10);
    zero.box = card::outputBoxIndex(1, card::OutputRange::Unipolar10V);
    const UncertaintyBudget z = endPointBudget(zero, r, std::nullopt);
    EXPECT_TRUE(z.complete());
    EXPECT_DOUBLE_EQ(termNamed(z, kReferenceMeterTerm).counts, 0.0);
    // The 5 V range: 5.12 V / 32768 = 0.15625 mV a count; meter at 5 V:
    // (35e-6 x 5 + 5e-6 x 10) / 2 = 0.1125 mV; 32000 x 0.1125 mV / 5 V = 0.72 counts;
    // nominal D/A slope of Unipolar 5V: 5 V / 65536 / 0.15625 mV = 0.48828125.
    EndPointSetup five;
    five.box = card::outputBoxIndex(0, card::OutputRange::Unipolar5V);
    five.targets.plus5 = 32000;
    five.ref5Volts = 5.0;
    const UncertaintyBudget f = endPointBudget(five, r, kMeter);
    EXPECT_DOUBLE_EQ(voltsPerCount(five), 0.15625e-3);
    EXPECT_NEAR(termNamed(f, kReferenceMeterTerm).counts, 0.72, kEps);
    EXPECT_NEAR(termNamed(f, kReferenceMeterTerm).volts, 0.1125e-3, 1e-9);
    EXPECT_NEAR(termNamed(f, kDaResolutionTerm).counts, 0.5 * 0.48828125 / std::sqrt(3.0), kEps);
}

TEST(UncertaintyBudget, WhatCannotBeEvaluatedIsNamedAndLeftOut) {
    // No meter and a single reading: A/D and D/A only, with the search's slope of 1:
    // sqrt(2 x 0.25 / 3) = 0.408248.
    EndPointSetup p = bipolar10(true);
    p.slopeCountsPerCode = 1.0;
    const UncertaintyBudget b = endPointBudget(p, readBacks({32000}), std::nullopt);
    EXPECT_EQ(b.notEvaluated, (std::vector<std::string>{std::string(kReferenceMeterTerm),
                                                        std::string(kRepeatabilityTerm)}));
    EXPECT_NEAR(b.combinedCounts, 0.408248, kEps);
}

TEST(UncertaintyBudget, AnInputPointAndAToleranceInVolts) {
    // 0.64V range: 0.64 / 32768 = 19.53125 uV a count. Readings 100, 101 against the kept
    // code 100: r = 0.5; s = 0.707107, s / sqrt(2) = 0.5; A/D 0.288675;
    // u_c = sqrt(0.25 + 0.083333) = 0.577350, U = 1.154701 counts = 22.552745 uV.
    const card::Gain g = card::Gain::Range0_64V;
    ReadBacks r = readBacks({100, 101});
    UncertaintyBudget b = inputPointBudget(g, r);
    EXPECT_NEAR(b.expandedCounts, 1.154701, kEps);
    EXPECT_NEAR(b.expandedVolts, 22.552745e-6, 1e-12);
    // A tolerance of 39.0625 uV is 2 counts there: A = 2 - 1.154701 = 0.845299.
    const PointResult p = assess(Pass::AsLeft, 100, std::move(r), std::move(b), voltsPerCount(g),
                                 Tolerance{39.0625e-6, Unit::Volts}, DecisionRule::GuardBand);
    EXPECT_NEAR(p.limits.toleranceCounts, 2.0, 1e-9);
    EXPECT_NEAR(p.limits.acceptanceLimitCounts, 0.845299, kEps);
    EXPECT_TRUE(p.conformity.accepted);
}

TEST(Decision, PointsJustInsideAndJustOutsideTheAcceptanceLimit) {
    // Against the issue's U = 1.28: A = 0.72 counts.
    const Limits l = limitsFor(DecisionRule::GuardBand, 2.0, 1.28);
    EXPECT_TRUE(judge(Pass::AsLeft, 0.7199, l).accepted);
    EXPECT_FALSE(judge(Pass::AsLeft, -0.7201, l).accepted);
    // Whole read-backs through the full budget, target 32000:
    // 32000, 32000, 32000, 32001: r = 0.25, s = 0.5, s / 2 = 0.25;
    //   u_c^2 = 0.572406 + 0.0625 = 0.634906, U = 1.593620, A = 0.406380: accepted.
    // 32000, 32001, 32000, 32001: r = 0.5, s = 0.577350, s / 2 = 0.288675;
    //   u_c^2 = 0.572406 + 0.083333 = 0.655740, U = 1.619555, A = 0.380445: not accepted,
    //   though within the tolerance (conditional pass).
    const auto asLeft = [](std::vector<card::Int16> readings) {
        const EndPointSetup p = bipolar10(true);
        ReadBacks r = readBacks(std::move(readings));
        UncertaintyBudget b = endPointBudget(p, r, kMeter);
        return assess(Pass::AsLeft, targetOf(p), std::move(r), std::move(b), voltsPerCount(p),
                      Tolerance{}, DecisionRule::GuardBand);
    };
    const PointResult inside = asLeft({32000, 32000, 32000, 32001});
    EXPECT_NEAR(inside.limits.acceptanceLimitCounts, 0.406380, kEps);
    EXPECT_TRUE(inside.conformity.accepted);
    EXPECT_EQ(inside.conformity.verdict, Verdict::Pass);
    const PointResult outside = asLeft({32000, 32001, 32000, 32001});
    EXPECT_NEAR(outside.residualCounts, 0.5, kEps);
    EXPECT_NEAR(outside.residualVolts(), 0.15625e-3, 1e-12);
    EXPECT_NEAR(outside.limits.acceptanceLimitCounts, 0.380445, kEps);
    EXPECT_FALSE(outside.conformity.accepted);
    EXPECT_EQ(outside.conformity.verdict, Verdict::ConditionalPass);
}

TEST(Decision, NonBinaryVerdictsAndWhatEachPassIsJudgedAgainst) {
    // T = 2, U = 1.28: pass up to 0.72, conditional pass up to 2, conditional fail up to
    // 3.28, fail beyond; on either side of the target.
    const Limits l = limitsFor(DecisionRule::GuardBand, 2.0, 1.28);
    EXPECT_EQ(verdictOf(0.5, l), Verdict::Pass);
    EXPECT_EQ(verdictOf(-1.5, l), Verdict::ConditionalPass);
    EXPECT_EQ(verdictOf(2.0, l), Verdict::ConditionalPass);
    EXPECT_EQ(verdictOf(2.5, l), Verdict::ConditionalFail);
    EXPECT_EQ(verdictOf(-3.5, l), Verdict::Fail);
    EXPECT_EQ(verdictName(Verdict::ConditionalFail), "conditional fail");
    // As found, 1.5 is within the tolerance; as left, the same residual is not accepted.
    EXPECT_TRUE(judge(Pass::AsFound, 1.5, l).accepted);
    EXPECT_DOUBLE_EQ(judge(Pass::AsFound, 1.5, l).limitCounts, 2.0);
    EXPECT_FALSE(judge(Pass::AsLeft, 1.5, l).accepted);
}

TEST(Decision, SimpleAcceptanceAcceptsUpToTheToleranceItself) {
    const Limits l = limitsFor(DecisionRule::Simple, 2.0, 1.28);
    EXPECT_DOUBLE_EQ(l.acceptanceLimitCounts, 2.0);
    EXPECT_DOUBLE_EQ(l.guardBandCounts, 0.0);
    EXPECT_TRUE(judge(Pass::AsLeft, -2.0, l).accepted);
    EXPECT_EQ(judge(Pass::AsLeft, -2.0, l).verdict, Verdict::ConditionalPass);
    EXPECT_FALSE(judge(Pass::AsLeft, 2.0001, l).accepted);
    EXPECT_EQ(parseDecisionRule("simple"), DecisionRule::Simple);
    EXPECT_EQ(parseDecisionRule("ilac-g8-guard-band"), DecisionRule::GuardBand);
    EXPECT_FALSE(parseDecisionRule("guard").has_value());
}

TEST(Decision, AnUncertaintyAsLargeAsTheToleranceLeavesNothingToAccept) {
    // T = U = 1.28: A = 0, and even a residual of 0 is not accepted under the guard band.
    const Limits equal = limitsFor(DecisionRule::GuardBand, 1.28, 1.28);
    EXPECT_FALSE(equal.acceptancePossible);
    EXPECT_FALSE(judge(Pass::AsLeft, 0.0, equal).accepted);
    EXPECT_EQ(verdictOf(0.0, equal), Verdict::ConditionalPass);
    const Limits over = limitsFor(DecisionRule::GuardBand, 1.0, 1.28);
    EXPECT_DOUBLE_EQ(over.acceptanceLimitCounts, 1.0 - 1.28);
    EXPECT_EQ(limitsNote(DecisionRule::GuardBand, over),
              "U = 1.28 counts is not smaller than T = 1 counts: no result can be accepted "
              "under the ilac-g8-guard-band rule.");
    // Tolerances in volts: 0.625 mV on the 10.24 V range is 2 counts.
    EXPECT_NEAR(toleranceCounts(Tolerance{0.625e-3, Unit::Volts}, 0.3125e-3), 2.0, 1e-12);
}

TEST(Decision, TheRecordSaysWhereNothingCouldBeAccepted) {
    // Bipolar 10V upper, four equal readings: U = 1.513151 (above); a tolerance of 1.5
    // counts leaves A = -0.013151: even r = 0 is not accepted, and the statement says why.
    CalibrationRecord r;
    r.tolerances.outputRanges[static_cast<std::size_t>(card::OutputRange::Bipolar10V)] =
        Tolerance{1.5, Unit::Counts};
    const EndPointSetup p = bipolar10(true);
    ReadBacks rb = readBacks({32000, 32000, 32000, 32000});
    OutputPoint point{p.box, true, targetOf(p), {}, {}, {}, {}, {}, {}};
    point.asLeft = assess(Pass::AsLeft, targetOf(p), rb, endPointBudget(p, rb, kMeter),
                          voltsPerCount(p), r.tolerances.outputRanges[3], r.rule);
    EXPECT_NEAR(point.asLeft->limits.acceptanceLimitCounts, -0.013151, kEps);
    EXPECT_FALSE(point.asLeft->conformity.accepted);
    r.outputs.push_back(point);
    const ConformitySummary s = conformity(r);
    EXPECT_EQ(s.noAcceptancePossible, 1);
    EXPECT_NE(s.statement.find("At 1 point U is not smaller than T: no result there can be "
                               "accepted under this rule."),
              std::string::npos);
}

TEST(Station, AMeterPastItsDueDateIsRefusedUnlessUsedAnyway) {
    Station s;
    s.meter = ReferenceMeter{"Fluke", "8846A", "1234567", "C-88", parseDate("2025-03-31"), kMeter};
    EXPECT_EQ(dueState(s, *parseDate("2025-03-31")), DueState::InDate);
    EXPECT_EQ(dueState(s, *parseDate("2025-04-01")), DueState::PastDue);
    const core::Status refused = meterMayBeUsed(s, *parseDate("2025-04-01"), false);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.kind(), core::Kind::Input);
    EXPECT_EQ(refused.refusal(), "The reference meter Fluke 8846A (serial 1234567) was due for "
                                 "calibration on 2025-03-31; this calibration is dated "
                                 "2025-04-01.");
    EXPECT_TRUE(meterMayBeUsed(s, *parseDate("2025-04-01"), true));
    // No due date (or no meter): nothing to refuse, and the record says "not recorded".
    s.meter->dueDate.reset();
    EXPECT_EQ(dueState(s, *parseDate("2030-01-01")), DueState::NotRecorded);
    EXPECT_TRUE(meterMayBeUsed(s, *parseDate("2030-01-01"), false));
    EXPECT_EQ(orNotRecorded(s.laboratoryName), "not recorded");
    // Dates are real days in one form.
    EXPECT_TRUE(parseDate("2024-02-29").has_value());
    EXPECT_FALSE(parseDate("2025-02-29").has_value());
    EXPECT_FALSE(parseDate("2025-3-31").has_value());
    EXPECT_EQ(formatDate(*dateOfUtc("2025-04-01T23:59:59Z")), "2025-04-01");
}

} // namespace
