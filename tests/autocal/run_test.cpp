#include "autocal/run.h"
#include "caldata/conversions.h"
#include "model_card.h"
#include "session/board.h"

#include <gtest/gtest.h>

namespace {

using autocal_testing::Int16;
using autocal_testing::Long;
using autocal_testing::ModelCard;
using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::HasSubstr;

TEST(Targets, WorkedExamplesRoundHalvesToEvenInDoublePrecision) {
    auto t10 = *autocal::pointTargets(10, 9.98f, 0x7C9A, 3);
    EXPECT_EQ(t10.plus, 31962);
    EXPECT_EQ(t10.zero, 3);
    EXPECT_EQ(t10.minus, -31959);
    auto t5 = *autocal::pointTargets(5, 5.01f, 0x7D10, -2);
    EXPECT_EQ(t5.plus, 31952);
    EXPECT_EQ(t5.zero, -2);
    EXPECT_EQ(t5.minus, -31954); // the 0 V code minus the positive target, not minus the span
    // The nominal references give the reference readings themselves.
    EXPECT_EQ(autocal::pointTargets(10, 10.0f, 0x7C9A, 3)->plus, 0x7C9A);
    EXPECT_EQ(autocal::pointTargets(5, 5.0f, 0x7D10, -2)->plus, 0x7D10);
    // A half goes to the even neighbour: 10 / 8 x 2 = 2.5 and 10 / 8 x 6 = 7.5.
    EXPECT_EQ(autocal::pointTargets(10, 8.0f, 2, 0)->plus, 2);
    EXPECT_EQ(autocal::pointTargets(10, 8.0f, 6, 0)->plus, 8);
}

TEST(Targets, OutsideTheSixteenBitRangeOrFromAZeroReferenceAreRefused) {
    EXPECT_TRUE(!autocal::pointTargets(10, 0.0f, 100, 0));
    EXPECT_TRUE(!autocal::pointTargets(10, 10.0f, 32767, -32768));
    EXPECT_TRUE(!autocal::pointTargets(10, 5.0f, 20000, 0));
    // +V out of range; -V = Z - (+V) = -span out of range only for a span of -32768.
    EXPECT_TRUE(!autocal::pointTargets(10, 9.9f, 32767, 1000));
    EXPECT_TRUE(!autocal::pointTargets(10, 10.0f, -32768, 0));
    EXPECT_TRUE(static_cast<bool>(autocal::pointTargets(10, 10.0f, 32765, -2)));
}

TEST(Targets, FromTheBoxesNameTheBoxWhoseTextIsRefused) {
    testing_support::MemoryTable table;
    table.setText(caldata::ref10(), "abc");
    auto r = autocal::computeTargets(table);
    ASSERT_FALSE(r);
    EXPECT_THAT(r.refusal(), HasSubstr("10V Ref(TP2)"));

    table.setText(caldata::ref10(), "10.0");
    table.setText(caldata::ref5(), "0");
    r = autocal::computeTargets(table);
    ASSERT_FALSE(r);
    EXPECT_THAT(r.refusal(), HasSubstr("5V Ref(TP3)"));

    table.setText(caldata::ref5(), "5.0");
    table.setText(caldata::aiMin(2), "12G");
    r = autocal::computeTargets(table);
    ASSERT_FALSE(r);
    EXPECT_THAT(r.refusal(), HasSubstr("5.12V 0V(Hex)"));

    table.setText(caldata::aiMin(2), "FFFE");
    table.setText(caldata::aiMax(2), "7D10");
    table.setText(caldata::aiMin(1), "3");
    table.setText(caldata::aiMax(1), "7C9A");
    table.setText(caldata::ref10(), "9.98");
    table.setText(caldata::ref5(), "5.01");
    const auto t = *autocal::computeTargets(table);
    EXPECT_EQ(t.plus10, 31962);
    EXPECT_EQ(t.zero10, 3);
    EXPECT_EQ(t.minus10, -31959);
    EXPECT_EQ(t.plus5, 31952);
    EXPECT_EQ(t.zero5, -2);
    EXPECT_EQ(t.minus5, -31954);
}

TEST(Targets, SmallRangeCodesScaleTheUnsignedPattern) {
    const auto ff80 = static_cast<Int16>(0xFF80);
    EXPECT_EQ(autocal::scaledCode(ff80, 2.54 / 5), 33227);
    EXPECT_EQ(autocal::scaledCode(ff80, 1.27 / 5), 16614);
    EXPECT_EQ(autocal::scaledCode(ff80, 0.63 / 5), 8241);
}

enum class RunOutcome { Completed, Stopped, Failed };

// The run on the model card and an in-memory table. A failure's message is shown as the
// window shows it.
struct RunRig {
    RunRig() {
        rig.state.loadedBoard = 0; // as RELOAD leaves it
        env.onEndPoint = [this](caldata::Field f) { told.push_back({f, card.reads.size()}); };
    }
    RunOutcome run() {
        const auto r = autocal::runAutoCal(env);
        if (!r) {
            rig.prompts.message(r.refusal());
            return RunOutcome::Failed;
        }
        return *r == autocal::RunOutcome::Completed ? RunOutcome::Completed : RunOutcome::Stopped;
    }

