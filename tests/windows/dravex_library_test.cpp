// card::DravexLibrary against the stand-in Dravex.dll: the library is loaded for real, every
// entry point resolved by name and called with the Win32 calling convention; the stand-in
// records what arrives and the tests compare it with what the card layer means to pass.

#include "caldata/conversions.h"
#include "caldata/eeprom_ops.h"
#include "caldata/word_map.h"
#include "card/dravex_library.h"
#include "card/register_acquisition.h"
#include "standin_dravex.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

template <class Fn> Fn entry(HMODULE module, const char* name) {
    const FARPROC address = GetProcAddress(module, name);
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(address));
}

// The stand-in's control API, on the same loaded module that DravexLibrary uses.
class StandIn {
public:
    explicit StandIn(const char* file) : module_(LoadLibraryA(file)) {
        if (module_ == nullptr) {
            return;
        }
        reset = entry<standin::ResetFn>(module_, "Standin_Reset");
        setCards = entry<standin::SetCardsFn>(module_, "Standin_SetCards");
        setStatus = entry<standin::SetStatusFn>(module_, "Standin_SetStatus");
        setEeprom = entry<standin::SetEepromFn>(module_, "Standin_SetEeprom");
        getEeprom = entry<standin::GetEepromFn>(module_, "Standin_GetEeprom");
        setRegisterModel = entry<standin::SetRegisterModelFn>(module_, "Standin_SetRegisterModel");
        callLog = entry<standin::CallLogFn>(module_, "Standin_CallLog");
        clearLog = entry<standin::ClearLogFn>(module_, "Standin_ClearLog");
    }
    ~StandIn() {
        if (module_ != nullptr) {
            FreeLibrary(module_);
        }
    }
    StandIn(const StandIn&) = delete;
    StandIn& operator=(const StandIn&) = delete;

    bool loaded() const {
        return module_ != nullptr && reset && setCards && setStatus && setEeprom && getEeprom &&
               setRegisterModel && callLog && clearLog;
    }

    // The calls recorded since the last reset, one per line.
    std::vector<std::string> calls() const {
        std::string text(static_cast<std::size_t>(callLog(nullptr, 0)) + 1, '\0');
        callLog(text.data(), static_cast<int>(text.size()));
        text.pop_back();
        std::vector<std::string> lines;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }

    std::array<unsigned short, 128> eeprom(short board) const {
        std::array<unsigned short, 128> words{};
        getEeprom(board, words.data());
        return words;
    }

    standin::ResetFn reset = nullptr;
    standin::SetCardsFn setCards = nullptr;
    standin::SetStatusFn setStatus = nullptr;
    standin::SetEepromFn setEeprom = nullptr;
    standin::GetEepromFn getEeprom = nullptr;
    standin::SetRegisterModelFn setRegisterModel = nullptr;
    standin::CallLogFn callLog = nullptr;
    standin::ClearLogFn clearLog = nullptr;

private:
    HMODULE module_;
};

std::string hex32(std::uint32_t v) {
    char text[9];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(v));
    return text;
}

std::string setupWrite(std::uint32_t base, std::uint32_t offset, std::uint32_t value) {
    return "Drvx_WritePhyMemory address=" + hex32(base + offset) + " size=32 value=" + hex32(value);
}

// A plausible EEPROM: identifier and serial words, the two references, output and input codes
// (several with bit 15 set, so that zero- and sign-extension differ), and other data above.
std::array<unsigned short, 128> cardEeprom() {
    std::array<unsigned short, 128> w{};
    w[0] = 0x4D58;
    w[1] = 0x4815;
    w[2] = 0x0001;
    w[3] = 0x2345;
    const auto ref10 = static_cast<std::uint32_t>(caldata::Float2Long(9.9987f));
    const auto ref5 = static_cast<std::uint32_t>(caldata::Float2Long(5.0012f));
    w[4] = static_cast<unsigned short>(ref10 & 0xFFFF);
    w[5] = static_cast<unsigned short>(ref10 >> 16);
    w[6] = static_cast<unsigned short>(ref5 & 0xFFFF);
    w[7] = static_cast<unsigned short>(ref5 >> 16);
    for (int k = 0; k < 8; ++k) {
        w[static_cast<std::size_t>(8 + 2 * k)] = static_cast<unsigned short>(0xFFF0 - k);
        w[static_cast<std::size_t>(9 + 2 * k)] = static_cast<unsigned short>(0x0012 + k);
    }
    for (std::size_t i = 24; i < 50; ++i) {
        w[i] = static_cast<unsigned short>(i % 2 == 0 ? 0x7F00 + i : 0x8010 + i);
    }
    for (std::size_t i = 50; i < 128; ++i) {
        w[i] = static_cast<unsigned short>(0xA000 + 3 * i);
    }
    return w;
}

