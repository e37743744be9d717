#include "sim/simulated_driver.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <optional>
#include <set>

using card::Int16;
using card::Long;
using sim::EntryPoint;
using sim::SimulatedDriver;
using ::testing::HasSubstr;

namespace {

constexpr Int16 kFault = 0x55;

// The register conversation of one averaged reading, as the card expects it.
struct Registers {
    SimulatedDriver& cards;
    std::uint32_t base;

    void write(std::uint32_t offset, std::uint32_t value) {
        EXPECT_EQ(cards.Drvx_WritePhyMemory(static_cast<Long>(base + offset), 32,
                                            static_cast<Long>(value)),
                  0);
    }
    std::uint32_t read() {
        Long v = 0;
        EXPECT_EQ(cards.Drvx_ReadPhyMemory(static_cast<Long>(base + 0x294), 32, v), 0);
        return static_cast<std::uint32_t>(v);
    }
    void setup(int source, int gain) {
        const auto word = static_cast<std::int16_t>(0x8C4D | source << 12 | gain << 7);
        for (auto [offset, value] : std::initializer_list<std::pair<std::uint32_t, std::uint32_t>>{
                 {0x200, 0xE}, {0x200, 0}, {0x290, 0}, {0x22C, 0}, {0x290, 1}, {0x298, 0}}) {
            write(offset, value);
        }
        write(0x2EC, static_cast<std::uint32_t>(static_cast<Long>(word)));
        write(0x2F0, 0);
    }
    // Starts a conversion, polls it to the end; the code, or nothing after 100 busy reads.
    std::optional<std::int16_t> convert() {
        write(0x294, 0);
        for (int i = 0; i < 100; ++i) {
            const std::uint32_t v = read();
            if (!(v & 0x10000u)) {
                return static_cast<std::int16_t>(v & 0xFFFFu);
            }
        }
        return std::nullopt;
    }
    double average(int source, int gain, int n = 1000) {
        setup(source, gain);
        long sum = 0;
        for (int i = 0; i < n; ++i) {
            sum += convert().value_or(0);
        }
        return static_cast<double>(sum) / n;
    }
};

} // namespace

TEST(SimulatedDriverCards, SearchCountsOnlyTheCardIdentifierAndEveryBoardHasItsOwnWindow) {
    for (int n : {0, 1, 2, 33}) {
        SimulatedDriver cards({.cards = n});
        Int16 total = -1;
        EXPECT_EQ(cards.Drvx_DriverInit(total), 0);
        Int16 found = -1;
        EXPECT_EQ(cards.Drvx_SearchCard(found, card::kCardId), 0);
        EXPECT_EQ(found, n);
        EXPECT_EQ(cards.Drvx_SearchCard(found, 0x2CB657), 0);
        EXPECT_EQ(found, 0);

        std::set<std::uint32_t> bases;
        for (Int16 b = 0; b < n; ++b) {
            card::InfoRecord info;
            card::ConfigRecord config;
            card::ModelName name;
            name.fill('x');
            ASSERT_EQ(cards.Drvx_GetCardInfo(b, info, config, name), 0) << b;
            EXPECT_NE(info.dwMemBase(), 0u);
            EXPECT_EQ(info.dwMemBase(), cards.memBase(b));
            EXPECT_EQ(info.dwMemBase() % 0x1000, 0u);
            bases.insert(info.dwMemBase());
            EXPECT_STREQ(name.data(), "MX-4815");
        }
        EXPECT_EQ(bases.size(), static_cast<std::size_t>(n));

        card::InfoRecord info;
        info.bytes.fill(7);
        card::ConfigRecord config;
        card::ModelName name{};
        for (Int16 bad : {Int16(-1), static_cast<Int16>(n)}) {
            EXPECT_NE(cards.Drvx_GetCardInfo(bad, info, config, name), 0);
            EXPECT_EQ(info.bytes[52], 7) << "records untouched for a missing board";
        }
    }
}

