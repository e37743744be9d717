// The simulated cards' EEPROMs and backups as text: all of them, or one board's.
#include "sim/simulated_driver.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

using sim::SimulatedDriver;
using ::testing::HasSubstr;

TEST(SimulatedDriverPersistence, SerializedCardsRestoreAndDamagedDataLeavesThemFactoryFresh) {
    SimulatedDriver saved({.cards = 2, .variant = 4});
    auto words = saved.eeprom(1);
    words[8] = 0xFF12;
    words[100] = 0x0001;
    saved.setEeprom(1, words);
    const std::string text = saved.serialize();

    SimulatedDriver fresh({.cards = 2, .variant = 4});
    core::Status restored = fresh.restore(text);
    ASSERT_TRUE(restored) << restored.refusal();
    EXPECT_EQ(fresh.eeprom(1), words);
    EXPECT_EQ(fresh.serialize(), text);

    SimulatedDriver more({.cards = 3, .variant = 4});
    restored = more.restore(text);
    ASSERT_TRUE(restored) << restored.refusal();
    EXPECT_EQ(more.eeprom(1), words);
    EXPECT_EQ(more.eeprom(2), more.factoryBackup(2));

    std::string flipped = text;
    flipped[text.size() / 2] = flipped[text.size() / 2] == '0' ? '1' : '0';
    std::string binary(300, '\0');
    for (std::size_t i = 0; i < binary.size(); ++i) {
        binary[i] = static_cast<char>(i * 37);
    }
    const std::vector<std::string> damaged{"",
                                           "\n",
                                           text.substr(0, text.size() / 2),
                                           text.substr(0, text.size() - 1),
                                           flipped,
                                           binary,
                                           text + "extra\n"};
    for (const std::string& bad : damaged) {
        SimulatedDriver target({.cards = 2, .variant = 4});
        target.setEeprom(1, words);
        const core::Status r = target.restore(bad);
        EXPECT_FALSE(r) << bad.size();
        EXPECT_FALSE(r.refusal().empty());
        EXPECT_EQ(target.eeprom(1), target.factoryBackup(1));
    }
    SimulatedDriver otherVariant({.cards = 2, .variant = 9});
    restored = otherVariant.restore(text);
    EXPECT_FALSE(restored);
    EXPECT_THAT(restored.refusal(), HasSubstr("variant 4"));
}

TEST(SimulatedDriverPersistence, OneBoardIsTakenFromOrPutIntoTextThatAnotherProgramLeft) {
    SimulatedDriver other({.cards = 1, .variant = 4});
    auto theirs = other.eeprom(0);
    theirs[8] = 0x0111;
    other.setEeprom(0, theirs);
    const std::string left = other.serialize(); // by a program with one card

    SimulatedDriver here({.cards = 3, .variant = 4});
    auto mine = here.eeprom(1);
    mine[8] = 0x0222;
    here.setEeprom(1, mine); // changed here, never written: the text lacks it
    here.setEeprom(2, mine);
    const core::Result<std::string> merged = here.serializeOver(left, 2);
    ASSERT_TRUE(merged) << merged.refusal();
    SimulatedDriver after({.cards = 3, .variant = 4});
    ASSERT_TRUE(after.restore(*merged));
    EXPECT_EQ(after.eeprom(0), theirs) << "kept as the text held it";
    EXPECT_EQ(after.eeprom(1), mine) << "missing from the text: taken from here";
    EXPECT_EQ(after.eeprom(2), mine);

    // One board is taken, and no other; from damaged text, nothing.
    ASSERT_TRUE(here.restoreBoard(left, 0));
    EXPECT_EQ(here.eeprom(0), theirs);
    EXPECT_EQ(here.eeprom(1), mine);
    EXPECT_FALSE(here.restoreBoard(*merged + "x", 1));
    EXPECT_FALSE(here.serializeOver(left.substr(1), 0));
    EXPECT_EQ(here.eeprom(1), mine);
}