class ThroughTheDll : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(standIn.loaded()) << "Dravex.dll (the stand-in) beside the test program";
        standIn.reset();
        auto opened = card::DravexLibrary::open();
        ASSERT_TRUE(opened) << opened.refusal();
        library = std::move(*opened);
    }

    // Steps 2 to 4 of the window's start-up, into the form-level state.
    card::Int16 startUp(session::FormState& state) {
        card::Int16 count = 0;
        state.wErrCode = library->Drvx_DriverInit(state.wDriverBoards);
        state.wErrCode = library->Drvx_SearchCard(count, card::kCardId);
        for (card::Int16 b = 0; b < count && b < card::kMaxBoards; ++b) {
            card::ModelName name{};
            const auto i = static_cast<std::size_t>(b);
            state.wErrCode =
                library->Drvx_GetCardInfo(b, state.CardInfo[i], state.CardConfig[i], name);
        }
        return count;
    }

    StandIn standIn{"Dravex.dll"};
    std::unique_ptr<card::DravexLibrary> library;
};

TEST_F(ThroughTheDll, StartUpPassesTheIdentifierBoardNumbersAndRecordsByAddress) {
    standIn.setCards(2);
    session::FormState state;
    // Patterns in the caller's records show that the DLL writes into exactly these objects.
    for (std::size_t b = 0; b < 2; ++b) {
        state.CardInfo[b].bytes.fill(0x11);
        state.CardConfig[b].bytes.fill(0x22);
    }
    card::Int16 count = 0;
    EXPECT_EQ(library->Drvx_DriverInit(state.wDriverBoards), 0);
    EXPECT_EQ(library->Drvx_SearchCard(count, card::kCardId), 0);
    ASSERT_EQ(count, 2);
    for (card::Int16 b = 0; b < count; ++b) {
        card::ModelName name;
        name.fill('x');
        const auto i = static_cast<std::size_t>(b);
        EXPECT_EQ(library->Drvx_GetCardInfo(b, state.CardInfo[i], state.CardConfig[i], name), 0);
        EXPECT_STREQ(name.data(), standin::kModelName);
    }

    const std::string info(128, '1'), config(104, '2');
    const auto calls = standIn.calls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0], "Drvx_DriverInit");
    EXPECT_EQ(calls[1], "Drvx_SearchCard id=002CB656");
    std::string xs;
    for (int i = 0; i < 20; ++i) {
        xs += "78"; // 'x'
    }
    for (int b = 0; b < 2; ++b) {
        EXPECT_EQ(calls[static_cast<std::size_t>(2 + b)],
                  "Drvx_GetCardInfo board=" + std::to_string(b) + " info=" + info +
                      " config=" + config + " name=" + xs);
    }

    for (int b = 0; b < 2; ++b) {
        const auto& rec = state.CardInfo[static_cast<std::size_t>(b)];
        EXPECT_EQ(rec.dwMemBase(), standin::memBase(b)) << "board " << b;
        for (int k = 0; k < 64; ++k) {
            if (k < 52 || k >= 56) {
                EXPECT_EQ(rec.bytes[static_cast<std::size_t>(k)], standin::infoByte(b, k));
            }
        }
        for (int k = 0; k < 52; ++k) {
            EXPECT_EQ(
                state.CardConfig[static_cast<std::size_t>(b)].bytes[static_cast<std::size_t>(k)],
                standin::configByte(b, k));
        }
    }
    // The untouched tables stay zero.
    EXPECT_EQ(state.CardInfo[2], card::InfoRecord{});
}

