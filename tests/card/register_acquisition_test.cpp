#include "card/register_acquisition.h"
#include "sim/simulated_driver.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <vector>

using namespace testing_support;
using card::Int16;
using card::Long;
using card::RegisterAcquisition;
using ::testing::_;
using ::testing::DoAll;
using ::testing::InSequence;
using ::testing::Invoke;
using ::testing::NiceMock;
using ::testing::Return;
using ::testing::SetArgReferee;
using ::testing::StrictMock;

namespace {

constexpr std::uint32_t kBase = 0xFEB01000u;
constexpr Long kIdle = 0;
constexpr Long kBusy = 0x10000;

Long at(std::uint32_t offset) {
    return RegisterAcquisition::physicalAddress(kBase, offset);
}

class MockClock : public platform::Clock {
public:
    MOCK_METHOD(double, now, (), (override));
    MOCK_METHOD(void, Sleep, (std::int32_t milliseconds), (override));
};

// A card whose status reads follow a script: each entry is one read; when the script is
// exhausted every read shows a finished conversion with result 0. Counts reads and writes.
struct ScriptedCard {
    NiceMock<MockDriver> driver;
    std::deque<Long> reads;
    long readCount = 0;
    long writeCount = 0;

    ScriptedCard() {
        ON_CALL(driver, Drvx_ReadPhyMemory(_, _, _))
            .WillByDefault(Invoke([this](Long, Int16, Long& value) -> Int16 {
                ++readCount;
                value = kIdle;
                if (!reads.empty()) {
                    value = reads.front();
                    reads.pop_front();
                }
                return 0;
            }));
        ON_CALL(driver, Drvx_WritePhyMemory(_, _, _))
            .WillByDefault(Invoke([this](Long, Int16, Long) -> Int16 {
                ++writeCount;
                return 0;
            }));
    }
    // The completion poll's one read, then one finished read per sample.
    void samples(const std::vector<Long>& finals) {
        reads.push_back(kIdle);
        reads.insert(reads.end(), finals.begin(), finals.end());
    }
    void busyReads(long count) { reads.insert(reads.end(), count, kBusy); }
};

struct Bench {
    explicit Bench(card::Driver& driver, Long samples = 1000) : rig(driver) {
        rig.state.dwAvgCount = samples;
        rig.state.ActiveCardInfo.setMemBase(kBase);
    }
    Rig rig;
    RegisterAcquisition acquisition{session::acquisitionPorts(rig.context())};
    Int16 read(Int16 channel = 4, Int16 gain = 7, Int16 start = 1234) {
        value = start;
        return acquisition.MX4815_Get_AutoCal_Data(0, channel, gain, value);
    }
    Int16 value = 0;
};

} // namespace

TEST(RegisterAcquisition, ConfigurationWordIsSignExtended) {
    EXPECT_EQ(RegisterAcquisition::configurationWord(4, 7), static_cast<Long>(0xFFFFCFCDu));
    EXPECT_EQ(RegisterAcquisition::configurationWord(3, 1), static_cast<Long>(0xFFFFBCCDu));
    EXPECT_EQ(RegisterAcquisition::configurationWord(5, 3), static_cast<Long>(0xFFFFDDCDu));
    EXPECT_EQ(RegisterAcquisition::configurationWord(0, 0), static_cast<Long>(0xFFFF8C4Du));
}