    ModelCard card;
    testing_support::Rig rig{card.driver};
    testing_support::MemoryTable table;
    session::Context ctx = rig.context();
    bool stop = false;
    std::vector<Int16> steps;
    std::vector<std::pair<caldata::Field, std::size_t>> told; // the point, and the readings before
    autocal::Environment env{ctx, card, table,
                             [this](Int16 step, Long colour) {
                                 EXPECT_EQ(colour, 0xFF00);
                                 steps.push_back(step);
                             },
                             [this] { return stop; }};
};

TEST(Run, GoesThroughTheStepsAndFillsEveryBox) {
    RunRig r;
    ASSERT_EQ(r.run(), RunOutcome::Completed);
    EXPECT_TRUE(r.rig.prompts.messages.empty());
    EXPECT_THAT(r.steps, ElementsAreArray<Int16>({9, 10, 11, 0, 0, 1, 1, 2, 2,  3,  3,
                                                  4, 4,  5,  5, 6, 6, 7, 7, 12, 13, 14}));
    // The output sequence, channel 0 then 1, and CH0 Unipolar 5V for the small ranges.
    std::vector<std::string> configs;
    for (const auto& e : r.card.log) {
        if (e[0] == 'C') {
            configs.push_back(e);
        }
    }
    EXPECT_THAT(configs,
                ElementsAre("C0.0", "C0.0", "C0.2", "C0.2", "C0.1", "C0.1", "C0.3", "C0.3", "C1.0",
                            "C1.0", "C1.2", "C1.2", "C1.1", "C1.1", "C1.3", "C1.3", "C0.0"));
    // The input readings, then the small ranges: channel 0's output and 0 V with gains 3, 4, 5.
    using P = std::pair<Int16, Int16>;
    ASSERT_GT(r.card.reads.size(), 12u);
    EXPECT_THAT(std::vector<P>(r.card.reads.begin(), r.card.reads.begin() + 6),
                ElementsAre(P{3, 7}, P{4, 7}, P{3, 1}, P{4, 1}, P{2, 2}, P{4, 2}));
    EXPECT_THAT(std::vector<P>(r.card.reads.end() - 6, r.card.reads.end()),
                ElementsAre(P{5, 3}, P{4, 3}, P{5, 4}, P{4, 4}, P{5, 5}, P{4, 5}));
    // The small ranges' output points from the code just found for CH0 Unipolar 5V.
    const auto upper = *caldata::parseCode(r.table.text(caldata::aoMax(0)));
    const auto lower = Long{*caldata::parseCode(r.table.text(caldata::aoMin(0)))};
    EXPECT_THAT(std::vector<Long>(r.card.writes.end() - 6, r.card.writes.end()),
                ElementsAre(autocal::scaledCode(upper, 2.54 / 5), lower,
                            autocal::scaledCode(upper, 1.27 / 5), lower,
                            autocal::scaledCode(upper, 0.63 / 5), lower));
    // Readings in the boxes as hex text: 0.63 V reads close to 0.63 / 0.64 of full scale.
    const auto small = *caldata::parseCode(r.table.text(caldata::aiMax(5)));
    EXPECT_NEAR(small, 0.63 / 0.64 * 32768, 200);
    EXPECT_EQ(r.table.text(caldata::aiMin(5)), "2");
    for (int k = 0; k < caldata::kOutputBoxes; ++k) {
        EXPECT_TRUE(caldata::parseCode(r.table.text(caldata::aoMax(k))));
        EXPECT_NE(r.table.text(caldata::aoMax(k)), "0") << k;
    }
    EXPECT_GE(r.rig.clock.time, 22.0); // 16 + 6 settling waits

    // Each point is told before its own readings: the large input ranges, the end points,
    // the small input ranges.
    std::vector<caldata::Field> points;
    for (int j = 0; j < card::kReferenceRows; ++j) {
        points.insert(points.end(), {caldata::aiMax(j), caldata::aiMin(j)});
    }
    for (int k = 0; k < caldata::kOutputBoxes; ++k) {
        points.insert(points.end(), {caldata::aoMax(k), caldata::aoMin(k)});
    }
    for (int j = card::kReferenceRows; j < caldata::kInputBoxes; ++j) {
        points.insert(points.end(), {caldata::aiMax(j), caldata::aiMin(j)});
    }
    ASSERT_EQ(r.told.size(), points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
        EXPECT_EQ(r.told[i].first, points[i]) << i;
        const std::size_t next = i + 1 < points.size() ? r.told[i + 1].second : r.card.reads.size();
        EXPECT_LT(r.told[i].second, next) << i; // its readings came after it was told
    }
}

TEST(Run, SmallRangesHandBothCodesToTheDriverUnsigned) {
    // The 0 V code of CH0 Unipolar 5V is read like the +5 V code, as four hex digits into 32
    // bits: a code of 8000 or above reaches the driver as 32768..65535, never negative.
    RunRig r;
    r.table.onChange = [&](caldata::Field f) {
        if (f == caldata::aoMin(7)) {
            r.table.setText(caldata::aoMax(0), "FF80");
            r.table.setText(caldata::aoMin(0), "FFF0");
        }
    };
    ASSERT_EQ(r.run(), RunOutcome::Completed);
    EXPECT_THAT(std::vector<Long>(r.card.writes.end() - 6, r.card.writes.end()),
                ElementsAre(33227, 65520, 16614, 65520, 8241, 65520));
}

TEST(Run, StopEndsItAtTheNextYieldShowingNothing) {
    RunRig r;
    r.rig.pump.at(5000, [&] { r.stop = true; });
    std::size_t logAtStop = 0;
    r.card.onRead = [&] {
        if (r.stop && logAtStop == 0) {
            logAtStop = r.card.log.size();
        }
    };
    EXPECT_EQ(r.run(), RunOutcome::Stopped);
    EXPECT_TRUE(r.rig.prompts.messages.empty());
    EXPECT_EQ(logAtStop, 0u); // stopped inside a wait: no reading after the request
    EXPECT_LT(r.steps.size(), 22u);
}

TEST(Run, BoardThatBecomesInvalidEndsItWithTheBoardMessage) {
    RunRig r;
    r.card.onRead = [&] {
        if (r.card.reads.size() == 10) {
            r.rig.activeBoard = "x";
        }
    };
    EXPECT_EQ(r.run(), RunOutcome::Failed);
    ASSERT_EQ(r.rig.prompts.messages.size(), 1u);
    EXPECT_EQ(r.rig.prompts.messages[0], autocal::runFailure(session::boardRefusal("x")));
    EXPECT_EQ(r.card.log.back().substr(0, 1), "R"); // nothing after the board went bad
}

TEST(Run, FailuresEndItWithOneMessage) {
    // A time-out: the reading's own "TimeOut" is the message.
    RunRig timeout;
    timeout.card.onRead = [&] {
        if (timeout.card.reads.back() == std::make_pair(Int16{5}, Int16{4})) {
            timeout.card.statuses.push_front(card::kReadingTimedOut);
        }
    };
    EXPECT_EQ(timeout.run(), RunOutcome::Failed);
    EXPECT_THAT(timeout.rig.prompts.messages, ElementsAre("TimeOut"));
    EXPECT_EQ(timeout.steps.back(), 13);

    // A refused input reading names its box.
    RunRig refused;
    refused.card.statuses = {0, card::kReadingInProgress};
    EXPECT_EQ(refused.run(), RunOutcome::Failed);
    ASSERT_EQ(refused.rig.prompts.messages.size(), 1u);
    EXPECT_THAT(refused.rig.prompts.messages[0], HasSubstr("20.48V 0V(Hex)"));
    EXPECT_THAT(refused.rig.prompts.messages[0], HasSubstr("Another reading is still under way"));

    // A dead output channel: no slope at its first end point.
    RunRig dead;
    dead.card.onRead = [&] {
        if (dead.card.reads.back().first == 7) {
            dead.card.script.push_front(1234);
        }
    };
    EXPECT_EQ(dead.run(), RunOutcome::Failed);
    ASSERT_EQ(dead.rig.prompts.messages.size(), 1u);
    EXPECT_THAT(dead.rig.prompts.messages[0],
                HasSubstr("Automatic calibration failed: CH1 Unipolar 5V +5V (Hex)"));

    // A target out of range: nothing driven. The model reads the 10 V reference near the top
    // of the 10.24 V range, so 10 / 9 of it is beyond 16 bits.
    RunRig target;
    target.table.setText(caldata::ref10(), "9.0");
    EXPECT_EQ(target.run(), RunOutcome::Failed);
    ASSERT_EQ(target.rig.prompts.messages.size(), 1u);
    EXPECT_THAT(target.rig.prompts.messages[0], HasSubstr("+10 V target"));
    EXPECT_TRUE(target.card.writes.empty());

    // A code box changed to text that is no code before the small ranges use it.
    RunRig box;
    box.table.onChange = [&](caldata::Field f) {
        if (f == caldata::aoMin(7)) {
            box.table.setText(caldata::aoMax(0), "XYZ");
        }
    };
    EXPECT_EQ(box.run(), RunOutcome::Failed);
    ASSERT_EQ(box.rig.prompts.messages.size(), 1u);
    EXPECT_THAT(box.rig.prompts.messages[0], HasSubstr("CH0 Unipolar 5V +5V (Hex)"));
    EXPECT_THAT(box.rig.prompts.messages[0], HasSubstr("XYZ"));
}

} // namespace
