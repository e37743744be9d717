#include "caldata/conversions.h"
#include "caldata/eeprom_ops.h"
#include "caldata/word_map.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

#include <map>

using namespace caldata;
using namespace testing_support;
using ::testing::_;
using ::testing::DoAll;
using ::testing::Return;
using ::testing::SaveArg;
using ::testing::SetArgReferee;
using ::testing::StrictMock;

namespace {

// A card's EEPROM as the driver delivers it, zero-extended: every word distinct, the
// references 9.9987 V (lower word FAAD) and 5 V, an output code FFFF and one 8000.
card::EepImage cardImage() {
    card::EepImage img{};
    for (int w = 0; w < 128; ++w) {
        img[static_cast<std::size_t>(w)] = 0x0100 + w;
    }
    img[4] = 0xFAAD;
    img[5] = 0x411F;
    img[6] = 0x0000;
    img[7] = 0x40A0;
    img[8] = 0x7FF0;
    img[9] = 0x0010;
    img[10] = 0xFFFF;
    img[11] = 0x8000;
    return img;
}

card::EepImage signExtended(card::EepImage img) {
    for (auto& slot : img) {
        slot = static_cast<std::int16_t>(static_cast<std::uint16_t>(slot));
    }
    return img;
}

std::map<std::pair<int, int>, std::string> snapshot(const testing_support::MemoryTable& t) {
    std::map<std::pair<int, int>, std::string> out;
    for (const BoxWords& b : kWordMap) {
        out[{static_cast<int>(b.field.box), b.field.index}] = t.text(b.field);
    }
    return out;
}

struct EepromTest : ::testing::Test {
    StrictMock<MockDriver> driver;
    Rig rig{driver};
    testing_support::MemoryTable table;

    // RELOAD of board b delivering img.
    bool reload(const card::EepImage& img, card::Int16 b = 0) {
        rig.activeBoard = std::to_string(b);
        EXPECT_CALL(driver, Drvx_ReadEEP(b, _)).WillOnce(DoAll(SetArgReferee<1>(img), Return(0)));
        auto ctx = rig.context();
        return shown(rig.prompts, Reload(ctx, table));
    }
    void save() {
        auto ctx = rig.context();
        shown(rig.prompts, Save(ctx, table));
    }
    // SAVE's write into board b, captured in written, then its read-back finding it kept.
    void expectWrite(card::Int16 b, card::EepImage& written) {
        ::testing::InSequence order;
        EXPECT_CALL(driver, Drvx_WriteEEP(b, _)).WillOnce(DoAll(SaveArg<1>(&written), Return(0)));
        EXPECT_CALL(driver, Drvx_ReadEEP(b, _))
            .WillOnce([&written](card::Int16, card::EepImage& data) {
                data = written;
                return card::Int16{0};
            });
    }
};

} // namespace

TEST_F(EepromTest, ReloadFillsEveryBoxFromItsWordsWithoutDrivingOutputs) {
    std::vector<bool> loadingDuringChange;
    table.onChange = [&](Field) { loadingDuringChange.push_back(rig.state.bLoading); };
    rig.state.CardInfo[0].setMemBase(0xFEB00000);

    ASSERT_TRUE(reload(cardImage()));

    EXPECT_EQ(table.text(aoMax(0)), "7FF0");
    EXPECT_EQ(table.text(aoMin(0)), "10");
    EXPECT_EQ(table.text(aoMax(1)), "FFFF");
    EXPECT_EQ(table.text(aoMin(1)), "8000");
    for (int k = 2; k < kOutputBoxes; ++k) {
        EXPECT_EQ(table.text(aoMax(k)), hexText16(static_cast<std::int16_t>(0x108 + 2 * k)));
        EXPECT_EQ(table.text(aoMin(k)), hexText16(static_cast<std::int16_t>(0x109 + 2 * k)));
    }
    EXPECT_EQ(table.text(ref10()), "9.9987");
    EXPECT_EQ(table.text(ref5()), "5");
    EXPECT_EQ(table.text(aiMax(0)), "130"); // word 48
    EXPECT_EQ(table.text(aiMin(0)), "131");
    EXPECT_EQ(table.text(aiMax(1)), "118"); // word 24
    EXPECT_EQ(table.text(aiMin(1)), "119");
    EXPECT_EQ(table.text(aiMax(5)), "128"); // word 40
    EXPECT_EQ(table.text(aiMin(5)), "129");

    // All sixteen output boxes changed, each with the change handling held back.
    EXPECT_EQ(loadingDuringChange, std::vector<bool>(16, true));
    EXPECT_FALSE(rig.state.bLoading);
    EXPECT_EQ(rig.state.dwEEPData, cardImage());
    EXPECT_EQ(rig.state.ActiveCardInfo.dwMemBase(), 0xFEB00000u);
    EXPECT_EQ(rig.state.loadedBoard, 0);
    EXPECT_TRUE(rig.prompts.messages.empty());
}

