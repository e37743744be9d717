// The simulator's parts on their own: the cards' text, the factory image, the analog model and
// the deterministic numbers.
#include "sim/analog_model.h"
#include "sim/cards_text.h"
#include "sim/factory_image.h"
#include "sim/numbers.h"
#include "sim/simulated_driver.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

std::vector<sim::StoredCard> twoCards() {
    std::vector<sim::StoredCard> cards(2);
    for (std::size_t i = 0; i < 128; ++i) {
        cards[0].eeprom[i] = static_cast<std::uint16_t>(i);
        cards[0].backup[i] = static_cast<std::uint16_t>(0xFFFF - i);
        cards[1].eeprom[i] = static_cast<std::uint16_t>(0xA000 + i);
        cards[1].backup[i] = 0;
    }
    return cards;
}

TEST(CardsText, RoundTripKeepsEveryWordAndTheLayout) {
    const auto cards = twoCards();
    const std::string text = sim::cardsText(9, cards);
    EXPECT_THAT(
        text, StartsWith("MX4815-SIMULATED-CARDS 1\nvariant 9\ncards 2\ncard 0\neeprom 0000 0001"));
    EXPECT_THAT(text, HasSubstr("\ncard 1\neeprom A000 A001"));
    std::vector<sim::StoredCard> read;
    std::string why;
    ASSERT_TRUE(sim::readCardsText(text, 9, read, why)) << why;
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[0].eeprom, cards[0].eeprom);
    EXPECT_EQ(read[0].backup, cards[0].backup);
    EXPECT_EQ(read[1].eeprom, cards[1].eeprom);
    EXPECT_EQ(read[1].backup, cards[1].backup);
}

TEST(CardsText, DamageIsNamed) {
    const std::string good = sim::cardsText(9, twoCards());
    std::vector<sim::StoredCard> read;
    std::string why;
    EXPECT_FALSE(sim::readCardsText(good.substr(0, good.size() - 1), 9, read, why));
    EXPECT_THAT(why, HasSubstr("no final line"));
    EXPECT_FALSE(sim::readCardsText(good, 8, read, why));
    EXPECT_THAT(why, HasSubstr("variant 9, these cards are variant 8"));
    std::string flipped = good;
    flipped[good.find("eeprom") + 8] = '7';
    EXPECT_FALSE(sim::readCardsText(flipped, 9, read, why));
    EXPECT_THAT(why, HasSubstr("checksum does not match"));
    std::string badHex = good;
    badHex[badHex.size() - 2] = 'g';
    EXPECT_FALSE(sim::readCardsText(badHex, 9, read, why));
    EXPECT_THAT(why, HasSubstr("not a hexadecimal number"));
}

TEST(FactoryImage, IsWhatTheDriverStartsWithAndCarriesItsChecksum) {
    const sim::SimulatedDriver driver({.cards = 2, .variant = 6});
    for (int b = 0; b < 2; ++b) {
        const sim::AnalogModel model = sim::AnalogModel::make(6, b);
        const sim::EepromWords w = sim::factoryImage(model, driver.serialNumber(b), 6, b);
        EXPECT_EQ(w, driver.eeprom(b)) << b;
        EXPECT_EQ(w, driver.factoryBackup(b)) << b;
        EXPECT_EQ(w[0], 0x4815);
        EXPECT_EQ(w[126], 0xA55A);
        std::uint32_t sum = w[0] + w[1] + w[2] + w[3];
        for (std::size_t i = 50; i < 128; ++i) {
            sum += w[i];
        }
        EXPECT_EQ(sum & 0xFFFFu, 0xFFFFu) << b; // word 127 is the complement of the others
    }
}

TEST(AnalogModel, EndCodesLieNearTheNominalPointsAndBadIndicesThrow) {
    const sim::AnalogModel m = sim::AnalogModel::make(3, 1);
    for (int ch = 0; ch < 2; ++ch) {
        for (int r = 0; r < 4; ++r) {
            const auto nominal = sim::nominalRange(r);
            EXPECT_NEAR(m.outputVoltageAt(ch, r, m.idealOutputCode(ch, r, true)), nominal.high,
                        0.001);
            EXPECT_NEAR(m.outputVoltageAt(ch, r, m.idealOutputCode(ch, r, false)), nominal.low,
                        0.001);
        }
    }
    EXPECT_THROW(m.outputVoltageAt(2, 0, 0), std::out_of_range);
    EXPECT_THROW(m.inputCodeFor(8, 0.0), std::out_of_range);
    EXPECT_EQ(m.sourceVolts(3, {0, 0}, {0, 0}), m.ref10);
    EXPECT_EQ(m.sourceVolts(2, {0, 0}, {0, 0}), m.ref5);
    EXPECT_EQ(m.sourceVolts(4, {0, 0}, {0, 0}), 0.0);
}

TEST(Numbers, AreFixedByTheirInputsAndNoiseIsCentred) {
    EXPECT_EQ(sim::unit(5, 2, sim::kWhatRef10), sim::unit(5, 2, sim::kWhatRef10));
    EXPECT_NE(sim::unit(5, 2, sim::kWhatRef10), sim::unit(5, 3, sim::kWhatRef10));
    EXPECT_NE(sim::noiseStart(5, 2), 0u);
    std::uint64_t state = sim::noiseStart(5, 2);
    double sum = 0.0;
    double squares = 0.0;
    constexpr int kSamples = 20000;
    for (int i = 0; i < kSamples; ++i) {
        const double n = sim::nextNoise(state);
        sum += n;
        squares += n * n;
    }
    EXPECT_NEAR(sum / kSamples, 0.0, 0.05);
    EXPECT_NEAR(squares / kSamples, 1.0, 0.1);
}

} // namespace
