#include "manual/input_readings.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

using namespace testing_support;
using caldata::aiMax;
using caldata::aiMin;
using card::Int16;

namespace {

// Gives a fixed reading and status; records the arguments and the value it was handed.
class FakeAcquisition : public card::Acquisition {
public:
    Int16 MX4815_Get_AutoCal_Data(Int16 wBoardNo, Int16 wChannel, Int16 wGain,
                                  Int16& wADVal) override {
        calls.emplace_back(wBoardNo, wChannel, wGain);
        handed.push_back(wADVal);
        if (status == 0) {
            wADVal = reading;
        }
        return status;
    }
    Int16 reading = 0;
    Int16 status = 0;
    std::vector<std::tuple<Int16, Int16, Int16>> calls;
    std::vector<Int16> handed;
};

struct Readings {
    Readings() : rig(driver) {}
    ::testing::StrictMock<MockDriver> driver; // the logic itself calls no driver
    Rig rig;
    MemoryTable table;
    FakeAcquisition acquisition;
    // A reading through its handler's logic: the refusal shown as the window shows it, the
    // status as wErrCode keeps it (0 when it succeeded).
    Int16 max(int j) {
        auto ctx = rig.context();
        return statusOf(manual::readMaxAI(ctx, acquisition, table, j));
    }
    Int16 min(int j) {
        auto ctx = rig.context();
        return statusOf(manual::readMinAI(ctx, acquisition, table, j));
    }
    Int16 statusOf(const core::Status& r) {
        return testing_support::shown(rig.prompts, r) ? Int16{0} : rig.state.wErrCode;
    }
};

} // namespace

TEST(InputReadings, ReadsEachRowsSourceAndGainFromTheActiveBoard) {
    Readings r;
    r.rig.activeBoard = " 2";
    for (int j = 0; j < 3; ++j) {
        EXPECT_EQ(r.max(j), 0);
        EXPECT_EQ(r.min(j), 0);
    }
    using Call = std::tuple<Int16, Int16, Int16>;
    const std::vector<Call> expected = {{2, 3, 7}, {2, 4, 7}, {2, 3, 1},
                                        {2, 4, 1}, {2, 2, 2}, {2, 4, 2}};
    EXPECT_EQ(r.acquisition.calls, expected);
    EXPECT_EQ(r.acquisition.handed, std::vector<Int16>(6, 0)); // each reading starts at 0
}

TEST(InputReadings, WritesTheReadingAsSixteenBitHexText) {
    const std::vector<std::pair<Int16, std::string>> cases = {
        {-2, "FFFE"}, {255, "FF"}, {0, "0"}, {-32768, "8000"}, {32767, "7FFF"}};
    for (const auto& [reading, text] : cases) {
        Readings r;
        r.table.setText(aiMin(1), "ABC");
        r.acquisition.reading = reading;
        r.max(2);
        r.min(1);
        EXPECT_EQ(r.table.text(aiMax(2)), text);
        EXPECT_EQ(r.table.text(aiMin(1)), text);
    }
}

TEST(InputReadings, TimeOutWritesZeroAndReportsTheStatus) {
    Readings r;
    r.acquisition.status = card::kReadingTimedOut;
    r.table.setText(aiMax(0), "1234");
    EXPECT_EQ(r.max(0), card::kReadingTimedOut);
    EXPECT_EQ(r.rig.state.wErrCode, card::kReadingTimedOut);
    EXPECT_EQ(r.table.text(aiMax(0)), "0");
}

TEST(InputReadings, RefusedReadingLeavesTheBoxAsItIs) {
    for (Int16 status : {card::kReadingNoRegisters, card::kReadingInProgress}) {
        Readings r;
        r.acquisition.status = status;
        r.table.setText(aiMin(2), "12");
        EXPECT_EQ(r.min(2), status);
        EXPECT_EQ(r.rig.state.wErrCode, status);
        EXPECT_EQ(r.table.text(aiMin(2)), "12");
    }
}

TEST(InputReadings, BadActiveBoardIsRefusedBeforeTheReading) {
    Readings r;
    r.rig.activeBoard = "one";
    r.rig.state.wErrCode = 5;
    r.max(0);
    EXPECT_TRUE(r.acquisition.calls.empty());
    EXPECT_EQ(r.rig.state.wErrCode, 5);
    EXPECT_EQ(r.table.text(aiMax(0)), "7FFF");
    ASSERT_EQ(r.rig.prompts.messages.size(), 1u);
    EXPECT_NE(r.rig.prompts.messages[0].find("Active Board"), std::string::npos);
}

TEST(InputReadings, SmallRangeRowsDoNothing) {
    Readings r;
    r.rig.activeBoard = "bad"; // not even looked at
    for (int j : {3, 4, 5}) {
        EXPECT_EQ(r.max(j), 0);
        EXPECT_EQ(r.min(j), 0);
        EXPECT_EQ(r.table.text(aiMax(j)), "7FFF");
        EXPECT_EQ(r.table.text(aiMin(j)), "0");
    }
    EXPECT_TRUE(r.acquisition.calls.empty());
    EXPECT_TRUE(r.rig.prompts.messages.empty());
}
