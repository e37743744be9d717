// The staircase against histories worked by hand (the arithmetic beside each step).
#include "trend/interval.h"
#include "trend_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace trend;
using namespace trend_testing;

// A calibration whose one end point and one input point were found with these residuals
// (tolerance 2 counts each).
Calibration found(TimePoint start, double endPoint, double input = 0.0) {
    return calibration(start, true, {{"CH0 Unipolar 10V upper", counts(endPoint), counts(0.0)}},
                       {{"10.24V zero", counts(input), counts(0.0)}});
}

std::vector<int> days(const Schedule& s) {
    std::vector<int> out;
    for (const Step& step : s.steps) {
        out.push_back(step.days);
    }
    return out;
}

TEST(Staircase, EachCalibrationMovesTheIntervalByItsAsFoundFinding) {
    const std::vector<Calibration> history{
        found(at(2024, 1, 10), 1.0),       // 1.0 / 2 = 50 %: extend, 365 x 1.5 = 547.5 -> 548
        found(at(2024, 7, 11), -1.8),      // 90 %: in tolerance, keep 548
        found(at(2025, 1, 9), 0.5, -2.5),  // the input point at 125 %: shorten, 548 x 0.5 = 274
        found(at(2025, 6, 1, 9), 1.6, 1.6) // exactly 80 % counts as within: 274 x 1.5 = 411
    };
    const auto s = schedule(history, IntervalPolicy{});
    ASSERT_TRUE(s);
    EXPECT_EQ(days(*s), (std::vector<int>{548, 548, 274, 411}));
    EXPECT_EQ(s->steps[1].judged.finding, Finding::WithinTolerance);
    EXPECT_EQ(s->steps[2].judged.finding, Finding::OutOfTolerance);
    EXPECT_EQ(s->steps[2].judged.worstPoint, "10.24V zero");
    EXPECT_DOUBLE_EQ(s->steps[2].judged.worstRatio, 1.25);
    EXPECT_EQ(s->steps[3].judged.finding, Finding::WithinFraction);
    EXPECT_EQ(s->days, 411);
    // 2025-06-01 09:00 + 411 days = 2026-07-17 09:00.
    EXPECT_EQ(s->due, at(2026, 7, 17, 9));
}

TEST(Staircase, TheBoundsHoldAndTheSettingsAreTheStations) {
    std::vector<Calibration> good(4, found(at(2024, 1, 1), 0.0));
    // 365 -> 547.5 = 548 -> 822 -> 1233, held at 1095 -> 1095.
    EXPECT_EQ(days(*schedule(good, IntervalPolicy{})), (std::vector<int>{548, 822, 1095, 1095}));
    std::vector<Calibration> bad(3, found(at(2024, 1, 1), 3.0));
    // 365 -> 182.5 = 183 -> 91.5 = 92 -> 46, held at 90.
    EXPECT_EQ(days(*schedule(bad, IntervalPolicy{})), (std::vector<int>{183, 92, 90}));
    // A station of its own: start 180 days, x 2, x 0.25, 30 .. 720, good within 50 %.
    const IntervalPolicy own{180, 2.0, 0.25, 30, 720, 0.5};
    const std::vector<Calibration> mixed{found(at(2024, 1, 1), 0.9), found(at(2024, 2, 1), 1.1),
                                         found(at(2024, 3, 1), 2.1)};
    // 0.9 / 2 = 45 %: 360; 55 %: kept 360; out: 90.
    EXPECT_EQ(days(*schedule(mixed, own)), (std::vector<int>{360, 360, 90}));
    EXPECT_FALSE(schedule({}, IntervalPolicy{})) << "no calibration, no due date";
}

TEST(Staircase, PointsNotMeasuredAndAToleranceOfZero) {
    Calibration none = found(at(2024, 1, 1), 0.0);
    none.endPoints[0].asFound.reset();
    none.inputPoints[0].asFound.reset();
    EXPECT_EQ(judgeAsFound(none, 0.8).finding, Finding::NotJudged);
    EXPECT_EQ(schedule({none}, IntervalPolicy{})->days, 365) << "nothing judged: kept";

    Calibration exact = found(at(2024, 1, 1), 0.0);
    exact.endPoints[0].asFound = counts(0.0, 0.0);
    exact.inputPoints.clear();
    EXPECT_EQ(judgeAsFound(exact, 0.8).finding, Finding::WithinFraction);
    exact.endPoints[0].asFound = counts(0.1, 0.0);
    const Judged off = judgeAsFound(exact, 0.8);
    EXPECT_EQ(off.finding, Finding::OutOfTolerance);
    EXPECT_TRUE(std::isinf(off.worstRatio));
}

TEST(Staircase, APolicyThatCannotServeIsRefusedNamingTheSetting) {
    EXPECT_TRUE(checkPolicy(IntervalPolicy{}));
    const auto refused = [](IntervalPolicy p) { return checkPolicy(p).refusal(); };
    IntervalPolicy p;
    p.startDays = 60; // below the minimum of 90
    EXPECT_NE(refused(p).find("days"), std::string::npos);
    p = {};
    p.extendFactor = 0.9;
    EXPECT_NE(refused(p).find("extend factor"), std::string::npos);
    p = {};
    p.shortenFactor = 0.0;
    EXPECT_NE(refused(p).find("shorten factor"), std::string::npos);
    p = {};
    p.withinFraction = 1.5;
    EXPECT_NE(refused(p).find("fraction"), std::string::npos);
    EXPECT_EQ(findingText(Finding::WithinFraction, 0.8), "within 80 % of its tolerance");
}

} // namespace