TEST(RegisterAcquisition, ProgramsTheRegistersInTheDocumentedOrder) {
    StrictMock<MockDriver> driver;
    StrictMock<MockClock> clock;
    Rig rig(driver);
    rig.state.dwAvgCount = 2;
    rig.state.ActiveCardInfo.setMemBase(kBase);
    session::Context ctx{driver, clock, rig.pump, rig.prompts, rig.state, [] { return "0"; }};
    RegisterAcquisition acquisition(session::acquisitionPorts(ctx));
    auto write = [&](std::uint32_t offset, Long value) -> auto& {
        return EXPECT_CALL(driver, Drvx_WritePhyMemory(at(offset), 32, value));
    };
    auto read = [&](Long value) -> auto& {
        return EXPECT_CALL(driver, Drvx_ReadPhyMemory(at(0x294), 32, _))
            .WillOnce(DoAll(SetArgReferee<2>(value), Return(0)));
    };
    {
        InSequence order;
        write(0x200, 0xE);
        write(0x200, 0);
        write(0x290, 0);
        write(0x22C, 0);
        write(0x290, 1);
        write(0x298, 0);
        write(0x2EC, static_cast<Long>(0xFFFFBCCDu));
        write(0x2F0, 0);
        EXPECT_CALL(clock, Sleep(100));
        for (int i = 0; i < 3; ++i) {
            write(0x294, 0);
            EXPECT_CALL(clock, Sleep(1));
        }
        read(kBusy);
        read(kIdle);
        // No yield before the first sampled conversion.
        write(0x294, 0).WillOnce(Invoke([&](Long, Int16, Long) -> Int16 {
            EXPECT_EQ(rig.pump.yields, 0);
            return 0;
        }));
        read(7);
        write(0x294, 0);
        read(kBusy | 3);
        read(10);
    }
    Int16 value = -5;
    // The board number passed does not choose the registers.
    EXPECT_EQ(acquisition.MX4815_Get_AutoCal_Data(9, 3, 1, value), 0);
    EXPECT_EQ(value, 8); // (7 + 10) / 2 = 8.5, to the even neighbour
    EXPECT_EQ(rig.pump.yields, 1 + 1 + 2 + 1);
    EXPECT_TRUE(rig.prompts.messages.empty());
}

TEST(RegisterAcquisition, DecodesTheLowSixteenBitsOfTheFinishedRead) {
    ScriptedCard card;
    Bench bench(card.driver, 3);
    // 0x17FFF is still busy, so 0x8000 ends that poll; bits 17..31 are ignored.
    card.samples({0x0000FFFF, 0x00017FFF, 0x00008000, static_cast<Long>(0xFFFE0005u)});
    EXPECT_EQ(bench.read(), 0);
    EXPECT_EQ(bench.value, -10921); // (-1 - 32768 + 5) / 3 = -10921.3
    EXPECT_EQ(RegisterAcquisition::sampleOf(0x0000FFFF), -1);
    EXPECT_EQ(RegisterAcquisition::sampleOf(0x00008000), -32768);
}

TEST(RegisterAcquisition, AveragesInSinglePrecisionHalvesToEven) {
    struct Case {
        std::vector<Long> samples; // repeated to fill 1000
        Int16 expected;
    };
    const std::vector<Case> cases = {
        {{100}, 100},
        {{1, 0}, 0},            // 500 / 1000 = 0.5
        {{2, 1}, 2},            // 1500 / 1000 = 1.5
        {{0xFFFE, 0xFFFF}, -2}, // -1500 / 1000 = -1.5
        {{3, 2}, 2},            // 2.5
        {{0x7FFF}, 32767},
        {{0x8000}, -32768},
    };
    for (const Case& c : cases) {
        ScriptedCard card;
        Bench bench(card.driver);
        std::vector<Long> finals;
        for (int i = 0; i < 1000; ++i) {
            finals.push_back(c.samples[static_cast<std::size_t>(i) % c.samples.size()]);
        }
        card.samples(finals);
        EXPECT_EQ(bench.read(), 0);
        EXPECT_EQ(bench.value, c.expected) << c.samples.front();
    }
    EXPECT_EQ(RegisterAcquisition::average(-2500, 1000), -2);
    EXPECT_EQ(RegisterAcquisition::average(-3500, 1000), -4);
}

