#include "autocal/autocal_da.h"
#include "caldata/conversions.h"
#include "model_card.h"
#include "session/board.h"

#include <gtest/gtest.h>

namespace {

using autocal::Outcome;
using autocal_testing::Int16;
using autocal_testing::Long;
using autocal_testing::ModelCard;
using testing::ElementsAre;
using testing::HasSubstr;

// AutoCalDA on a model card and an in-memory table; every driver call, reading, highlight
// and box change goes into one log, in order.
struct DaRig {
    DaRig() {
        table.onChange = [this](caldata::Field f) { card.log.push_back("B" + table.text(f)); };
    }
    core::Result<autocal::EndPoint> run(Int16 channel, Int16 range, Int16 maxmin, Int16 target) {
        return autocal::AutoCalDA(env, 0, channel, range, maxmin, target);
    }
    // The log from the first write of the fine search on (after the probe, or after the
    // first reading of a unipolar lower end point).
    std::vector<std::string> fineLog(std::size_t skip) const {
        return {card.log.begin() + static_cast<std::ptrdiff_t>(skip), card.log.end()};
    }
    std::vector<Long> writesAfter(std::size_t n) const {
        return {card.writes.begin() + static_cast<std::ptrdiff_t>(n), card.writes.end()};
    }

    ModelCard card;
    testing_support::Rig rig{card.driver};
    testing_support::MemoryTable table;
    session::Context ctx = rig.context();
    bool stop = false;
    autocal::Environment env{ctx, card, table,
                             [this](Int16 step, Long colour) {
                                 card.log.push_back("H" + std::to_string(step) + "/" +
                                                    std::to_string(colour));
                             },
                             [this] { return stop; }};
};

TEST(AutoCalDA, UpperEndPointCallsInOrderAndShowsEachNextCodeBeforeTryingIt) {
    DaRig r;
    // r1 1000 at FFFF, r2 990 at FFF5: (1000 - 980) / 10 = 2, so the search starts at FFEB.
    r.card.script = {1000, 990, 975, 971, 970};
    const auto result = r.run(1, 3, 1, 970);
    ASSERT_TRUE(result) << result.refusal();
    ASSERT_EQ(result->outcome, Outcome::Done);
    EXPECT_EQ(result->wCalDAVal, static_cast<Int16>(0xFFE8));
    EXPECT_THAT(r.card.log,
                ElementsAre("C1.3", "H7/65280", "W-1", "R7.1", "W-11", "R7.1", "W-21", "R7.1",
                            "BFFEA", "W-22", "R7.1", "BFFE9", "W-23", "R7.1", "BFFE8"));
    EXPECT_EQ(r.table.text(caldata::aoMax(7)), "FFE8");
    EXPECT_GE(r.rig.clock.time, 1.0); // the settling wait before the first reading
    EXPECT_LT(r.rig.clock.time, 1.1);
    EXPECT_EQ(r.rig.state.wErrCode, 0);
}

TEST(AutoCalDA, BipolarLowerEndPointEstimatesFromTheProbeAndSearchesUpward) {
    DaRig r;
    r.card.script = {-1000, -990, -975, -971, -970};
    const auto result = r.run(0, 1, 0, -970);
    ASSERT_TRUE(result) << result.refusal();
    ASSERT_EQ(result->outcome, Outcome::Done);
    EXPECT_EQ(result->wCalDAVal, 0x17);
    EXPECT_THAT(r.card.log, ElementsAre("C0.1", "H2/65280", "W0", "R5.2", "W10", "R5.2", "W20",
                                        "R5.2", "B15", "W21", "R5.2", "B16", "W22", "R5.2", "B17"));
    EXPECT_EQ(r.table.text(caldata::aoMin(2)), "17");
}

TEST(AutoCalDA, QuotientHalvesGoToTheEvenNeighbour) {
    struct Case {
        Int16 maxmin, range, r1, r2, target;
        Long firstFineWrite;
    };
    for (const Case& c : {
             Case{1, 0, 1000, 990, 965, -21},   // 2.5 -> 2: FFFF - 20
             Case{1, 0, 1000, 990, 955, -41},   // 3.5 -> 4: FFFF - 40
             Case{0, 3, -1000, -990, -965, 20}, // 2.5 -> 2
             Case{0, 3, -1000, -990, -955, 40}, // 3.5 -> 4
         }) {
        DaRig r;
        r.card.script = {c.r1, c.r2, c.target};
        const auto result = r.run(0, c.range, c.maxmin, c.target);
        ASSERT_TRUE(result) << result.refusal();
        ASSERT_EQ(result->outcome, Outcome::Done);
        ASSERT_EQ(r.card.writes.size(), 3u);
        EXPECT_EQ(r.card.writes[2], c.firstFineWrite);
        // The estimate already reached the target: written once, one code further returned.
        EXPECT_EQ(result->wCalDAVal, static_cast<Int16>(c.firstFineWrite + (c.maxmin ? -1 : 1)));
    }
}

TEST(AutoCalDA, StartsTheFineSearchAtTheStartCodeWhenTheEstimateWouldPassIt) {
    // r1 equal to the target + 10: n = 0, the search starts from FFFF.
    DaRig a;
    a.card.script = {1000, 995, 992, 990};
    auto result = a.run(0, 2, 1, 990);
    ASSERT_TRUE(result) << result.refusal();
    ASSERT_EQ(result->outcome, Outcome::Done);
    EXPECT_THAT(a.writesAfter(2), ElementsAre(-1, -2));
    EXPECT_EQ(result->wCalDAVal, -3);

    // r1 within the margin: the estimate would lie above FFFF (and wrap to the bottom of the
    // range); the search starts at FFFF instead.
    DaRig b;
    b.card.script = {1000, 999, 996, 995};
    result = b.run(0, 2, 1, 995);
    ASSERT_TRUE(result) << result.refusal();
    ASSERT_EQ(result->outcome, Outcome::Done);
    EXPECT_THAT(b.writesAfter(2), ElementsAre(-1, -2));
    EXPECT_EQ(result->wCalDAVal, -3);

    // The estimate is the probe code, whose reading already reached the target: it is
    // returned without a write.
    DaRig c;
    c.card.script = {1000, 948};
    result = c.run(0, 2, 1, 950);
    ASSERT_TRUE(result) << result.refusal();
    ASSERT_EQ(result->outcome, Outcome::Done);
    EXPECT_EQ(c.card.writes.size(), 2u);
    EXPECT_EQ(result->wCalDAVal, -11);
}

// Where the search is to start at the start code, it runs from there, tested first against
// the start code's own reading: neither a probe that moved the wrong way nor a probe that
// already read past the target may decide the code. Each case on the model's CH1 Bipolar 10V
// output, with the target a few counts from the reading at the start code.
TEST(AutoCalDA, SearchFromTheStartCodeEndsWhereTheOutputReachesTheTarget) {
    struct Case {
        Int16 maxmin;
        int offset;     // the target's distance from the reading at the start code
        int probeNoise; // nonzero: the probe reads the start code's reading plus this
    };
    for (const Case& c : {
             Case{1, -3, 0}, // the probe already below the target: FFFF was returned
             Case{0, 3, 0},  // the probe already above it: 0000 was returned
             Case{1, -5, 1}, // the probe one count up: FFCC was returned
             Case{0, 5, -1}, // the probe one count down: 0033 was returned
         }) {
        SCOPED_TRACE(std::to_string(c.maxmin) + " " + std::to_string(c.offset));
        DaRig r;
        const std::uint16_t start = c.maxmin ? 0xFFFF : 0x0000;
        const int step = c.maxmin ? -1 : 1;
        auto readingAt = [&](int code) {
            r.card.range[1] = 3;
            r.card.code[1] = static_cast<std::uint16_t>(code);
            return r.card.modelReading(7, 1);
        };
        const Int16 atStart = readingAt(start);
        const auto target = static_cast<Int16>(atStart + c.offset);
        if (c.probeNoise != 0) {
            r.card.script = {atStart, static_cast<Int16>(atStart + c.probeNoise)};
        }
        const auto result = r.run(1, 3, c.maxmin, target);
        ASSERT_TRUE(result) << result.refusal();
        ASSERT_EQ(result->outcome, Outcome::Done);
        ASSERT_GT(r.card.writes.size(), 2u);
        EXPECT_EQ(static_cast<std::uint16_t>(r.card.writes[2]), start);
        // The last code written reached the target, the one before it had not; the result is
        // one code further.
        const int last = static_cast<std::uint16_t>(r.card.writes.back());
        EXPECT_EQ(static_cast<std::uint16_t>(result->wCalDAVal), last + step);
        const Int16 atLast = readingAt(last);
        const Int16 before = readingAt(last - step);
        EXPECT_TRUE(c.maxmin ? atLast <= target && before > target
                             : atLast >= target && before < target)
            << last << ": " << atLast << ", " << before;
    }
}

TEST(AutoCalDA, UnipolarLowerEndPointHasNoEstimate) {
    for (Int16 target : {Int16{0}, Int16{-2}}) {
        DaRig r;
        r.card.script = {25};
        const auto result = r.run(0, 0, 0, target);
        ASSERT_TRUE(result) << result.refusal();
        ASSERT_EQ(result->outcome, Outcome::Done);
        EXPECT_EQ(result->wCalDAVal, 0);
        EXPECT_THAT(r.card.log, ElementsAre("C0.0", "H0/65280", "W0", "R5.2"));
        EXPECT_GE(r.rig.clock.time, 1.0);
    }
    // A positive target: the search starts at 0000 and ends one code past the first reading
    // at or above the target.
    DaRig r;
    r.card.script = {1, 1, 2, 3};
    const auto result = r.run(1, 2, 0, 3);
    ASSERT_TRUE(result) << result.refusal();
    ASSERT_EQ(result->outcome, Outcome::Done);
    EXPECT_EQ(result->wCalDAVal, 3);
    EXPECT_THAT(r.card.log, ElementsAre("C1.2", "H5/65280", "W0", "R7.1", "W0", "R7.1", "B1", "W1",
                                        "R7.1", "B2", "W2", "R7.1", "B3"));

    // 0000 reading below a target of 0 or below: searched from 0000 as well.
    DaRig below;
    below.card.script = {-5, -5, -3, -2};
    const auto searched = below.run(0, 0, 0, -2);
    ASSERT_TRUE(searched) << searched.refusal();
    EXPECT_EQ(searched->wCalDAVal, 3);
    EXPECT_THAT(below.writesAfter(1), ElementsAre(0, 1, 2));
}

TEST(AutoCalDA, RangeCodeOutsideTheTableUsesGroupZeroAndGainSeven) {
    DaRig upper;
    upper.card.script = {1000, 990, 975, 970};
    auto result = upper.run(1, 9, 1, 970);
    ASSERT_TRUE(result) << result.refusal();
    ASSERT_EQ(result->outcome, Outcome::Done);
    EXPECT_EQ(upper.card.log[0], "C1.9");
    EXPECT_EQ(upper.card.log[1], "H0/65280");
    EXPECT_EQ(upper.card.reads.front(), std::make_pair(Int16{7}, Int16{7}));
    EXPECT_EQ(upper.table.text(caldata::aoMax(0)), caldata::hexText16(result->wCalDAVal));

    // Its lower end point takes the unipolar way: no probe.
    DaRig lower;
    lower.card.script = {0, 1, 2};
    result = lower.run(0, -1, 0, 2);
    ASSERT_TRUE(result) << result.refusal();
    ASSERT_EQ(result->outcome, Outcome::Done);
    EXPECT_EQ(result->wCalDAVal, 2);
    EXPECT_EQ(lower.table.text(caldata::aoMin(0)), "2");
    EXPECT_EQ(lower.card.reads.front(), std::make_pair(Int16{5}, Int16{7}));
}

TEST(AutoCalDA, FindsTheCodeWhereTheModelOutputReachesTheTarget) {
    for (Int16 range = 0; range < 4; ++range) {
        for (Int16 maxmin : {Int16{1}, Int16{0}}) {
            DaRig r;
            const Int16 gain = range < 2 ? 2 : 1;
            const double full = range < 2 ? 5.0 : 10.0;
            const bool bipolar = range == 1 || range == 3;
            const double volts = maxmin ? full : (bipolar ? -full : 0.0);
            const auto target =
                static_cast<Int16>(std::nearbyint(volts / ModelCard::fullScale(gain) * 32768) + 2);
            const auto result = r.run(1, range, maxmin, target);
            ASSERT_TRUE(result) << result.refusal();
            ASSERT_EQ(result->outcome, Outcome::Done) << range << " " << maxmin;
            if (maxmin == 0 && !bipolar) {
                continue; // the model's unipolar outputs start above 0 V
            }
            // The channel is left at the last code written, one step short of the result,
            // whose reading reached the target; the code before it had not.
            const auto last = static_cast<Int16>(r.card.writes.back());
            EXPECT_EQ(last, static_cast<Int16>(result->wCalDAVal + (maxmin ? 1 : -1)));
            const Int16 atLast = r.card.modelReading(7, gain);
            EXPECT_TRUE(maxmin ? atLast <= target : atLast >= target);
            r.card.code[1] = static_cast<std::uint16_t>(last + (maxmin ? 1 : -1));
            const Int16 before = r.card.modelReading(7, gain);
            EXPECT_TRUE(maxmin ? before > target : before < target);
            EXPECT_LE(r.card.reads.size(), 60u); // the estimate leaves a short fine search
        }
    }
}

TEST(AutoCalDA, FailsWithoutAUsableSlopeOrWithinTheSixteenBitRange) {
    struct Case {
        Int16 range, maxmin, target;
        std::deque<Int16> script;
        const char* reason;
    };
    for (const Case& c : {
             Case{0, 1, 900, {1000, 1000}, "do not change with the code"},    // no slope
             Case{3, 0, -900, {-1000, -1000}, "do not change with the code"}, // no slope
             Case{0, 1, 32760, {}, "too close to the end"},                   // target + 10
             Case{1, 0, -32760, {}, "too close to the end"},                  // target - 10
             Case{0, 1, -30000, {30000, 29999}, "beyond code 8000"},          // quotient
             Case{3, 0, 30000, {-30000, -29999}, "beyond code 7FFF"},         // 10 x n
             // The output at the start code already past the target: unreachable.
             Case{0, 1, 30000, {-30000, -30001}, "already below the target 30000"},
             Case{3, 0, -30000, {30000, 30001}, "already above the target -30000"},
             Case{2, 1, 1000, {999}, "reads 999 at code FFFF"},
         }) {
        DaRig r;
        r.card.script = c.script;
        const auto result = r.run(0, c.range, c.maxmin, c.target);
        ASSERT_FALSE(result) << c.reason;
        EXPECT_THAT(result.refusal(), HasSubstr(c.reason));
        EXPECT_LE(r.card.writes.size(), 2u); // no fine search
    }
}

TEST(AutoCalDA, UnreachableEndPointNamesItsReadingTargetAndTheReferenceToCheck) {
    DaRig upper;
    upper.card.script = {31000};
    auto result = upper.run(0, 2, 1, 31500); // CH0 Unipolar 10V +10V
    ASSERT_FALSE(result);
    EXPECT_THAT(result.refusal(), HasSubstr("CH0 Unipolar 10V +10V (Hex)"));
    EXPECT_THAT(result.refusal(), HasSubstr("reads 31000 at code FFFF"));
    EXPECT_THAT(result.refusal(), HasSubstr("target 31500"));
    EXPECT_THAT(result.refusal(), HasSubstr("10V Ref(TP2)"));
    EXPECT_EQ(upper.card.writes.size(), 1u); // no probe, no search
    EXPECT_EQ(upper.table.text(caldata::aoMax(1)), "0");

    DaRig lower;
    lower.card.script = {-31000};
    result = lower.run(1, 1, 0, -31500); // CH1 Bipolar 5V -5V
    ASSERT_FALSE(result);
    EXPECT_THAT(result.refusal(), HasSubstr("CH1 Bipolar 5V -5V (Hex)"));
    EXPECT_THAT(result.refusal(), HasSubstr("5V Ref(TP3)"));
}

TEST(AutoCalDA, WithinTheMarginOrAProbeTheWrongWayByLittleSearchesFromTheStartCode) {
    // Within the margin at FFFF: 975 is short of 970 + 10, n = -2, the search starts at FFFF.
    DaRig margin;
    margin.card.script = {975, 972, 968};
    auto result = margin.run(0, 2, 1, 970);
    ASSERT_TRUE(result) << result.refusal();
    EXPECT_EQ(result->wCalDAVal, static_cast<Int16>(0xFFFE));
    EXPECT_THAT(margin.writesAfter(2), ElementsAre(-1));

    // An output saturated at the top: 1000, then 1001 at the probe, for a target of 990; the
    // probe moved the wrong way and the search starts at FFFF instead of failing.
    DaRig saturated;
    saturated.card.script = {1000, 1001, 995, 990};
    result = saturated.run(0, 3, 1, 990);
    ASSERT_TRUE(result) << result.refusal();
    EXPECT_THAT(saturated.writesAfter(2), ElementsAre(-1, -2));
    EXPECT_EQ(result->wCalDAVal, static_cast<Int16>(0xFFFD));
}

TEST(AutoCalDA, SearchThatWouldStepPastItsHalfOfTheRangeFails) {
    DaRig upper;
    // n = (30000 - (-2760)) / 10 = 3276: the search starts at 8007 and never comes down.
    upper.card.script = {30000, 29990, 20000, 20000, 20000, 20000, 20000, 20000, 20000, 20000};
    auto result = upper.run(1, 1, 1, -2770);
    ASSERT_FALSE(result);
    EXPECT_THAT(upper.writesAfter(2),
                ElementsAre(-32761, -32762, -32763, -32764, -32765, -32766, -32767, -32768));
    EXPECT_THAT(result.refusal(), HasSubstr("CH1 Bipolar 5V +5V"));
    EXPECT_THAT(result.refusal(), HasSubstr("before code 8000"));

    DaRig lower;
    lower.card.script = {-30000, -29990, -20000, -20000, -20000,
                         -20000, -20000, -20000, -20000, -20000};
    result = lower.run(0, 3, 0, 2770);
    ASSERT_FALSE(result);
    EXPECT_EQ(lower.card.writes.back(), 0x7FFF);
    EXPECT_EQ(lower.card.writes.size(), 2u + 8u);
    EXPECT_THAT(result.refusal(), HasSubstr("CH0 Bipolar 10V -10V"));
    EXPECT_THAT(result.refusal(), HasSubstr("before code 7FFF"));
}

TEST(AutoCalDA, FailedReadingEndsTheEndPoint) {
    DaRig timedOut;
    timedOut.card.statuses = {card::kReadingTimedOut};
    auto result = timedOut.run(0, 2, 1, 900);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.refusal(), "TimeOut"); // the reading's own message, alone
    EXPECT_EQ(timedOut.card.writes.size(), 1u);
    EXPECT_EQ(timedOut.rig.state.wErrCode, card::kReadingTimedOut);

