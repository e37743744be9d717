// The simulated cards' outputs drifting on with the days since their first dated SAVE, and
// the dates kept with each board's EEPROM.
#include "sim/cards_text.h"
#include "sim/simulated_driver.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

using card::EepImage;
using sim::SimulatedDriver;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using namespace std::chrono;

namespace {

const sys_days kFirst = sys_days{year{2025} / 1 / 2};

// Every output end's voltage, at code 0 and 0xFFFF of every channel and range.
std::vector<double> ends(const SimulatedDriver& cards, int board) {
    std::vector<double> v;
    for (int ch = 0; ch < 2; ++ch) {
        for (int r = 0; r < 4; ++r) {
            v.push_back(cards.outputVoltageAt(board, ch, r, 0));
            v.push_back(cards.outputVoltageAt(board, ch, r, 0xFFFF));
        }
    }
    return v;
}

// Text closed with its checksum line (FNV-1a), as the cards' text closes it.
std::string withChecksum(const std::string& body) {
    std::uint32_t h = 2166136261u;
    for (const char ch : body) {
        h = (h ^ static_cast<unsigned char>(ch)) * 16777619u;
    }
    char line[32];
    std::snprintf(line, sizeof line, "checksum %08X\n", static_cast<unsigned>(h));
    return body + line;
}

card::Int16 save(SimulatedDriver& cards, int board) {
    EepImage image{};
    EXPECT_EQ(cards.Drvx_ReadEEP(static_cast<card::Int16>(board), image), 0);
    return cards.Drvx_WriteEEP(static_cast<card::Int16>(board), image);
}

} // namespace

TEST(SimulatedDrift, OutputsMoveOnFromTheFirstDatedSaveAndASaveDoesNotMoveThem) {
    SimulatedDriver cards({.cards = 2, .variant = 3});
    const std::vector<double> aged = ends(cards, 0);
    ASSERT_EQ(save(cards, 0), 0);
    EXPECT_FALSE(cards.savedOn(0)) << "no day set: a SAVE keeps no date";
    cards.setToday(kFirst + days{3650});
    EXPECT_EQ(ends(cards, 0), aged) << "no drift before a dated SAVE";

    cards.setToday(kFirst);
    ASSERT_EQ(save(cards, 0), 0);
    EXPECT_EQ(cards.savedOn(0), kFirst);
    EXPECT_EQ(cards.driftFrom(0), kFirst);
    EXPECT_EQ(ends(cards, 0), aged) << "no time has passed";

    cards.setToday(kFirst + days{182});
    const std::vector<double> later = ends(cards, 0);
    for (int ch = 0; ch < 2; ++ch) {
        for (int r = 0; r < 4; ++r) {
            const std::size_t i = static_cast<std::size_t>(2 * (4 * ch + r));
            const double years = 182 / 365.25;
            EXPECT_NEAR(later[i] - aged[i], cards.outputDriftPerYear(0, ch, r, false) * years,
                        1e-12);
            EXPECT_NEAR(later[i + 1] - aged[i + 1],
                        cards.outputDriftPerYear(0, ch, r, true) * years, 1e-12);
        }
    }
    EXPECT_EQ(ends(cards, 1), ends(SimulatedDriver({.cards = 2, .variant = 3}), 1))
        << "a board never saved with a date has not drifted";

    // The calibration saved half a year on fits the outputs of that day; they go on from
    // there instead of starting over.
    ASSERT_EQ(save(cards, 0), 0);
    EXPECT_EQ(cards.savedOn(0), kFirst + days{182});
    EXPECT_EQ(cards.driftFrom(0), kFirst);
    EXPECT_EQ(ends(cards, 0), later);
    // A day before the drift began: as it began.
    cards.setToday(kFirst - days{10});
    EXPECT_EQ(ends(cards, 0), aged);
    // A RECOVER keeps the dates; a write the file cannot keep leaves them as they were.
    ASSERT_EQ(cards.Drvx_RecoverEEP(0), 0);
    EXPECT_EQ(cards.savedOn(0), kFirst + days{182});
    cards.keepBoard = [](int) { return core::Status(core::refuse("the disk is full")); };
    cards.setToday(kFirst + days{400});
    EXPECT_EQ(save(cards, 0), sim::kEepromNotKept);
    EXPECT_EQ(cards.savedOn(0), kFirst + days{182});
}

