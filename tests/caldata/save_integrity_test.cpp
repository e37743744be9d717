// SAVE keeps what it did not change, refuses references that make no physical sense and
// checks that the card kept what was written.
#include "caldata/conversions.h"
#include "caldata/eeprom_ops.h"
#include "sim/simulated_driver.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>

using namespace caldata;
using namespace testing_support;

namespace {

std::uint32_t bits(float v) {
    return std::bit_cast<std::uint32_t>(v);
}

// savedReferenceWords for a box whose words were read as upper and lower.
core::Result<ReferenceWords> saved(Field f, const std::string& text, std::int32_t upper,
                                   std::int32_t lower) {
    return savedReferenceWords(f, text, referenceText(upper, lower), upper, lower);
}

struct Sweep {
    long checked = 0;
    long changed = 0; // words SAVE would write differently from those read
    long sampled = 0;
    long rebuiltDiffer = 0; // of the sampled patterns, those the shown digits do not rebuild
};

// RELOAD's text of every pattern from low to high, saved unedited; every 16th pattern is also
// rebuilt from its digits alone, as SAVE did before it kept the words read.
Sweep sweep(Field f, float low, float high) {
    Sweep s;
    for (std::uint32_t p = bits(low); p <= bits(high); ++p) {
        const auto upper = static_cast<std::int32_t>(p >> 16);
        const auto lower = static_cast<std::int32_t>(p & 0xFFFFu); // zero-extended slots
        const std::string text = referenceText(upper, lower);
        const core::Result<ReferenceWords> w = savedReferenceWords(f, text, text, upper, lower);
        ++s.checked;
        if (!w || (w->lower & 0xFFFF) != lower || (w->upper & 0xFFFF) != upper) {
            ++s.changed;
        }
        if (p % 16 == 0) {
            ++s.sampled;
            const ReferenceWords rebuilt = referenceWords(*parseReference(text));
            s.rebuiltDiffer += (rebuilt.lower & 0xFFFF) != lower ? 1 : 0;
        }
    }
    return s;
}

TEST(SavedReferenceWords, UneditedTextKeepsEveryPatternNearBothNominals) {
    Sweep five;
    std::thread other([&five] { five = sweep(ref5(), 4.5f, 5.5f); });
    const Sweep ten = sweep(ref10(), 9.0f, 11.0f);
    other.join();
    EXPECT_EQ(ten.checked, static_cast<long>(bits(11.0f) - bits(9.0f) + 1));
    EXPECT_EQ(five.checked, static_cast<long>(bits(5.5f) - bits(4.5f) + 1));
    EXPECT_EQ(ten.changed, 0);
    EXPECT_EQ(five.changed, 0);
    // Without the words read, a large share of these patterns would have been changed.
    EXPECT_GT(ten.rebuiltDiffer, ten.sampled / 3);
    EXPECT_GT(five.rebuiltDiffer, five.sampled / 3);
    std::printf("reference patterns kept: %ld near 10 V, %ld near 5 V; of those sampled, the "
                "digits alone would change %.1f %% and %.1f %%\n",
                ten.checked, five.checked, 100.0 * ten.rebuiltDiffer / ten.sampled,
                100.0 * five.rebuiltDiffer / five.sampled);
}

TEST(SavedReferenceWords, TypedTextIsConvertedAndSlotsComeBackSignExtended) {
    // 0x411FFA0E shows as "9.998549", which converts to 0x411FFA0F.
    ASSERT_EQ(referenceText(0x411F, 0xFA0E), "9.998549");
    const auto kept = saved(ref10(), "9.998549", 0x411F, 0xFA0E);
    ASSERT_TRUE(kept.ok());
    EXPECT_EQ(kept->lower, static_cast<std::int16_t>(0xFA0E));
    EXPECT_EQ(kept->upper, 0x411F);
    for (const char* typed : {"9.9985490", " 9.998549", "9.998549 ", "+9.998549"}) {
        const auto w = saved(ref10(), typed, 0x411F, 0xFA0E);
        ASSERT_TRUE(w.ok()) << typed;
        EXPECT_EQ(w->lower, static_cast<std::int16_t>(0xFA0F)) << typed;
        EXPECT_EQ(w->upper, 16671) << typed;
    }
    // 0x40A00001 shows as "5": kept while the box shows it, typed "5" gives 0x40A00000.
    ASSERT_EQ(referenceText(0x40A0, 1), "5");
    EXPECT_EQ(saved(ref5(), "5", 0x40A0, 1)->lower, 1);
    EXPECT_EQ(savedReferenceWords(ref5(), "5", "5.000001", 0x40A0, 1)->lower, 0);
    const auto ten = saved(ref10(), "10.0", 0x411F, 0xFA0E);
    ASSERT_TRUE(ten.ok());
    EXPECT_EQ(ten->lower, 0);
    EXPECT_EQ(ten->upper, 16672);
    const auto five = saved(ref5(), "5", -1, -1); // sign-extended erased slots
    ASSERT_TRUE(five.ok());
    EXPECT_EQ(five->upper, 0x40A0);
}

TEST(SavedReferenceWords, ImplausibleReferencesAreRefusedTypedOrStored) {
    for (const char* text :
         {"0", "-0", "-10.0", "1e-40", "1e38", "32767", "100000000", "8.99", "11.01"}) {
        const auto ten = saved(ref10(), text, 0, 0);
        ASSERT_FALSE(ten.ok()) << text;
        EXPECT_NE(ten.refusal().find("10V Ref(TP2)"), std::string::npos) << ten.refusal();
        EXPECT_NE(ten.refusal().find(std::string("\"") + text + "\""), std::string::npos);
        EXPECT_NE(ten.refusal().find("from 9 to 11 V"), std::string::npos) << ten.refusal();
    }
    const auto five = saved(ref5(), "10", 0x4120, 0);
    ASSERT_FALSE(five.ok());
    EXPECT_NE(five.refusal().find("5V Ref(TP3): \"10\""), std::string::npos) << five.refusal();
    EXPECT_NE(five.refusal().find("from 4.5 to 5.5 V"), std::string::npos) << five.refusal();
    // Unedited but implausible: an erased EEPROM shows NaN, words of zero show 0.
    EXPECT_FALSE(saved(ref10(), "NaN", 0xFFFF, 0xFFFF).ok());
    EXPECT_FALSE(saved(ref10(), "0", 0, 0).ok());
    EXPECT_TRUE(saved(ref10(), "9", 0x4110, 0).ok());
    // Just above 11 V, stored: shown as "11", which is accepted, and kept as read.
    ASSERT_EQ(referenceText(0x4130, 1), "11");
    EXPECT_EQ(saved(ref10(), "11", 0x4130, 1)->lower, 1);
    EXPECT_FALSE(saved(ref10(), "11.00001", 0x4130, 0x0A).ok());
    EXPECT_TRUE(saved(ref5(), "5.5", 0x40B0, 0).ok());
}

// SAVE on the simulated card, through the logic.
struct SaveOnCard : ::testing::Test {
    sim::SimulatedDriver cards{sim::SimOptions{2}};
    Rig rig{cards};
    testing_support::MemoryTable table;