    DaRig refused;
    refused.card.script = {1000, 990};
    refused.card.statuses = {0, 0, card::kReadingInProgress};
    result = refused.run(1, 3, 1, 970);
    ASSERT_FALSE(result);
    EXPECT_THAT(result.refusal(), HasSubstr("CH1 Bipolar 10V +10V"));
    EXPECT_THAT(result.refusal(), HasSubstr("another reading"));
    EXPECT_THAT(result.refusal(), HasSubstr("FFEB"));
}

TEST(AutoCalDA, StopRequestEndsItAfterTheYieldOrReading) {
    DaRig waiting;
    waiting.rig.pump.at(3, [&] { waiting.stop = true; });
    EXPECT_EQ(waiting.run(0, 0, 1, 900)->outcome, Outcome::Stopped);
    EXPECT_TRUE(waiting.card.reads.empty());

    DaRig searching;
    searching.card.script = {1000, 990, 975, 971, 970};
    searching.card.onRead = [&] {
        if (searching.card.reads.size() == 4) {
            searching.stop = true;
        }
    };
    EXPECT_EQ(searching.run(0, 0, 1, 970)->outcome, Outcome::Stopped);
    EXPECT_EQ(searching.card.writes.size(), 4u);
    EXPECT_EQ(searching.table.text(caldata::aoMax(0)), "FFEA"); // as the search left it
}

} // namespace