TEST(SimulatedDrift, AFewMillivoltsAYearSomeEndsFasterAndEveryEndStaysWithinTheSearchsReach) {
    const std::array<double, 4> low{0, -5, 0, -10};
    const std::array<double, 4> high{5, 5, 10, 10};
    for (const std::uint32_t variant : {1u, 3u, 7u}) {
        SimulatedDriver cards({.cards = 4, .variant = variant});
        cards.setToday(kFirst);
        for (int b = 0; b < 4; ++b) {
            ASSERT_EQ(save(cards, b), 0);
            std::vector<double> rates;
            for (int ch = 0; ch < 2; ++ch) {
                for (int r = 0; r < 4; ++r) {
                    for (const bool upper : {false, true}) {
                        const double mVa = cards.outputDriftPerYear(b, ch, r, upper) * 1000;
                        EXPECT_GE(std::fabs(mVa), 0.2);
                        EXPECT_LE(std::fabs(mVa), high[r] == 10 ? 6.0 : 3.0);
                        rates.push_back(std::fabs(mVa));
                    }
                }
            }
            EXPECT_GT(*std::max_element(rates.begin(), rates.end()),
                      2 * *std::min_element(rates.begin(), rates.end()))
                << "variant " << variant << " board " << b;
        }
        // Twenty years on every end has stopped where the end-point search still works:
        // room for its probe and margin, not so far that its estimate overshoots.
        cards.setToday(kFirst + days{7305});
        for (int b = 0; b < 4; ++b) {
            for (int ch = 0; ch < 2; ++ch) {
                for (int r = 0; r < 4; ++r) {
                    const double lsb =
                        cards.outputVoltageAt(b, ch, r, 1) - cards.outputVoltageAt(b, ch, r, 0);
                    const double margin = 10 * lsb + 10 * (high[r] == 10 ? 10.24 : 5.12) / 32768;
                    const double v0 = cards.outputVoltageAt(b, ch, r, 0);
                    const double vMax = cards.outputVoltageAt(b, ch, r, 0xFFFF);
                    EXPECT_LT(v0, low[r] - (r % 2 == 1 ? margin : 0.002));
                    EXPECT_GT(v0, low[r] - 0.016);
                    EXPECT_GT(vMax, high[r] + margin);
                    EXPECT_LT(vMax, high[r] + 0.016);
                }
            }
        }
    }
}

TEST(SimulatedDrift, TheDatesAreKeptInTheTextAndTextWithoutThemStillReads) {
    SimulatedDriver cards({.cards = 2, .variant = 4});
    const std::string undated = cards.serialize();
    EXPECT_THAT(undated, StartsWith("MX4815-SIMULATED-CARDS 1\n")) << "as earlier programs read";
    cards.setToday(kFirst);
    ASSERT_EQ(save(cards, 1), 0);
    cards.setToday(kFirst + days{181});
    ASSERT_EQ(save(cards, 1), 0);
    const std::string dated = cards.serialize();
    EXPECT_THAT(dated, StartsWith("MX4815-SIMULATED-CARDS 2\n"));
    EXPECT_THAT(dated, HasSubstr("\nsaved - drift-from -\ncard 1\n"));
    EXPECT_THAT(dated, HasSubstr("\nsaved 2025-07-02 drift-from 2025-01-02\nchecksum "));

    // Another program, on the same day, takes the card with its dates and its drift.
    SimulatedDriver other({.cards = 2, .variant = 4});
    other.setToday(kFirst + days{181});
    ASSERT_TRUE(other.restore(dated));
    EXPECT_EQ(other.savedOn(1), kFirst + days{181});
    EXPECT_EQ(ends(other, 1), ends(cards, 1));
    EXPECT_EQ(other.serialize(), dated);
    // A file of the earlier form: no dates, no drift.
    ASSERT_TRUE(other.restoreBoard(undated, 1));
    EXPECT_FALSE(other.driftFrom(1));
    EXPECT_EQ(ends(other, 1), ends(SimulatedDriver({.cards = 2, .variant = 4}), 1));
    // One board's dates go into text another program left, and no other's.
    const auto merged = other.serializeOver(dated, 0);
    ASSERT_TRUE(merged);
    EXPECT_THAT(*merged, HasSubstr("\nsaved 2025-07-02 drift-from 2025-01-02\nchecksum "));

    // Dates that are no days, or missing from the second form, are damage.
    std::vector<sim::StoredCard> read;
    std::string why;
    for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{
             {"saved 2025-07-02", "saved 2025-02-30"},
             {"drift-from 2025-01-02", "drift-from 2025-1-2"},
             {"\nsaved 2025-07-02 drift-from 2025-01-02", ""}}) {
        std::string damaged = dated.substr(0, dated.rfind("checksum "));
        damaged.replace(damaged.find(from), from.size(), to);
        ASSERT_FALSE(sim::readCardsText(withChecksum(damaged), 4, read, why)) << to;
        EXPECT_THAT(why, HasSubstr("the dates of card 1 are damaged"));
    }
}