    void SetUp() override {
        rig.activeBoard = "1";
        auto ctx = rig.context();
        ASSERT_TRUE(Reload(ctx, table).ok());
        table.setText(aoMax(0), "7FF1");
        table.setText(ref10(), "10.0");
    }
    bool save() {
        auto ctx = rig.context();
        return shown(rig.prompts, Save(ctx, table));
    }
};

TEST_F(SaveOnCard, AWriteThatIsKeptSaysNothing) {
    EXPECT_TRUE(save());
    EXPECT_TRUE(rig.prompts.messages.empty());
    EXPECT_EQ(cards.eeprom(1)[8], 0x7FF1);
    EXPECT_EQ(cards.eeprom(1)[4], 0);
    EXPECT_EQ(cards.eeprom(1)[5], 0x4120);
}

TEST_F(SaveOnCard, AWriteThatStoredNothingIsReportedWithTheFirstWords) {
    const auto before = cards.eeprom(1);
    const card::EepImage dataBefore = rig.state.dwEEPData;
    cards.setWriteFault(sim::WriteFault::StoresNothing);
    EXPECT_FALSE(save());
    ASSERT_EQ(rig.prompts.messages.size(), 1u);
    const std::string& m = rig.prompts.messages[0];
    EXPECT_NE(m.find("SAVE: board 1 "), std::string::npos) << m;
    long differing = 0;
    for (std::size_t w = 0; w < card::kEepromWords; ++w) {
        differing += before[w] != (rig.state.dwEEPSave[w] & 0xFFFF) ? 1 : 0;
    }
    EXPECT_GE(differing, 2);
    EXPECT_NE(m.find(std::to_string(differing) + " words not as written"), std::string::npos) << m;
    EXPECT_NE(m.find("word 4 (written 0, read back " +
                     hexText16(static_cast<std::int16_t>(before[4])) + ")"),
              std::string::npos)
        << m;
    EXPECT_NE(m.find("word 8 (written 7FF1, read back " +
                     hexText16(static_cast<std::int16_t>(before[8])) + ")"),
              std::string::npos)
        << m;
    EXPECT_NE(m.find("partial calibration"), std::string::npos) << m;
    EXPECT_NE(m.find("RECOVER"), std::string::npos) << m;
    EXPECT_EQ(cards.eeprom(1), before);
    EXPECT_EQ(rig.state.dwEEPData, dataBefore);
    EXPECT_EQ(rig.state.dwEEPSave[8], 0x7FF1); // the image written, as without the check
    EXPECT_EQ(table.text(aoMax(0)), "7FF1");
}

TEST_F(SaveOnCard, AWriteThatStoredSomeWordsWrongNamesTheFirstOfThem) {
    cards.setWriteFault(sim::WriteFault::StoresPartly);
    EXPECT_FALSE(save());
    ASSERT_EQ(rig.prompts.messages.size(), 1u);
    const std::string& m = rig.prompts.messages[0];
    const std::string first =
        "word " + std::to_string(sim::kPartialWriteEnd) + " (written " +
        hexText16(static_cast<std::int16_t>(rig.state.dwEEPSave[sim::kPartialWriteEnd])) +
        ", read back FFFF)";
    EXPECT_NE(m.find(first), std::string::npos) << m;
    EXPECT_NE(m.find(") and "), std::string::npos) << m; // more than the four shown
    EXPECT_EQ(m.find("word 8 "), std::string::npos) << m;
}

TEST_F(SaveOnCard, AFailedReadBackIsReportedAsUnverified) {
    cards.setStatus(sim::EntryPoint::ReadEEP, 258);
    EXPECT_FALSE(save());
    ASSERT_EQ(rig.prompts.messages.size(), 1u);
    const std::string& m = rig.prompts.messages[0];
    EXPECT_NE(m.find("SAVE: board 1 "), std::string::npos) << m;
    EXPECT_NE(m.find("Error Code=258"), std::string::npos) << m;
    EXPECT_NE(m.find("not verified"), std::string::npos) << m;
    EXPECT_NE(m.find("RECOVER"), std::string::npos) << m;
    EXPECT_EQ(rig.state.wErrCode, 258);
    EXPECT_EQ(cards.eeprom(1)[8], 0x7FF1); // written all the same
}

TEST_F(SaveOnCard, ImplausibleReferenceWritesNothing) {
    for (const char* text : {"0", "-0", "-10.0", "1e-40", "1e38", "32767", "100000000"}) {
        table.setText(ref5(), text);
        rig.prompts.messages.clear();
        EXPECT_FALSE(save()) << text;
        ASSERT_EQ(rig.prompts.messages.size(), 1u);
        EXPECT_NE(rig.prompts.messages[0].find("Nothing was saved"), std::string::npos);
    }
    EXPECT_EQ(cards.eepromWrites(1), 0);
    EXPECT_TRUE(rig.prompts.confirmations.empty());
}

TEST_F(SaveOnCard, FailedReloadAndWriteNameTheOperationAndTheBoard) {
    cards.setStatus(sim::EntryPoint::ReadEEP, 258);
    auto ctx = rig.context();
    shown(rig.prompts, Reload(ctx, table));
    cards.clearFaults();
    cards.setStatus(sim::EntryPoint::WriteEEP, -7);
    save();
    EXPECT_EQ(
        rig.prompts.messages,
        (std::vector<std::string>{"RELOAD: reading the EEPROM of board 1 failed (Error Code=258).",
                                  "SAVE: writing the EEPROM of board 1 failed (Error Code=-7)."}));
}

} // namespace