TEST_F(ThroughTheDll, SixteenBitArgumentsAndStatusesKeepTheirSign) {
    card::InfoRecord info;
    card::ConfigRecord config;
    card::ModelName name{};
    EXPECT_EQ(library->Drvx_GetCardInfo(-1, info, config, name), 2); // no such board
    EXPECT_EQ(info, card::InfoRecord{});
    standIn.setStatus("Drvx_RecoverEEP", -3);
    EXPECT_EQ(library->Drvx_RecoverEEP(32767), -3);
    standIn.setStatus("Drvx_DriverClose", 0x7ABC);
    EXPECT_EQ(library->Drvx_DriverClose(), 0x7ABC);
    card::Int16 count = 99;
    EXPECT_EQ(library->Drvx_SearchCard(count, 0x2CB657), 0);
    EXPECT_EQ(count, 0) << "only the MX-4815 identifier counts";

    EXPECT_EQ(library->Drvx_ConfigAO(0, 1, 3), 0);
    EXPECT_EQ(library->Drvx_WriteAOVoltageH(0, 1, -32768), 0);
    EXPECT_EQ(library->Drvx_WriteAOVoltageH(0, 0, 65535), 0);

    const auto calls = standIn.calls();
    ASSERT_EQ(calls.size(), 7u);
    EXPECT_EQ(calls[0].substr(0, 31), "Drvx_GetCardInfo board=-1 info=");
    EXPECT_EQ(calls[1], "Drvx_RecoverEEP board=32767");
    EXPECT_EQ(calls[2], "Drvx_DriverClose");
    EXPECT_EQ(calls[3], "Drvx_SearchCard id=002CB657");
    EXPECT_EQ(calls[4], "Drvx_ConfigAO board=0 channel=1 range=3");
    EXPECT_EQ(calls[5], "Drvx_WriteAOVoltageH board=0 channel=1 code=FFFF8000");
    EXPECT_EQ(calls[6], "Drvx_WriteAOVoltageH board=0 channel=0 code=0000FFFF");
}

TEST_F(ThroughTheDll, ReloadSaveRoundTripPassesTheWholeImage) {
    const auto factory = standIn.eeprom(0);
    const auto words = cardEeprom();
    standIn.setEeprom(0, words.data());

    Rig rig(*library);
    startUp(rig.state);
    MemoryTable table;
    auto ctx = rig.context();
    standIn.clearLog();

    ASSERT_TRUE(caldata::Reload(ctx, table).ok());
    for (std::size_t i = 0; i < 128; ++i) {
        EXPECT_EQ(rig.state.dwEEPData[i], words[i]) << "slot " << i; // zero-extended
    }
    EXPECT_EQ(table.text(caldata::aoMax(0)), "FFF0");
    EXPECT_EQ(table.text(caldata::aoMin(7)), "19");
    EXPECT_EQ(table.text(caldata::ref10()), "9.9987");
    EXPECT_EQ(table.text(caldata::ref5()), "5.0012");
    EXPECT_EQ(rig.state.ActiveCardInfo.dwMemBase(), standin::memBase(0));

    table.setText(caldata::aoMax(1), "FFE0");
    table.setText(caldata::aiMin(0), "8001");
    table.setText(caldata::ref10(), "9.9991");
    const auto saved = caldata::Save(ctx, table);
    ASSERT_TRUE(saved) << saved.refusal();
    ASSERT_EQ(*saved, caldata::Saved::Written);
    ASSERT_EQ(rig.prompts.confirmations.size(), 1u);

    // The image as it arrived in the DLL: the words read, those of the boxes sign-extended,
    // the three boxes changed, slot 128 zero.
    std::vector<std::uint32_t> expected(words.begin(), words.end());
    for (std::size_t i = 0; i < 128; ++i) {
        const bool boxWord = std::any_of(
            caldata::kWordMap.begin(), caldata::kWordMap.end(), [&](const caldata::BoxWords& b) {
                return b.word == static_cast<int>(i) || b.upperWord == static_cast<int>(i);
            });
        if (boxWord) {
            expected[i] = static_cast<std::uint32_t>(static_cast<std::int16_t>(words[i]));
        }
    }
    expected.push_back(0);
    const auto ref = static_cast<std::uint32_t>(caldata::Float2Long(9.9991f));
    expected[4] = static_cast<std::uint32_t>(static_cast<std::int16_t>(ref & 0xFFFF));
    expected[5] = static_cast<std::uint32_t>(static_cast<std::int16_t>(ref >> 16));
    expected[10] = 0xFFFFFFE0;
    expected[49] = 0xFFFF8001;
    std::string image;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        image += (i == 0 ? "" : " ") + hex32(expected[i]);
    }
    // The write, then the read-back that verifies it.
    const auto calls = standIn.calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0], "Drvx_ReadEEP board=0");
    EXPECT_EQ(calls[1], "Drvx_WriteEEP board=0 image=" + image);
    EXPECT_EQ(calls[2], "Drvx_ReadEEP board=0");

    // The card keeps the low 16 bits; every word no box owns survived.
    const auto stored = standIn.eeprom(0);
    for (std::size_t i = 0; i < 128; ++i) {
        EXPECT_EQ(stored[i], expected[i] & 0xFFFF) << "word " << i;
    }

    // A fresh RELOAD shows what was saved.
    MemoryTable again;
    ASSERT_TRUE(caldata::Reload(ctx, again).ok());
    EXPECT_EQ(again.text(caldata::aoMax(1)), "FFE0");
    EXPECT_EQ(again.text(caldata::aiMin(0)), "8001");
    EXPECT_EQ(again.text(caldata::ref10()), "9.9991");

    // RECOVER brings back the library's copy.
    ASSERT_TRUE(caldata::Recover(ctx));
    EXPECT_EQ(standIn.eeprom(0), factory);
    EXPECT_EQ(standIn.calls().back(), "Drvx_RecoverEEP board=0");
}