TEST_F(EepromTest, WordsWithoutABoxChangeNoBox) {
    ASSERT_TRUE(reload(cardImage()));
    const auto before = snapshot(table);
    card::EepImage other = cardImage();
    for (int w : {0, 1, 2, 3, 26, 27, 30, 31, 34, 35, 38, 39, 42, 43, 44, 45, 46, 47, 50, 127}) {
        other[static_cast<std::size_t>(w)] = 0x5A5A;
    }
    ASSERT_TRUE(reload(other));
    EXPECT_EQ(snapshot(table), before);
}

TEST_F(EepromTest, SignExtendedSlotsAreShownInThirtyTwoBitsAndSaveBack) {
    ASSERT_TRUE(reload(signExtended(cardImage()), 3));
    EXPECT_EQ(table.text(aoMax(1)), "FFFFFFFF");
    EXPECT_EQ(table.text(aoMin(1)), "FFFF8000");
    EXPECT_EQ(table.text(ref10()), "9.9987");

    card::EepImage written{};
    expectWrite(3, written);
    save();
    EXPECT_EQ(written, signExtended(cardImage()));
    EXPECT_TRUE(rig.prompts.messages.empty());
}

TEST_F(EepromTest, FailedReadChangesNothingButReportsTheCode) {
    ASSERT_TRUE(reload(cardImage()));
    const auto before = snapshot(table);
    card::EepImage garbage{};
    garbage.fill(0x1234);
    EXPECT_CALL(driver, Drvx_ReadEEP(1, _))
        .WillOnce(DoAll(SetArgReferee<1>(garbage), Return(card::Int16{5})));
    rig.activeBoard = "1";
    rig.state.CardInfo[1].setMemBase(0xFEB01000);
    auto ctx = rig.context();
    table.changes.clear();

    EXPECT_FALSE(shown(rig.prompts, Reload(ctx, table)));

    EXPECT_EQ(
        rig.prompts.messages,
        std::vector<std::string>{"RELOAD: reading the EEPROM of board 1 failed (Error Code=5)."});
    EXPECT_EQ(rig.state.wErrCode, 5);
    EXPECT_EQ(snapshot(table), before);
    EXPECT_TRUE(table.changes.empty());
    EXPECT_EQ(rig.state.dwEEPData, cardImage());
    EXPECT_EQ(rig.state.loadedBoard, 0);
    EXPECT_EQ(rig.state.ActiveCardInfo.dwMemBase(), 0u);
    EXPECT_FALSE(rig.state.bLoading);
}

TEST_F(EepromTest, BadBoardTextIsRefusedBeforeAnyDriverCall) {
    for (const char* bad : {"", "32", "-1", "x"}) {
        rig.activeBoard = bad;
        auto ctx = rig.context();
        EXPECT_FALSE(shown(rig.prompts, Reload(ctx, table)));
        shown(rig.prompts, Save(ctx, table));
        shown(rig.prompts, Recover(ctx));
    }
    ASSERT_EQ(rig.prompts.messages.size(), 12u);
    EXPECT_NE(rig.prompts.messages[0].find("Active Board"), std::string::npos);
    EXPECT_EQ(snapshot(table), snapshot(testing_support::MemoryTable{}));
}