// The record of each change: opened before the card is written, closed with how it ended.
struct RecordingJournal : session::Journal {
    core::Result<std::string> begin(const session::ChangeStart& change) override {
        if (!refusal.empty()) {
            return core::refuse(core::Kind::History, refusal);
        }
        started.push_back(change);
        return "change-" + std::to_string(started.size());
    }
    core::Status end(const std::string& id, const session::ChangeEnd& ending) override {
        ended.emplace_back(id, ending);
        return {};
    }
    std::string refusal;
    std::vector<session::ChangeStart> started;
    std::vector<std::pair<std::string, session::ChangeEnd>> ended;
};

TEST_F(SaveOnCard, EveryWriteIsRecordedBeforeAndAfterAndARefusedRecordWritesNothing) {
    RecordingJournal journal;
    auto ctx = rig.context();
    ctx.journal = &journal;
    const auto before = cards.eeprom(1);

    journal.refusal = "the calibration history at /h.sqlite cannot be opened";
    const auto refused = Save(ctx, table);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.kind(), core::Kind::History);
    EXPECT_EQ(refused.refusal(), "SAVE was refused: the calibration history at /h.sqlite cannot be "
                                 "opened Nothing was written to the card.");
    EXPECT_EQ(cards.eepromWrites(1), 0);

    journal.refusal.clear();
    cards.setStatus(sim::EntryPoint::WriteEEP, 260);
    ASSERT_FALSE(Save(ctx, table));
    cards.clearFaults();
    ASSERT_TRUE(Save(ctx, table));
    ASSERT_TRUE(Recover(ctx));

    ASSERT_EQ(journal.started.size(), 3u);
    ASSERT_EQ(journal.ended.size(), 3u);
    EXPECT_EQ(journal.started[0].board, 1);
    EXPECT_EQ(journal.started[0].before->at(8), rig.state.dwEEPData[8]);
    EXPECT_EQ(journal.ended[0].first, "change-1");
    EXPECT_FALSE(journal.ended[0].second.written);
    EXPECT_EQ(journal.ended[0].second.status, 260);
    EXPECT_FALSE(journal.ended[0].second.after);
    EXPECT_TRUE(journal.ended[1].second.written);
    EXPECT_EQ(journal.ended[1].second.after->at(8), 0x7FF1);
    EXPECT_EQ(journal.started[2].source.kind, session::ValuesSource::Kind::Recover);
    EXPECT_EQ(journal.started[2].before->at(8), 0x7FF1);
    EXPECT_EQ(static_cast<std::uint16_t>(journal.ended[2].second.after->at(8)), before[8]);
}