TEST(RegisterAcquisition, CompletionPollAllowsTenThousandReads) {
    ScriptedCard cleared;
    Bench ok(cleared.driver, 1);
    cleared.busyReads(9999); // the 10,000th read shows the conversion finished
    cleared.reads.push_back(kIdle);
    cleared.reads.push_back(42);
    EXPECT_EQ(ok.read(), 0);
    EXPECT_EQ(ok.value, 42);
    EXPECT_EQ(cleared.readCount, 10001);
    EXPECT_TRUE(ok.rig.prompts.messages.empty());
    EXPECT_EQ(card::readingMessage(card::kReadingTimedOut), "TimeOut");

    ScriptedCard stuck;
    Bench late(stuck.driver, 1);
    stuck.busyReads(10000); // the 10,001st read would show it finished: too late
    EXPECT_EQ(late.read(), card::kReadingTimedOut);
    EXPECT_EQ(late.value, 1234);
    EXPECT_EQ(stuck.readCount, 10001);
    EXPECT_EQ(stuck.writeCount, 8 + 3);             // no conversion started after the time-out
    EXPECT_TRUE(late.rig.prompts.messages.empty()); // its caller shows "TimeOut"
    EXPECT_EQ(late.rig.pump.yields, 0);             // the completion poll holds the window
}

TEST(RegisterAcquisition, SamplePollTimesOutAtTheTenThousandAndFirstRead) {
    ScriptedCard cleared;
    Bench ok(cleared.driver, 2);
    cleared.samples({5});
    cleared.busyReads(9999);
    cleared.reads.push_back(7);
    EXPECT_EQ(ok.read(), 0);
    EXPECT_EQ(ok.value, 6);
    EXPECT_EQ(ok.rig.pump.yields, 2 + 10001);

    ScriptedCard stuck;
    Bench late(stuck.driver, 2);
    stuck.samples({5});
    stuck.busyReads(10000);
    EXPECT_EQ(late.read(), card::kReadingTimedOut);
    EXPECT_EQ(late.value, 1234);
    EXPECT_EQ(stuck.readCount, 1 + 1 + 10001);
    EXPECT_EQ(late.rig.pump.yields, 2 + 10001);     // every read yields, the last one too
    EXPECT_TRUE(late.rig.prompts.messages.empty()); // its caller shows "TimeOut"

    // The time-out ended that reading only: the next one runs normally.
    stuck.samples({9, 9});
    EXPECT_EQ(late.read(), 0);
    EXPECT_EQ(late.value, 9);
}

TEST(RegisterAcquisition, RefusesWithoutRegisterBaseBeforeAnyAccess) {
    StrictMock<MockDriver> driver;
    Bench bench(driver);
    bench.rig.state.ActiveCardInfo.setMemBase(0);
    EXPECT_EQ(bench.read(), card::kReadingNoRegisters);
    EXPECT_EQ(bench.value, 1234);
    EXPECT_TRUE(bench.rig.prompts.messages.empty());
    EXPECT_NE(card::readingMessage(card::kReadingNoRegisters).find("RELOAD"), std::string::npos);
    EXPECT_TRUE(bench.rig.clock.sleeps.empty());
}

TEST(RegisterAcquisition, RefusesImpossibleSetupsBeforeAnyAccess) {
    StrictMock<MockDriver> driver;
    for (Long count : {0, -1, 32768}) {
        Bench bench(driver, count);
        EXPECT_EQ(bench.read(), card::kReadingBadSetup);
        EXPECT_TRUE(bench.rig.prompts.messages.empty());
        EXPECT_EQ(bench.value, 1234);
    }
    Bench bench(driver);
    EXPECT_EQ(bench.read(8, 1), card::kReadingBadSetup);
    EXPECT_EQ(bench.read(4, -1), card::kReadingBadSetup);

    ScriptedCard card;
    Bench longest(card.driver, 32767);
    EXPECT_EQ(longest.read(), 0);
    EXPECT_EQ(longest.value, 0);
}

TEST(RegisterAcquisition, ReadingStartedDuringAYieldIsRefused) {
    ScriptedCard card;
    Bench bench(card.driver, 4);
    card.samples({10, 20, 30, 40});
    Int16 second = 77;
    Int16 secondStatus = 0;
    long accessesDuringSecond = -1;
    bench.rig.pump.at(3, [&] {
        const long before = card.readCount + card.writeCount;
        secondStatus = bench.acquisition.MX4815_Get_AutoCal_Data(0, 3, 7, second);
        accessesDuringSecond = card.readCount + card.writeCount - before;
    });
    EXPECT_EQ(bench.read(), 0);
    EXPECT_EQ(bench.value, 25);
    EXPECT_EQ(secondStatus, card::kReadingInProgress);
    EXPECT_EQ(second, 77);
    EXPECT_EQ(accessesDuringSecond, 0);
    EXPECT_TRUE(bench.rig.prompts.messages.empty());
    // Afterwards readings are accepted again.
    card.samples({1, 1, 1, 1});
    EXPECT_EQ(bench.read(), 0);
    EXPECT_EQ(bench.value, 1);
}