TEST_F(EepromTest, SaveWithoutEditsWritesTheImageReadReferencesIncluded) {
    card::EepImage img = cardImage();
    img[128] = 77; // a driver that fills one slot too many
    ASSERT_TRUE(reload(img));
    const card::EepImage dataBefore = rig.state.dwEEPData;

    card::EepImage written{};
    expectWrite(0, written);
    save();

    ASSERT_EQ(rig.prompts.confirmations.size(), 1u);
    EXPECT_EQ(rig.prompts.confirmations[0].text, "Save data will to change D/A and A/D data.");
    EXPECT_EQ(rig.prompts.confirmations[0].caption, "SAVE EEPROM");
    for (int w = 0; w < 128; ++w) {
        const auto i = static_cast<std::size_t>(w);
        if (w == 4) {
            EXPECT_EQ(written[i], -1363); // the word read (FAAD), sign-extended
        } else if (w == 10) {
            EXPECT_EQ(written[i], -1); // FFFF
        } else if (w == 11) {
            EXPECT_EQ(written[i], -32768); // 8000
        } else {
            EXPECT_EQ(written[i], img[i]) << "word " << w;
        }
    }
    EXPECT_EQ(written[128], 0);
    EXPECT_EQ(rig.state.dwEEPSave, written);
    EXPECT_EQ(rig.state.dwEEPData, dataBefore);
    EXPECT_EQ(rig.state.wErrCode, 0);
    EXPECT_TRUE(rig.prompts.messages.empty());
    EXPECT_EQ(table.changes.size(), 16u); // RELOAD's only
}

TEST_F(EepromTest, SaveWritesEditedBoxesIntoTheirWords) {
    ASSERT_TRUE(reload(cardImage()));
    table.setText(ref10(), "10.0001");
    table.setText(ref5(), "5.0");
    table.setText(aoMax(7), "7fff");
    table.setText(aoMin(7), " FFFFFFFE ");
    table.setText(aiMax(0), "8000");
    table.setText(aiMin(3), "0");

    card::EepImage written{};
    expectWrite(0, written);
    save();

    card::EepImage expected = cardImage();
    expected[4] = 0x69; // 10.0001
    expected[5] = 16672;
    expected[6] = 0; // 5.0 has an empty lower half
    expected[7] = 16544;
    expected[10] = -1;     // FFFF as read
    expected[11] = -32768; // 8000 as read
    expected[22] = 32767;
    expected[23] = -2;
    expected[33] = 0;
    expected[48] = -32768;
    EXPECT_EQ(written, expected);
}

TEST_F(EepromTest, CancelWritesNothing) {
    ASSERT_TRUE(reload(cardImage()));
    rig.state.dwEEPSave[9] = 42;
    const card::EepImage saveBefore = rig.state.dwEEPSave;
    rig.prompts.confirmAnswers = {false};
    save(); // StrictMock: a write would fail the test
    EXPECT_EQ(rig.state.dwEEPSave, saveBefore);
    EXPECT_EQ(rig.prompts.confirmations.size(), 1u);
    EXPECT_TRUE(rig.prompts.messages.empty());
}