TEST_F(ThroughTheDll, FailedEepromReadArmsNothing) {
    Rig rig(*library);
    startUp(rig.state);
    MemoryTable table;
    auto ctx = rig.context();
    standIn.setStatus("Drvx_ReadEEP", 0x55);
    const core::Status reloaded = caldata::Reload(ctx, table);
    EXPECT_FALSE(reloaded);
    EXPECT_EQ(rig.state.wErrCode, 0x55);
    EXPECT_EQ(rig.state.dwEEPData, card::EepImage{});
    EXPECT_FALSE(rig.state.loadedBoard);
    EXPECT_NE(reloaded.refusal().find("Error Code=85"), std::string::npos) << reloaded.refusal();
    EXPECT_EQ(table.text(caldata::aoMax(0)), "0");
}

TEST_F(ThroughTheDll, ReadingProgramsTheRegistersOfTheReloadedBoard) {
    standIn.setCards(2);
    Rig rig(*library);
    startUp(rig.state);
    rig.state.dwAvgCount = 1000;
    MemoryTable table;
    rig.activeBoard = "1";
    auto ctx = rig.context();
    ASSERT_TRUE(caldata::Reload(ctx, table).ok());
    const std::uint32_t base = standin::memBase(1);
    ASSERT_EQ(rig.state.ActiveCardInfo.dwMemBase(), base);

    standIn.setRegisterModel(2, -1234);
    standIn.clearLog();
    card::RegisterAcquisition acquisition(session::acquisitionPorts(ctx));
    card::Int16 value = 0;
    // Board 0 is passed, but the reading comes from the board RELOAD loaded.
    EXPECT_EQ(acquisition.MX4815_Get_AutoCal_Data(0, 4, 7, value), 0);
    EXPECT_EQ(value, -1234);
    EXPECT_TRUE(rig.prompts.messages.empty());

    const auto calls = standIn.calls();
    const std::vector<std::string> setup = {
        setupWrite(base, 0x200, 0xE),        setupWrite(base, 0x200, 0), setupWrite(base, 0x290, 0),
        setupWrite(base, 0x22C, 0),          setupWrite(base, 0x290, 1), setupWrite(base, 0x298, 0),
        setupWrite(base, 0x2EC, 0xFFFFCFCD), setupWrite(base, 0x2F0, 0),
    };
    ASSERT_GE(calls.size(), setup.size());
    for (std::size_t i = 0; i < setup.size(); ++i) {
        EXPECT_EQ(calls[i], setup[i]) << "set-up write " << i + 1;
    }
    const std::string start = setupWrite(base, 0x294, 0);
    const std::string poll = "Drvx_ReadPhyMemory address=" + hex32(base + 0x294) + " size=32";
    std::size_t starts = 0, polls = 0, other = 0;
    for (std::size_t i = setup.size(); i < calls.size(); ++i) {
        if (calls[i] == start) {
            ++starts;
        } else if (calls[i] == poll) {
            ++polls;
        } else {
            ++other;
        }
    }
    EXPECT_EQ(starts, 3u + 1000u);
    // Each conversion is busy for two reads; one poll after the settling conversions and one
    // per sample.
    EXPECT_EQ(polls, 3u * (1u + 1000u));
    EXPECT_EQ(other, 0u);
    EXPECT_EQ(rig.clock.sleeps, (std::vector<std::int32_t>{100, 1, 1, 1}));
}

