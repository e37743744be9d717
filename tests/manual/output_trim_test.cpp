#include "manual/output_trim.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

using namespace caldata;
using namespace testing_support;
using ::testing::_;
using ::testing::InSequence;
using ::testing::Return;
using ::testing::StrictMock;

namespace {

struct TrimTest : ::testing::Test {
    StrictMock<MockDriver> driver;
    Rig rig{driver};
    testing_support::MemoryTable table;

    TrimTest() {
        rig.state.wAORange = {0, 2, 1, 3};
        table.onChange = [this](Field f) {
            auto ctx = rig.context();
            manual::outputChanged(ctx, table, f);
        };
    }
    // Puts a text into a box the way RELOAD does, driving nothing.
    void load(Field box, const char* text) {
        rig.state.bLoading = true;
        table.setText(box, text);
        rig.state.bLoading = false;
    }
    void click(Field box, int delta) {
        auto ctx = rig.context();
        testing_support::shown(rig.prompts, manual::step(ctx, table, box, delta));
    }
    // A step's calls: ConfigAO (step), the change handling's ConfigAO and write, the write.
    void expectStep(card::Int16 board, card::Int16 channel, card::Int16 range, card::Long code) {
        EXPECT_CALL(driver, Drvx_ConfigAO(board, channel, range)).WillOnce(Return(0));
        EXPECT_CALL(driver, Drvx_ConfigAO(board, channel, range)).WillOnce(Return(0));
        EXPECT_CALL(driver, Drvx_WriteAOVoltageH(board, channel, code)).WillOnce(Return(0));
        EXPECT_CALL(driver, Drvx_WriteAOVoltageH(board, channel, code)).WillOnce(Return(0));
    }
};

} // namespace

TEST_F(TrimTest, StepsWrapAsSixteenBitPatternsAndDriveTheSignExtendedCode) {
    struct Case {
        const char* before;
        int delta;
        const char* after;
        card::Long driven;
    };
    const Case cases[] = {
        {"FFFF", +1, "0", 0},         {"0", -1, "FFFF", -1},
        {"7FFE", +1, "7FFF", 32767},  {"8001", -1, "8000", static_cast<card::Long>(0xFFFF8000u)},
        {"7FFF", +1, "8000", -32768}, {"8000", -1, "7FFF", 32767},
        {"ff", +1, "100", 0x100},     {"00A0", +1, "A1", 0xA1},
        {"FFFFFFFF", +1, "0", 0}, // a sign-extended slot as RELOAD shows it
    };
    for (const Case& c : cases) {
        load(aoMax(1), c.before);
        {
            InSequence seq;
            expectStep(0, 0, 2, c.driven);
        }
        click(aoMax(1), c.delta);
        EXPECT_EQ(table.text(aoMax(1)), c.after) << c.before;
        ::testing::Mock::VerifyAndClearExpectations(&driver);
    }
    EXPECT_TRUE(rig.prompts.messages.empty());
}

TEST_F(TrimTest, MinSubFiveDrivesChannelOneInRangeCodeTwo) {
    rig.activeBoard = "2";
    load(aoMin(5), "10");
    {
        InSequence seq;
        expectStep(2, 1, 2, 0xF);
    }
    click(aoMin(5), -1);
    EXPECT_EQ(table.text(aoMin(5)), "F");
}

TEST_F(TrimTest, StatusesGoToErrCodeAndAreNotShown) {
    InSequence seq;
    EXPECT_CALL(driver, Drvx_ConfigAO(0, 1, 3)).WillOnce(Return(card::Int16{4}));
    EXPECT_CALL(driver, Drvx_ConfigAO(0, 1, 3)).WillOnce(Return(card::Int16{4}));
    EXPECT_CALL(driver, Drvx_WriteAOVoltageH(0, 1, 1)).WillOnce(Return(card::Int16{6}));
    EXPECT_CALL(driver, Drvx_WriteAOVoltageH(0, 1, 1)).WillOnce(Return(card::Int16{9}));
    click(aoMax(7), +1);
    EXPECT_EQ(rig.state.wErrCode, 9);
    EXPECT_TRUE(rig.prompts.messages.empty());
}

TEST_F(TrimTest, UnconvertibleTextIsRefusedBeforeAnyDriverCall) {
    for (const char* bad : {"", "12G", "10000", "0FFFF", "&H10", "-1"}) {
        load(aoMax(2), bad);
        rig.prompts.messages.clear();
        click(aoMax(2), +1); // StrictMock: any driver call fails the test
        EXPECT_EQ(table.text(aoMax(2)), bad);
        ASSERT_EQ(rig.prompts.messages.size(), 1u) << bad;
        const std::string& m = rig.prompts.messages[0];
        EXPECT_NE(m.find("CH0 Bipolar 5V +5V(Hex)"), std::string::npos) << m;
        EXPECT_NE(m.find(std::string("\"") + bad + "\""), std::string::npos) << m;
    }
}

TEST_F(TrimTest, BadActiveBoardIsRefusedBeforeAnyDriverCall) {
    rig.activeBoard = "40";
    click(aoMin(0), +1);
    EXPECT_EQ(table.text(aoMin(0)), "0");
    ASSERT_EQ(rig.prompts.messages.size(), 1u);
    EXPECT_NE(rig.prompts.messages[0].find("Active Board"), std::string::npos);
}

TEST_F(TrimTest, ChangeHandlingDrivesValidCodesOnly) {
    {
        InSequence seq;
        EXPECT_CALL(driver, Drvx_ConfigAO(0, 0, 1)).WillOnce(Return(0));
        EXPECT_CALL(driver, Drvx_WriteAOVoltageH(0, 0, -16)).WillOnce(Return(0));
    }
    table.setText(aoMin(2), "FFF0");
    // Text in the middle of typing, or a board that names none, drives nothing silently.
    table.setText(aoMin(2), "FFF0x");
    table.setText(aoMin(2), "");
    rig.activeBoard = "";
    table.setText(aoMin(2), "1");
    EXPECT_TRUE(rig.prompts.messages.empty());
}

TEST_F(TrimTest, ChangeHandlingIsHeldBackWhileLoading) {
    rig.state.bLoading = true;
    for (int k = 0; k < kOutputBoxes; ++k) {
        table.setText(aoMax(k), "1234");
        table.setText(aoMin(k), "8");
    }
    EXPECT_EQ(table.changes.size(), 16u);
}