TEST_F(EepromTest, UnconvertibleTextEndsSaveWithOneMessageNamingTheBox) {
    struct Case {
        Field field;
        const char* text;
        const char* box;
        const char* problem;
    };
    const Case cases[] = {
        {aoMax(1), "", "CH0 Unipolar 10V +10V (Hex)", "is empty"},
        {aoMin(6), "12G", "CH1 Bipolar 5V -5V (Hex)", "is not hexadecimal"},
        {aiMax(0), "10000", "20.48V 10V Ref", "does not fit in 16 bits"},
        {aiMin(5), "&H10", "0.64V 0V(Hex)", "without a prefix"},
        {ref10(), "ten", "10V Ref(TP2)", "is not a decimal number"},
        {ref5(), "NaN", "5V Ref(TP3)", "is not a finite number"},
        {ref5(), "", "5V Ref(TP3)", "is empty"},
    };
    ASSERT_TRUE(reload(cardImage()));
    const card::EepImage saveBefore = rig.state.dwEEPSave;
    for (const Case& c : cases) {
        const std::string good = table.text(c.field);
        table.setText(c.field, c.text);
        rig.prompts.messages.clear();
        save();
        ASSERT_EQ(rig.prompts.messages.size(), 1u) << c.text;
        const std::string& m = rig.prompts.messages[0];
        EXPECT_NE(m.find(c.box), std::string::npos) << m;
        EXPECT_NE(m.find(std::string("\"") + c.text + "\""), std::string::npos) << m;
        EXPECT_NE(m.find(c.problem), std::string::npos) << m;
        EXPECT_NE(m.find("Nothing was saved"), std::string::npos) << m;
        table.setText(c.field, good);
    }
    EXPECT_TRUE(rig.prompts.confirmations.empty());
    EXPECT_EQ(rig.state.dwEEPSave, saveBefore);
}

TEST_F(EepromTest, SaveRefusesAnotherBoardThanTheOneLoaded) {
    ASSERT_TRUE(reload(cardImage(), 0));
    rig.activeBoard = "1";
    save();
    ASSERT_EQ(rig.prompts.messages.size(), 1u);
    const std::string& m = rig.prompts.messages[0];
    EXPECT_NE(m.find("Active Board is 1"), std::string::npos) << m;
    EXPECT_NE(m.find("read from board 0"), std::string::npos) << m;
    EXPECT_TRUE(rig.prompts.confirmations.empty());
    EXPECT_EQ(rig.state.dwEEPSave, card::EepImage{});
}

TEST_F(EepromTest, SaveRefusesWhenNothingWasLoaded) {
    save();
    ASSERT_EQ(rig.prompts.messages.size(), 1u);
    EXPECT_NE(rig.prompts.messages[0].find("RELOAD first"), std::string::npos);
    EXPECT_TRUE(rig.prompts.confirmations.empty());
}

TEST_F(EepromTest, FailedWriteIsReportedAndChangesNoBox) {
    ASSERT_TRUE(reload(cardImage()));
    const auto before = snapshot(table);
    EXPECT_CALL(driver, Drvx_WriteEEP(0, _)).WillOnce(Return(card::Int16{-7}));
    save();
    EXPECT_EQ(
        rig.prompts.messages,
        std::vector<std::string>{"SAVE: writing the EEPROM of board 0 failed (Error Code=-7)."});
    EXPECT_EQ(rig.state.wErrCode, -7);
    EXPECT_EQ(snapshot(table), before);
    EXPECT_EQ(rig.state.dwEEPData, cardImage());
}

TEST_F(EepromTest, RecoverAsksNothingAndReportsOnlyFailures) {
    ASSERT_TRUE(reload(cardImage()));
    const auto before = snapshot(table);
    rig.activeBoard = "0";
    auto ctx = rig.context();

    EXPECT_CALL(driver, Drvx_RecoverEEP(0)).WillOnce(Return(0));
    shown(rig.prompts, Recover(ctx));
    EXPECT_TRUE(rig.prompts.messages.empty());

    EXPECT_CALL(driver, Drvx_RecoverEEP(0)).WillOnce(Return(card::Int16{12}));
    shown(rig.prompts, Recover(ctx));
    EXPECT_EQ(rig.prompts.messages, std::vector<std::string>{"Error Code=12"});
    EXPECT_EQ(rig.state.wErrCode, 12);

    EXPECT_TRUE(rig.prompts.confirmations.empty());
    EXPECT_EQ(snapshot(table), before);
    EXPECT_EQ(rig.state.dwEEPData, cardImage());
}
