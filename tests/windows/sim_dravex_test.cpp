// The simulated card's Dravex.dll (sim_dravex.cpp) through card::DravexLibrary: the same
// calls made on the DLL and on a simulated driver in this program, with the same options,
// must give the same statuses, records, EEPROM images and readings.

#include "card/dravex_library.h"
#include "card/register_acquisition.h"
#include "sim/simulated_driver.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <chrono>
#include <fstream>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

// The simulated card's Dravex.dll, in simulated/ beside this program.
std::string simulatedLibraryPath() {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string p(path, n);
    return p.substr(0, p.find_last_of("\\/") + 1) + "simulated\\Dravex.dll";
}

// Sets an environment variable for the test's length, then puts back what was there.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value) : name_(name) {
        char buffer[256];
        const DWORD n = GetEnvironmentVariableA(name, buffer, sizeof buffer);
        if (n > 0 && n < sizeof buffer) {
            old_ = std::string(buffer, n);
            had_ = true;
        }
        SetEnvironmentVariableA(name, value);
    }
    ~ScopedEnvironment() { SetEnvironmentVariableA(name_, had_ ? old_.c_str() : nullptr); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

// Everything a run of the card's operations gives back, in order.
struct Outcome {
    std::vector<card::Int16> statuses;
    std::vector<card::Long> values; // counts, images, readings, register values
    card::InfoRecord info;
    card::ConfigRecord config;
    card::ModelName name{};
    friend bool operator==(const Outcome&, const Outcome&) = default;
};

void addImage(Outcome& o, const card::EepImage& image) {
    o.values.insert(o.values.end(), image.begin(), image.end());
}

// Start-up, a RELOAD-like read of board 1's EEPROM, a write and its read-back, RECOVER and
// its read-back, auto-calibration readings through the register window, and refusals.
Outcome operate(card::Driver& d) {
    Outcome o;
    card::Int16 total = 0, boards = 0;
    o.statuses.push_back(d.Drvx_DriverInit(total));
    o.statuses.push_back(d.Drvx_SearchCard(boards, card::kCardId));
    o.values.push_back(boards);
    o.statuses.push_back(d.Drvx_GetCardInfo(1, o.info, o.config, o.name));

    card::EepImage image{};
    o.statuses.push_back(d.Drvx_ReadEEP(1, image));
    addImage(o, image);
    card::EepImage written = image;
    written[9] = (written[9] + 0x123) & 0xFFFF;
    written[30] = 0x8001; // a word with its top bit set crosses as 16 bits
    o.statuses.push_back(d.Drvx_WriteEEP(1, written));
    card::EepImage back{};
    o.statuses.push_back(d.Drvx_ReadEEP(1, back));
    addImage(o, back);
    o.statuses.push_back(d.Drvx_RecoverEEP(1));
    card::EepImage recovered{};
    o.statuses.push_back(d.Drvx_ReadEEP(1, recovered));
    addImage(o, recovered);

    // Output channel 0 of board 1 at a code, then readings of it and of the 10 V reference.
    o.statuses.push_back(d.Drvx_ConfigAO(1, 0, 1));
    o.statuses.push_back(d.Drvx_WriteAOVoltageH(1, 0, 0xC000));
    VirtualClock clock;
    ScriptedPump pump;
    const std::uint32_t base = o.info.dwMemBase();
    card::RegisterAcquisition acquisition(card::AcquisitionPorts{
        d, clock, pump, [] { return card::Long{200}; }, [base] { return base; }});
    for (const auto& [channel, gain] : {std::pair{5, 1}, std::pair{3, 0}, std::pair{2, 2}}) {
        card::Int16 value = 0;
        o.statuses.push_back(acquisition.MX4815_Get_AutoCal_Data(
            0, static_cast<card::Int16>(channel), static_cast<card::Int16>(gain), value));
        o.values.push_back(value);
    }

    // Refusals: no such board, a register access of another width.
    card::EepImage none{};
    o.statuses.push_back(d.Drvx_ReadEEP(2, none));
    card::Long value = 0;
    o.statuses.push_back(d.Drvx_ReadPhyMemory(
        card::RegisterAcquisition::physicalAddress(base, card::RegisterAcquisition::kStatusReg), 16,
        value));
    o.statuses.push_back(d.Drvx_DriverClose());
    return o;
}

TEST(SimulatedDravexDll, GivesWhatTheSimulatedCardGivesInProcess) {
    const ScopedEnvironment cards("MXCAL_SIM_CARDS", "2");
    const ScopedEnvironment date("MXCAL_SIM_DATE", "2026-07-01");
    char folder[MAX_PATH];
    const std::string tracePath = std::string(folder, GetTempPathA(MAX_PATH, folder)) +
                                  "sim-dravex-trace-" + std::to_string(GetCurrentProcessId());
    DeleteFileA(tracePath.c_str());
    const ScopedEnvironment trace("MXCAL_SIM_DRAVEX_TRACE", tracePath.c_str());
    Outcome through;
    {
        auto library = card::DravexLibrary::open(simulatedLibraryPath());
        ASSERT_TRUE(library) << library.refusal();
        through = operate(**library);
    }

    sim::SimulatedDriver local(sim::SimOptions{2});
    using namespace std::chrono;
    local.setToday(sys_days{year{2026} / July / 1});
    const Outcome here = operate(local);

    EXPECT_EQ(through.statuses, here.statuses);
    EXPECT_EQ(through.values, here.values);
    EXPECT_EQ(through.info, here.info);
    EXPECT_EQ(through.config, here.config);
    EXPECT_EQ(through.name, here.name);

    // And the run did what it means to: two cards, board 1's window, the write read back and
    // undone by RECOVER, readings that differ, the refusals' statuses.
    EXPECT_EQ(here.values[0], 2);
    EXPECT_EQ(here.info.dwMemBase(), local.memBase(1));
    const auto image = [&](std::size_t k) {
        const auto from = here.values.begin() + 1 + static_cast<long>(k * card::kEepromSlots);
        card::EepImage out{};
        std::copy(from, from + card::kEepromSlots, out.begin());
        return out;
    };
    EXPECT_EQ(image(1)[30], 0x8001);
    EXPECT_NE(image(1), image(0));
    EXPECT_EQ(image(2), image(0));
    const std::size_t readings = 1 + 3 * card::kEepromSlots;
    EXPECT_NE(here.values[readings], here.values[readings + 1]);
    EXPECT_NE(here.values[readings + 1], here.values[readings + 2]);
    const std::vector<card::Int16> refusals(here.statuses.end() - 3, here.statuses.end() - 1);
    EXPECT_EQ(refusals, (std::vector<card::Int16>{sim::kNoSuchBoard, sim::kBadAccessSize}));
    // The readings kept the register protocol; only the 16-bit read broke it.
    ASSERT_EQ(local.protocolViolations().size(), 1u);
    EXPECT_NE(local.protocolViolations()[0].find("width 16"), std::string::npos)
        << local.protocolViolations()[0];

    // The trace names the calls that drive an output or touch the EEPROM, in order, with the
    // system's time (the readings here average 200 conversions, not a run's 1000: no lines).
    std::ifstream lines(tracePath);
    std::vector<std::string> traced;
    std::string what;
    double seconds = 0;
    while (lines >> what >> seconds) {
        traced.push_back(what);
        EXPECT_GT(seconds, 1.7e9) << what;
    }
    lines.close();
    DeleteFileA(tracePath.c_str());
    EXPECT_EQ(traced, (std::vector<std::string>{"Drvx_ReadEEP", "Drvx_WriteEEP", "Drvx_ReadEEP",
                                                "Drvx_RecoverEEP", "Drvx_ReadEEP", "Drvx_ConfigAO",
                                                "Drvx_WriteAOVoltageH", "Drvx_ReadEEP"}));
}

TEST(SimulatedDravexDll, RefusesEveryCallWhenTheCardCountIsNoNumber) {
    const ScopedEnvironment cards("MXCAL_SIM_CARDS", "2x");
    auto library = card::DravexLibrary::open(simulatedLibraryPath());
    ASSERT_TRUE(library) << library.refusal();
    card::Int16 total = 0, boards = 7;
    EXPECT_EQ((*library)->Drvx_DriverInit(total), sim::kBadArgument);
    EXPECT_EQ((*library)->Drvx_SearchCard(boards, card::kCardId), sim::kBadArgument);
    EXPECT_EQ(boards, 7);
}

} // namespace