namespace {

// A reading from the simulated card, through the register base RELOAD would copy.
struct SimulatedReading {
    explicit SimulatedReading(sim::SimOptions options = {}) : sim(options), rig(sim) {
        rig.state.dwAvgCount = 1000;
    }
    void load(Int16 board) {
        card::ConfigRecord config;
        card::ModelName model{};
        ASSERT_EQ(sim.Drvx_GetCardInfo(board, rig.state.ActiveCardInfo, config, model), 0);
        ASSERT_EQ(rig.state.ActiveCardInfo.dwMemBase(), sim.memBase(board));
    }
    Int16 read(Int16 wBoardNo, Int16 channel, Int16 gain) {
        Int16 value = -1;
        EXPECT_EQ(acquisition.MX4815_Get_AutoCal_Data(wBoardNo, channel, gain, value), 0);
        return value;
    }
    sim::SimulatedDriver sim;
    Rig rig;
    RegisterAcquisition acquisition{session::acquisitionPorts(rig.context())};
};

} // namespace

TEST(RegisterAcquisitionOnSimulatedCard, ReadsReferencesAndZeroAsTheAnalogModelSays) {
    for (bool junk : {false, true}) { // junk in bits 17..31 of the status reads changes nothing
        SimulatedReading r(sim::SimOptions{.junkUpperStatusBits = junk});
        r.load(0);
        struct Point {
            Int16 channel;
            Int16 gain;
            double volts;
        };
        std::vector<Point> points;
        for (Int16 gain : {7, 1, 2, 3, 4, 5}) {
            points.push_back({4, gain, 0.0});
        }
        for (Int16 gain : {7, 1}) {
            points.push_back({3, gain, r.sim.reference10V(0)});
        }
        for (Int16 gain : {7, 1, 2}) {
            points.push_back({2, gain, r.sim.reference5V(0)});
        }
        for (const Point& p : points) {
            const double expected = r.sim.inputCodeFor(0, p.gain, p.volts);
            EXPECT_NEAR(r.read(0, p.channel, p.gain), expected, 1.0)
                << "source " << p.channel << " gain " << p.gain << " junk " << junk;
        }
        EXPECT_EQ(r.sim.protocolViolations(), std::vector<std::string>{});
        EXPECT_TRUE(r.rig.prompts.messages.empty());
    }
}

TEST(RegisterAcquisitionOnSimulatedCard, ReadsTheBoardBehindTheRegisterBase) {
    SimulatedReading r(sim::SimOptions{.cards = 2});
    r.load(1);
    const double board0 = r.sim.inputCodeFor(0, 7, r.sim.reference10V(0));
    const double board1 = r.sim.inputCodeFor(1, 7, r.sim.reference10V(1));
    ASSERT_GT(std::abs(board0 - board1), 3.0); // the boards can be told apart
    EXPECT_NEAR(r.read(0, 3, 7), board1, 1.0); // board number 0 passed: board 1 measured
    EXPECT_EQ(r.sim.protocolViolations(), std::vector<std::string>{});
}

TEST(RegisterAcquisitionOnSimulatedCard, StuckConversionTimesOut) {
    SimulatedReading r;
    r.load(0);
    r.sim.setBusyForever(true);
    Int16 value = 321;
    EXPECT_EQ(r.acquisition.MX4815_Get_AutoCal_Data(0, 4, 7, value), card::kReadingTimedOut);
    EXPECT_EQ(value, 321);
    EXPECT_TRUE(r.rig.prompts.messages.empty()); // its caller shows "TimeOut"
}