TEST(SimulatedDriverCards, InjectedStatusesFailWithoutEffect) {
    SimulatedDriver cards({.cards = 2});
    cards.setStatus(EntryPoint::GetCardInfo, kFault);
    cards.setStatus(EntryPoint::SearchCard, kFault);
    card::InfoRecord info;
    card::ConfigRecord config;
    card::ModelName name{};
    Int16 found = -1;
    EXPECT_EQ(cards.Drvx_SearchCard(found, card::kCardId), kFault);
    EXPECT_EQ(found, -1);
    EXPECT_EQ(cards.Drvx_GetCardInfo(0, info, config, name), kFault);
    EXPECT_EQ(info.dwMemBase(), 0u);
    cards.setStatus(EntryPoint::ConfigAO, kFault);
    EXPECT_EQ(cards.Drvx_ConfigAO(0, 1, 3), kFault);
    EXPECT_EQ(cards.outputRange(0, 1), 0);
    cards.clearFaults();
    EXPECT_EQ(cards.Drvx_GetCardInfo(1, info, config, name), 0);
    EXPECT_EQ(cards.Drvx_ConfigAO(0, 1, 3), 0);
    EXPECT_EQ(cards.outputRange(0, 1), 3);
    EXPECT_NE(cards.Drvx_ConfigAO(0, 2, 0), 0);
    EXPECT_NE(cards.Drvx_ConfigAO(0, 0, 4), 0);
    EXPECT_NE(cards.Drvx_WriteAOVoltageH(2, 0, 0), 0);
}

TEST(SimulatedDriverEeprom, ReadsZeroOrSignExtendedWordsAndLeavesSlot128) {
    SimulatedDriver zero({.cards = 1});
    SimulatedDriver sign({.cards = 1, .signExtendEEP = true});
    card::EepImage a;
    card::EepImage b;
    a.fill(0x7777);
    b.fill(0x7777);
    ASSERT_EQ(zero.Drvx_ReadEEP(0, a), 0);
    ASSERT_EQ(sign.Drvx_ReadEEP(0, b), 0);
    EXPECT_EQ(a[128], 0x7777);
    EXPECT_EQ(b[128], 0x7777);
    const auto words = zero.eeprom(0);
    bool sawHighBit = false;
    for (std::size_t i = 0; i < 128; ++i) {
        EXPECT_EQ(a[i], static_cast<Long>(words[i])) << i;
        EXPECT_EQ(b[i], static_cast<Long>(static_cast<std::int16_t>(words[i]))) << i;
        sawHighBit = sawHighBit || words[i] >= 0x8000;
    }
    EXPECT_TRUE(sawHighBit) << "the factory data should exercise the extension";
}

TEST(SimulatedDriverEeprom, WriteStoresLowHalvesFailuresChangeNothingRecoverRestores) {
    SimulatedDriver cards({.cards = 2});
    int changes = 0;
    cards.keepBoard = [&](int board) {
        EXPECT_EQ(board, 1);
        ++changes;
        return core::Status{};
    };
    const auto factory = cards.eeprom(1);
    EXPECT_EQ(cards.factoryBackup(1), factory);

    card::EepImage image{};
    for (std::size_t i = 0; i < 129; ++i) {
        image[i] = static_cast<Long>(0x12340000u + i);
    }
    image[5] = -1;
    image[6] = -32768;
    const card::EepImage sent = image;

    cards.setStatus(EntryPoint::WriteEEP, kFault);
    EXPECT_EQ(cards.Drvx_WriteEEP(1, image), kFault);
    EXPECT_EQ(cards.eeprom(1), factory);
    EXPECT_EQ(changes, 0);
    cards.clearFaults();

    EXPECT_EQ(cards.Drvx_WriteEEP(1, image), 0);
    EXPECT_EQ(image, sent) << "the image is only read";
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(cards.eepromWrites(1), 1);
    const auto written = cards.eeprom(1);
    EXPECT_EQ(written[0], 0x0000);
    EXPECT_EQ(written[127], 0x007F);
    EXPECT_EQ(written[5], 0xFFFF);
    EXPECT_EQ(written[6], 0x8000);
    EXPECT_EQ(cards.eeprom(0), cards.factoryBackup(0)) << "other board untouched";

    card::EepImage untouched;
    untouched.fill(42);
    cards.setStatus(EntryPoint::ReadEEP, kFault);
    EXPECT_EQ(cards.Drvx_ReadEEP(1, untouched), kFault);
    EXPECT_EQ(untouched[0], 42);
    cards.setStatus(EntryPoint::RecoverEEP, kFault);
    EXPECT_EQ(cards.Drvx_RecoverEEP(1), kFault);
    EXPECT_EQ(cards.eeprom(1), written);
    cards.clearFaults();

    EXPECT_EQ(cards.Drvx_RecoverEEP(1), 0);
    EXPECT_EQ(cards.eeprom(1), factory);
    EXPECT_EQ(changes, 2);

    EXPECT_NE(cards.Drvx_ReadEEP(2, untouched), 0);
    EXPECT_NE(cards.Drvx_WriteEEP(-1, image), 0);
    EXPECT_NE(cards.Drvx_RecoverEEP(2), 0);
}

