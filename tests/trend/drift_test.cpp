// The drift between calibrations against a history worked by hand (the arithmetic beside
// each figure). 10 V ranges: 0.3125 mV a count, tolerance 2 counts = 0.625 mV.
#include "trend/drift.h"
#include "trend_fixtures.h"

#include <gtest/gtest.h>

namespace {

using namespace trend;
using namespace trend_testing;

constexpr double kMilli = 1e-3;
constexpr double kEps = 1e-9;
const std::string kFast = "CH0 Unipolar 10V upper";
const std::string kSlow = "CH0 Unipolar 10V lower";

// A: 2025-01-01 08:00, saved. B: 2025-07-02 08:00 (182 days on), saved. C: 2026-01-01 08:00
// (183 days on), not saved: the card kept what B left.
std::vector<Calibration> threeCalibrations() {
    return {
        calibration(at(2025, 1, 1), true,
                    {{kFast, counts(5.0), counts(0.4)},    // left +0.125 mV
                     {kSlow, counts(-3.0), counts(0.0)}}), // left 0
        calibration(at(2025, 7, 2), true,
                    {{kFast, counts(3.6), counts(-0.2)},  // found +1.125, left -0.0625 mV
                     {kSlow, counts(0.4), counts(0.0)}}), // found +0.125, left 0
        calibration(at(2026, 1, 1), false,
                    {{kFast, counts(2.8), counts(0.0)},    // found +0.875 mV, kept
                     {kSlow, counts(-0.2), counts(0.0)}}), // found -0.0625 mV, kept
    };
}

TEST(Drift, AsFoundAgainstWhatTheCalibrationBeforeLeftPerYear) {
    const Drift d = drift(threeCalibrations(), at(2026, 4, 2)); // due 91 days after C
    ASSERT_EQ(d.endPoints.size(), 2u);
    const EndPointDrift& fast = d.endPoints[0];
    EXPECT_EQ(fast.name, kFast);
    ASSERT_EQ(fast.spans.size(), 2u);
    EXPECT_EQ(fast.spans[0].from, 0);
    EXPECT_EQ(fast.spans[0].to, 1);
    EXPECT_DOUBLE_EQ(fast.spans[0].days, 182.0);
    // (1.125 - 0.125) mV / 182 days x 365.25 = 2.006868 mV a year.
    EXPECT_NEAR(fast.spans[0].voltsPerYear / kMilli, 2.006868, 1e-6);
    // (0.875 - (-0.0625)) mV / 183 days x 365.25 = 1.871158 mV a year.
    EXPECT_NEAR(fast.spans[1].voltsPerYear / kMilli, 1.871158, 1e-6);
    // Over both: (1.0 + 0.9375) mV / 365 days x 365.25 = 1.938827 mV a year.
    EXPECT_NEAR(*fast.voltsPerYear / kMilli, 1.938827, 1e-6);
    // C was not saved: the card holds what C found, +0.875 mV; by the due date
    // 0.875 + 1.938827 x 91 / 365.25 = 1.358048 mV, beyond 0.625 mV.
    EXPECT_NEAR(*fast.leftVolts / kMilli, 0.875, kEps);
    EXPECT_NEAR(*fast.atDueVolts / kMilli, 1.358048, 1e-6);
    EXPECT_NEAR(fast.toleranceVolts / kMilli, 0.625, kEps);
    EXPECT_TRUE(fast.atRisk);

    const EndPointDrift& slow = d.endPoints[1];
    // (0.125 - 0) / 182 x 365.25 = 0.250858; (-0.0625 - 0) / 183 x 365.25 = -0.124744;
    // over both (0.125 - 0.0625) / 365 x 365.25 = 0.062543 mV a year.
    EXPECT_NEAR(slow.spans[0].voltsPerYear / kMilli, 0.250858, 1e-6);
    EXPECT_NEAR(slow.spans[1].voltsPerYear / kMilli, -0.124744, 1e-6);
    EXPECT_NEAR(*slow.voltsPerYear / kMilli, 0.062543, 1e-6);
    // -0.0625 + 0.062543 x 91 / 365.25 = -0.046918 mV: within.
    EXPECT_NEAR(*slow.atDueVolts / kMilli, -0.046918, 1e-6);
    EXPECT_FALSE(slow.atRisk);
    EXPECT_EQ(d.atRisk, std::vector<std::string>{kFast});
}

TEST(Drift, NoSpanAcrossAnotherWriteAMissingPointOrTimeThatDidNotPass) {
    std::vector<Calibration> c = threeCalibrations();
    c[2].changedBefore = "RECOVER (written) on 2025-10-01";
    c[1].endPoints[1].asFound.reset();
    Drift d = drift(c, std::nullopt);
    // The fast end point keeps only A -> B; the slow one has no span left.
    ASSERT_EQ(d.endPoints[0].spans.size(), 1u);
    EXPECT_NEAR(*d.endPoints[0].voltsPerYear / kMilli, 2.006868, 1e-6);
    EXPECT_TRUE(d.endPoints[1].spans.empty());
    EXPECT_FALSE(d.endPoints[1].voltsPerYear);
    EXPECT_FALSE(d.endPoints[0].atDueVolts) << "no due date, nothing extrapolated";
    EXPECT_FALSE(d.endPoints[0].atRisk);

    // Two calibrations at the same moment (or a later one dated before): no span.
    c = threeCalibrations();
    c[1].start = c[0].start;
    c[2].start = c[0].start - std::chrono::hours{1};
    d = drift(c, at(2026, 4, 2));
    EXPECT_TRUE(d.endPoints[0].spans.empty());
    EXPECT_TRUE(d.atRisk.empty());
}

TEST(Drift, EndPointsOfEveryCalibrationAndASingleCalibration) {
    std::vector<Calibration> c = threeCalibrations();
    c[0].endPoints.push_back({"CH1 Bipolar 5V upper", counts(1.0), counts(0.0)});
    const Drift d = drift(c, at(2026, 4, 2));
    ASSERT_EQ(d.endPoints.size(), 3u);
    EXPECT_EQ(d.endPoints[2].name, "CH1 Bipolar 5V upper") << "after the last one's";
    EXPECT_FALSE(d.endPoints[2].leftVolts) << "the last calibration did not measure it";

    const Drift one = drift({threeCalibrations()[1]}, at(2026, 1, 1));
    ASSERT_EQ(one.endPoints.size(), 2u);
    EXPECT_NEAR(*one.endPoints[0].leftVolts / kMilli, -0.0625, kEps) << "saved: its as left";
    EXPECT_FALSE(one.endPoints[0].voltsPerYear);
    EXPECT_TRUE(drift({}, std::nullopt).endPoints.empty());
}

} // namespace