TEST_F(ThroughTheDll, ReadingTimesOutOnABusyBitThatNeverClears) {
    Rig rig(*library);
    startUp(rig.state);
    rig.state.dwAvgCount = 1000;
    MemoryTable table;
    auto ctx = rig.context();
    ASSERT_TRUE(caldata::Reload(ctx, table).ok());
    standIn.setRegisterModel(1 << 30, 7);
    standIn.clearLog();
    card::RegisterAcquisition acquisition(session::acquisitionPorts(ctx));
    card::Int16 value = 55;
    EXPECT_NE(acquisition.MX4815_Get_AutoCal_Data(0, 3, 1, value), 0);
    EXPECT_EQ(value, 55);
    EXPECT_TRUE(rig.prompts.messages.empty()); // the reading's caller shows "TimeOut"
    const auto calls = standIn.calls();
    std::size_t reads = 0;
    for (const auto& c : calls) {
        reads += c.rfind("Drvx_ReadPhyMemory", 0) == 0 ? 1 : 0;
    }
    EXPECT_EQ(reads, 10001u);
    EXPECT_EQ(calls[6], setupWrite(standin::memBase(0), 0x2EC, 0xFFFFBCCD));
}

TEST(DravexLibraryOpen, MissingLibraryIsNamed) {
    const auto library = card::DravexLibrary::open("no-such-folder\\Dravex.dll");
    EXPECT_FALSE(library);
    const std::string& problem = library.refusal();
    EXPECT_NE(problem.find("\"no-such-folder\\Dravex.dll\""), std::string::npos) << problem;
    EXPECT_NE(problem.find("could not be loaded"), std::string::npos) << problem;
}

TEST(DravexLibraryOpen, MissingEntryPointIsNamedAndNothingIsCalled) {
    StandIn partial("DravexWithoutRecover.dll");
    ASSERT_TRUE(partial.loaded());
    partial.reset();
    const auto library = card::DravexLibrary::open("DravexWithoutRecover.dll");
    EXPECT_FALSE(library);
    const std::string& problem = library.refusal();
    EXPECT_NE(problem.find("DravexWithoutRecover.dll"), std::string::npos) << problem;
    EXPECT_NE(problem.find("Drvx_RecoverEEP"), std::string::npos) << problem;
    for (const char* present : {"Drvx_ReadEEP", "Drvx_WriteEEP", "Drvx_DriverInit"}) {
        EXPECT_EQ(problem.find(present), std::string::npos) << problem;
    }
    EXPECT_TRUE(partial.calls().empty());
}

TEST(DravexLibraryOpen, StandInExportsUndecoratedNames) {
    StandIn standIn("Dravex.dll");
    ASSERT_TRUE(standIn.loaded());
    const HMODULE module = GetModuleHandleA("Dravex.dll");
    ASSERT_NE(module, nullptr);
    for (const char* name :
         {"Drvx_DriverInit", "Drvx_SearchCard", "Drvx_GetCardInfo", "Drvx_DriverClose",
          "Drvx_ReadEEP", "Drvx_WriteEEP", "Drvx_RecoverEEP", "Drvx_ConfigAO",
          "Drvx_WriteAOVoltageH", "Drvx_ReadPhyMemory", "Drvx_WritePhyMemory"}) {
        EXPECT_NE(GetProcAddress(module, name), nullptr) << name;
    }
}

} // namespace