TEST(SimulatedDriverEeprom, FactoryDataDescribesTheCardAndDiffersPerBoard) {
    SimulatedDriver cards({.cards = 2, .variant = 7});
    for (int b = 0; b < 2; ++b) {
        const auto w = cards.eeprom(b);
        EXPECT_EQ(w[0], 0x4815);
        EXPECT_EQ(static_cast<std::uint32_t>(w[3]) << 16 | w[2], cards.serialNumber(b));
        const auto p10 = static_cast<std::uint32_t>(w[5]) << 16 | w[4];
        const auto p5 = static_cast<std::uint32_t>(w[7]) << 16 | w[6];
        EXPECT_FLOAT_EQ(std::bit_cast<float>(p10), static_cast<float>(cards.reference10V(b)));
        EXPECT_FLOAT_EQ(std::bit_cast<float>(p5), static_cast<float>(cards.reference5V(b)));
        EXPECT_NEAR(cards.reference10V(b), 10.0, 0.0031);
        EXPECT_NEAR(cards.reference5V(b), 5.0, 0.0031);
        // The stored output codes produced the nominal points within half a code when the
        // card left the factory; it has drifted since.
        const std::array<int, 4> rangeOfKind{0, 2, 1, 3};
        const std::array<double, 4> high{5, 10, 5, 10};
        const std::array<double, 4> low{0, 0, -5, -10};
        for (int k = 0; k < 8; ++k) {
            const int ch = k / 4;
            const int r = rangeOfKind[k % 4];
            const double lsb = cards.factoryOutputVoltageAt(b, ch, r, 1) -
                               cards.factoryOutputVoltageAt(b, ch, r, 0);
            EXPECT_NEAR(cards.factoryOutputVoltageAt(b, ch, r, w[8 + 2 * k]), high[k % 4], lsb / 2)
                << k;
            EXPECT_NEAR(cards.factoryOutputVoltageAt(b, ch, r, w[9 + 2 * k]), low[k % 4], lsb / 2)
                << k;
            // Now each end point lies 1 to 4 mV off (as far as reachability allows).
            EXPECT_GT(std::fabs(cards.outputVoltageAt(b, ch, r, w[8 + 2 * k]) - high[k % 4]),
                      0.0009)
                << k;
            EXPECT_GT(std::fabs(cards.outputVoltageAt(b, ch, r, w[9 + 2 * k]) - low[k % 4]), 0.0009)
                << k;
        }
        EXPECT_NEAR(static_cast<std::int16_t>(w[24]),
                    cards.inputCodeFor(b, 1, cards.reference10V(b)), 0.5);
        EXPECT_NEAR(static_cast<std::int16_t>(w[29]), cards.inputCodeFor(b, 2, 0.0), 0.5);
        EXPECT_NEAR(static_cast<std::int16_t>(w[48]),
                    cards.inputCodeFor(b, 7, cards.reference10V(b)), 0.5);
    }
    EXPECT_NE(cards.eeprom(0)[2], cards.eeprom(1)[2]);
    SimulatedDriver same({.cards = 2, .variant = 7});
    SimulatedDriver other({.cards = 2, .variant = 8});
    EXPECT_EQ(same.eeprom(1), cards.eeprom(1));
    EXPECT_NE(other.eeprom(1), cards.eeprom(1));
}

TEST(SimulatedDriverOutputs, EveryNominalEndPointLiesInsideTheCodesAndCodesRiseMonotonically) {
    SimulatedDriver cards({.cards = 3, .variant = 3});
    const std::array<double, 4> low{0, -5, 0, -10};
    const std::array<double, 4> high{5, 5, 10, 10};
    for (int b = 0; b < 3; ++b) {
        for (int ch = 0; ch < 2; ++ch) {
            for (int r = 0; r < 4; ++r) {
                const double lsb =
                    cards.outputVoltageAt(b, ch, r, 1) - cards.outputVoltageAt(b, ch, r, 0);
                EXPECT_GT(lsb, 0.0);
                // Room for a probe of 10 codes and 10 counts of the read-back range where the
                // search probes; a unipolar zero is approached from code 0 without a probe.
                const bool bipolar = r % 2 == 1;
                const double margin = 10 * lsb + 10 * (high[r] == 10 ? 10.24 : 5.12) / 32768;
                EXPECT_LT(cards.outputVoltageAt(b, ch, r, 0), low[r] - (bipolar ? margin : 0.002));
                EXPECT_GT(cards.outputVoltageAt(b, ch, r, 0xFFFF), high[r] + margin);
                // ... and not so far beyond that the search's estimate overshoots.
                EXPECT_LT(cards.outputVoltageAt(b, ch, r, 0xFFFF), high[r] + 0.016);
                double previous = -100;
                for (int code = 0; code <= 0xFFFF; code += 4095) {
                    const double v =
                        cards.outputVoltageAt(b, ch, r, static_cast<std::uint16_t>(code));
                    EXPECT_GT(v, previous);
                    previous = v;
                }
            }
        }
    }
    EXPECT_EQ(cards.Drvx_ConfigAO(1, 1, 3), 0);
    EXPECT_EQ(cards.Drvx_WriteAOVoltageH(1, 1, -11), 0);
    EXPECT_EQ(cards.outputCode(1, 1), 0xFFF5);
    EXPECT_EQ(cards.Drvx_WriteAOVoltageH(1, 1, 0x12345), 0);
    EXPECT_EQ(cards.outputCode(1, 1), 0x2345);
    EXPECT_DOUBLE_EQ(cards.outputVoltage(1, 1), cards.outputVoltageAt(1, 1, 3, 0x2345));
}

TEST(SimulatedDriverRegisters, CorrectSequenceReadsTheAnalogModelInEveryRange) {
    SimulatedDriver cards({.cards = 2, .variant = 5});
    const int b = 1;
    Registers regs{cards, cards.memBase(b)};
    const double r10 = cards.reference10V(b);
    const double r5 = cards.reference5V(b);
    for (int gain : {7, 1, 2, 3, 4, 5}) {
        EXPECT_NEAR(regs.average(4, gain), cards.inputCodeFor(b, gain, 0.0), 0.25) << gain;
        const double code10 = std::min(cards.inputCodeFor(b, gain, r10), 32767.0);
        EXPECT_NEAR(regs.average(3, gain), code10, 0.25) << gain;
        const double code5 = std::min(cards.inputCodeFor(b, gain, r5), 32767.0);
        EXPECT_NEAR(regs.average(2, gain), code5, 0.25) << gain;
    }
    // The outputs through sources 5 and 7.
    ASSERT_EQ(cards.Drvx_ConfigAO(b, 1, 1), 0);
    ASSERT_EQ(cards.Drvx_WriteAOVoltageH(b, 1, 0x1000), 0);
    EXPECT_NEAR(regs.average(7, 2), cards.inputCodeFor(b, 2, cards.outputVoltage(b, 1)), 0.25);
    EXPECT_NEAR(regs.average(5, 1), cards.inputCodeFor(b, 1, cards.outputVoltage(b, 0)), 0.25);
    EXPECT_TRUE(cards.protocolViolations().empty()) << cards.protocolViolations().front();
    EXPECT_EQ(cards.conversions(), 20 * 1000);
}

TEST(SimulatedDriverRegisters, BusyBitClearsAfterAFewReadsOrNever) {
    SimulatedDriver cards({.cards = 1, .junkUpperStatusBits = true});
    Registers regs{cards, cards.memBase(0)};
    regs.setup(4, 7);
    regs.write(0x294, 0);
    EXPECT_TRUE(regs.read() & 0x10000u);
    EXPECT_TRUE(regs.read() & 0x10000u);
    const std::uint32_t done = regs.read();
    EXPECT_FALSE(done & 0x10000u);
    EXPECT_NE(done >> 17, 0u) << "junk in bits 17..31";
    EXPECT_EQ(regs.read(), done) << "the result stays readable";

    cards.setBusyForever(true);
    EXPECT_FALSE(regs.convert());
    cards.clearFaults();
    EXPECT_TRUE(regs.convert());
    EXPECT_TRUE(cards.protocolViolations().empty());

    Long v = 0;
    EXPECT_EQ(cards.Drvx_ReadPhyMemory(0x294, 32, v), 0);
    EXPECT_EQ(v, -1) << "nothing answers outside the windows";
    EXPECT_EQ(cards.Drvx_ReadPhyMemory(static_cast<Long>(cards.memBase(0) + 0x1294), 32, v), 0);
    EXPECT_EQ(v, -1);
    ASSERT_EQ(cards.protocolViolations().size(), 2u);
    EXPECT_THAT(cards.protocolViolations()[0], HasSubstr("outside every card's register window"));
}

TEST(SimulatedDriverRegisters, DeviationsFromTheProtocolAreReported) {
    SimulatedDriver cards({.cards = 1});
    Registers regs{cards, cards.memBase(0)};
    auto violations = [&] {
        auto v = cards.protocolViolations();
        cards.clearViolations();
        return v;
    };

    // Conversion and poll without any set-up.
    regs.write(0x294, 0);
    regs.read();
    auto v = violations();
    ASSERT_EQ(v.size(), 1u);
    EXPECT_THAT(v[0], HasSubstr("before the register set-up was complete"));

    // A set-up write left out (0x22C).
    for (auto [offset, value] : std::initializer_list<std::pair<std::uint32_t, std::uint32_t>>{
             {0x200, 0xE}, {0x200, 0}, {0x290, 0}, {0x290, 1}}) {
        regs.write(offset, value);
    }
    v = violations();
    ASSERT_EQ(v.size(), 1u);
    EXPECT_THAT(v[0], HasSubstr("set-up write 4 of 8"));
    EXPECT_THAT(v[0], HasSubstr("0x22C"));

    // A configuration word that is not sign-extended.
    regs.setup(4, 7);
    EXPECT_TRUE(violations().empty());
    for (auto [offset, value] :
         std::initializer_list<std::pair<std::uint32_t, std::uint32_t>>{{0x200, 0xE},
                                                                        {0x200, 0},
                                                                        {0x290, 0},
                                                                        {0x22C, 0},
                                                                        {0x290, 1},
                                                                        {0x298, 0},
                                                                        {0x2EC, 0xCFCD},
                                                                        {0x2F0, 0}}) {
        regs.write(offset, value);
    }
    v = violations();
    ASSERT_EQ(v.size(), 1u);
    EXPECT_THAT(v[0], HasSubstr("0x0000CFCD"));

    // Polling a freshly set-up card before starting a conversion; wrong widths; stray writes.
    regs.setup(4, 7);
    regs.read();
    Long value = 0;
    EXPECT_NE(cards.Drvx_ReadPhyMemory(static_cast<Long>(cards.memBase(0) + 0x294), 16, value), 0);
    EXPECT_NE(cards.Drvx_WritePhyMemory(static_cast<Long>(cards.memBase(0) + 0x294), 8, 0), 0);
    regs.write(0x300, 5);
    EXPECT_EQ(cards.Drvx_WritePhyMemory(0x1294, 32, 0), 0);
    v = violations();
    ASSERT_EQ(v.size(), 5u);
    EXPECT_THAT(v[0], HasSubstr("before a conversion was started"));
    EXPECT_THAT(v[1], HasSubstr("width 16"));
    EXPECT_THAT(v[2], HasSubstr("width 8"));
    EXPECT_THAT(v[3], HasSubstr("unexpected write"));
    EXPECT_THAT(v[4], HasSubstr("outside every card's register window"));

    for (int i = 0; i < 500; ++i) {
        regs.write(0x300, 0);
    }
    EXPECT_EQ(cards.protocolViolations().size(), SimulatedDriver::kMaxViolations);
    EXPECT_EQ(cards.violationCount(), 500);
}
