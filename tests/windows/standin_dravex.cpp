// A stand-in for the card maker's Dravex.dll, written for the tests of the Windows binding.
//
// It exports the driver entry points that card::Driver declares, by their undecorated names
// with the standard Win32 calling convention, and records every call with its arguments,
// including the bytes of the records, buffers and images passed by address as they arrive.
// It answers from a small script: the number of cards, a status per entry point, each card's
// EEPROM and a tiny register model (a conversion stays busy for a few status reads, then
// shows a fixed sample). The script and the call log are reached through the Standin_*
// exports.
//
// STANDIN_DRAVEX_CARDS=N starts it with N cards instead of one. With the environment variable
// STANDIN_DRAVEX_LOG naming a file, every call is appended to
// that file as well (and after Drvx_ReadEEP a line with the image handed back), so that a run
// of the whole program can be checked from outside (tools/test-windows).
//
// Built twice: as Dravex.dll, and with STANDIN_WITHOUT_RECOVER_EEP as a library that lacks
// Drvx_RecoverEEP.

#include "standin_dravex.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#define STANDIN_EXPORT extern "C" __declspec(dllexport)

namespace {

// Returned for a board number the script has no card for.
constexpr short kNoSuchBoard = 2;

constexpr std::uint32_t kStatusReg = 0x294;
constexpr std::uint32_t kWindowSize = 0x1000;
constexpr std::uint32_t kBusyBit = 0x10000;

struct Card {
    std::array<unsigned short, 128> eeprom{};
    std::array<unsigned short, 128> backup{};
    int busyLeft = 0;
};

struct Script {
    std::vector<Card> cards;
    std::map<std::string, short> statuses;
    int busyReads = standin::kDefaultBusyReads;
    int sample = 0;
    std::string log;
};

Script& script() {
    static Script s;
    return s;
}

// A card as it leaves the factory: plausible calibration words, laid out as the window's
// word map expects them (references at 4..7, output codes at 8..23, input codes at 24..49),
// with identification, date, other trim data, a marker and a checksum around them. Board b
// differs from board 0 by small offsets, so that two cards never look alike.
std::array<unsigned short, 128> factoryEeprom(int board) {
    std::array<unsigned short, 128> w{};
    const auto b = static_cast<unsigned>(board);
    w[0] = 0x4815;
    w[1] = 0x0102;
    w[2] = static_cast<unsigned short>(0x3A21 + 0x11 * b); // serial number
    w[3] = 0x0001;
    // 10.0012 V and 5.0007 V as measured at the factory (single-precision bit patterns).
    const auto pattern = [](float v) {
        std::uint32_t u = 0;
        std::memcpy(&u, &v, sizeof u);
        return u;
    };
    const std::uint32_t p10 = pattern(10.0012f);
    const std::uint32_t p5 = pattern(5.0007f);
    w[4] = static_cast<unsigned short>(p10 & 0xFFFF);
    w[5] = static_cast<unsigned short>(p10 >> 16);
    w[6] = static_cast<unsigned short>(p5 & 0xFFFF);
    w[7] = static_cast<unsigned short>(p5 >> 16);
    // Output codes per box (CH0 then CH1; Unipolar 5V, Unipolar 10V, Bipolar 5V, Bipolar
    // 10V), upper end point then lower: near full scale and near zero, a few codes off.
    constexpr std::array<unsigned short, 16> kOutputs{
        0xFFC2, 0x0031, 0xFFB7, 0x0024, 0xFFA9, 0x004E, 0xFFD3, 0x0019,
        0xFFBB, 0x0028, 0xFFC6, 0x003A, 0xFF9E, 0x0043, 0xFFCC, 0x0022,
    };
    for (std::size_t i = 0; i < kOutputs.size(); ++i) {
        w[8 + i] = static_cast<unsigned short>(kOutputs[i] - (i % 2 == 0 ? b : 0u) +
                                               (i % 2 == 0 ? 0u : b));
    }
    // Input codes (signed): the upper point of each range and its 0 V code.
    w[24] = 0x7D0B; // 10.24 V range at the 10 V reference
    w[25] = 0xFFFB; // -5
    w[28] = 0x7CF6; // 5.12 V range at the 5 V reference
    w[29] = 0x0004;
    w[32] = 0x7EF2; // 2.56 V range at 2.54 V
    w[33] = 0xFFFE; // -2
    w[36] = 0x7EFA; // 1.28 V range at 1.27 V
    w[37] = 0x0006;
    w[40] = 0x7E13; // 0.64 V range at 0.63 V
    w[41] = 0x000B;
    w[48] = 0x3E86; // 20.48 V range at the 10 V reference
    w[49] = 0x0003;
    // Trim data of other parts of the card, the calibration date, the model name.
    std::uint32_t x = 0x2F6B1u + 977u * b;
    const auto next = [&x] {
        x = x * 1103515245u + 12345u;
        return static_cast<unsigned short>(x >> 16);
    };
    for (std::size_t i : {26u, 27u, 30u, 31u, 34u, 35u, 38u, 39u, 42u, 43u, 44u, 45u, 46u, 47u}) {
        w[i] = next();
    }
    w[50] = 2023;
    w[51] = 0x0A11; // 17 October
    const char name[] = "MX-4815\0";
    for (std::size_t i = 0; i < 4; ++i) {
        w[52 + i] = static_cast<unsigned short>(static_cast<unsigned char>(name[2 * i]) << 8 |
                                                static_cast<unsigned char>(name[2 * i + 1]));
    }
    for (std::size_t i = 56; i < 126; ++i) {
        w[i] = next();
    }
    w[126] = 0xA55A;
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < 127; ++i) {
        sum += w[i];
    }
    w[127] = static_cast<unsigned short>(~sum & 0xFFFF);
    return w;
}

void setCards(int count) {
    Script& s = script();
    s.cards.assign(static_cast<std::size_t>(count < 0 ? 0 : count), Card{});
    for (std::size_t b = 0; b < s.cards.size(); ++b) {
        s.cards[b].eeprom = factoryEeprom(static_cast<int>(b));
        s.cards[b].backup = s.cards[b].eeprom;
    }
}

std::string hex32(std::uint32_t v) {
    char text[9];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(v));
    return text;
}

std::string hexBytes(const void* data, std::size_t size) {
    static const char digits[] = "0123456789ABCDEF";
    const auto* p = static_cast<const unsigned char*>(data);
    std::string out;
    for (std::size_t i = 0; i < size; ++i) {
        out += digits[p[i] >> 4];
        out += digits[p[i] & 0xF];
    }
    return out;
}

// With STANDIN_DRAVEX_LOG naming a file, every call is also appended to that file as one
// line, the file opened and closed around each line: the program may end at once (EXIT ends
// it without returning from main), and what has been received must be on disk then.
void appendToLogFile(const std::string& line) {
    const char* path = std::getenv("STANDIN_DRAVEX_LOG");
    if (path == nullptr || *path == '\0') {
        return;
    }
    if (std::FILE* f = std::fopen(path, "ab")) {
        std::fwrite(line.data(), 1, line.size(), f);
        std::fclose(f);
    }
}

// Logs the call; gives the scripted status of the entry point (0 when none was set).
short record(const char* entryPoint, const std::string& arguments) {
    Script& s = script();
    std::string line = entryPoint;
    if (!arguments.empty()) {
        line += ' ';
        line += arguments;
    }
    line += '\n';
    s.log += line;
    appendToLogFile(line);
    auto it = s.statuses.find(entryPoint);
    return it == s.statuses.end() ? 0 : it->second;
}

Card* cardOf(short board) {
    Script& s = script();
    if (board < 0 || static_cast<std::size_t>(board) >= s.cards.size()) {
        return nullptr;
    }
    return &s.cards[static_cast<std::size_t>(board)];
}

// The card whose register window holds the address, and the offset in it.
Card* cardAt(std::uint32_t address, std::uint32_t& offset) {
    Script& s = script();
    for (std::size_t b = 0; b < s.cards.size(); ++b) {
        const std::uint32_t base = standin::memBase(static_cast<int>(b));
        if (address >= base && address - base < kWindowSize) {
            offset = address - base;
            return &s.cards[b];
        }
    }
    return nullptr;
}

std::string boardArg(short board) {
    return "board=" + std::to_string(board);
}

// One card, or as many as STANDIN_DRAVEX_CARDS says (0 to 32), for a run of the whole program.
int startCards() {
    const char* text = std::getenv("STANDIN_DRAVEX_CARDS");
    if (text == nullptr || *text == '\0') {
        return 1;
    }
    char* end = nullptr;
    const long n = std::strtol(text, &end, 10);
    return (*end == '\0' && n >= 0 && n <= 32) ? static_cast<int>(n) : 1;
}

struct Init {
    Init() { setCards(startCards()); }
} init;

} // namespace

// ---- The driver entry points ----------------------------------------------------------------

STANDIN_EXPORT short __stdcall Drvx_DriverInit(short* wTotalBoards) {
    const short status = record("Drvx_DriverInit", "");
    if (status == 0) {
        *wTotalBoards = static_cast<short>(script().cards.size());
    }
    return status;
}

STANDIN_EXPORT short __stdcall Drvx_SearchCard(short* wNumBoards, std::int32_t dwCardId) {
    const short status =
        record("Drvx_SearchCard", "id=" + hex32(static_cast<std::uint32_t>(dwCardId)));
    if (status == 0) {
        *wNumBoards = dwCardId == 0x2CB656 ? static_cast<short>(script().cards.size()) : 0;
    }
    return status;
}

STANDIN_EXPORT short __stdcall Drvx_GetCardInfo(short wBoardNo, unsigned char* cardInfo,
                                                unsigned char* cardConfig, char* modelName) {
    short status =
        record("Drvx_GetCardInfo", boardArg(wBoardNo) + " info=" + hexBytes(cardInfo, 64) +
                                       " config=" + hexBytes(cardConfig, 52) +
                                       " name=" + hexBytes(modelName, 20));
    if (status == 0 && cardOf(wBoardNo) == nullptr) {
        status = kNoSuchBoard;
    }
    if (status != 0) {
        return status;
    }
    for (int k = 0; k < 64; ++k) {
        cardInfo[k] = standin::infoByte(wBoardNo, k);
    }
    const std::uint32_t base = standin::memBase(wBoardNo);
    for (int i = 0; i < 4; ++i) {
        cardInfo[52 + i] = static_cast<unsigned char>(base >> (8 * i));
    }
    for (int k = 0; k < 52; ++k) {
        cardConfig[k] = standin::configByte(wBoardNo, k);
    }
    std::memset(modelName, 0, 20);
    std::memcpy(modelName, standin::kModelName, sizeof standin::kModelName - 1);
    return 0;
}

STANDIN_EXPORT short __stdcall Drvx_DriverClose() {
    return record("Drvx_DriverClose", "");
}

STANDIN_EXPORT short __stdcall Drvx_ReadEEP(short wBoardNo, std::int32_t* data) {
    short status = record("Drvx_ReadEEP", boardArg(wBoardNo));
    Card* card = cardOf(wBoardNo);
    if (status == 0 && card == nullptr) {
        status = kNoSuchBoard;
    }
    if (status != 0) {
        return status;
    }
    std::string words;
    for (std::size_t i = 0; i < card->eeprom.size(); ++i) {
        data[i] = card->eeprom[i]; // zero-extended
        words += (i == 0 ? "" : " ") + hex32(card->eeprom[i]);
    }
    // The log file also gets the image handed back, so that a run watched from outside knows
    // what the window was given.
    appendToLogFile("Drvx_ReadEEP-returned board=" + std::to_string(wBoardNo) + " image=" + words +
                    "\n");
    return 0;
}

STANDIN_EXPORT short __stdcall Drvx_WriteEEP(short wBoardNo, std::int32_t* data) {
    std::string image;
    for (int i = 0; i < 129; ++i) {
        image += (i == 0 ? "" : " ") + hex32(static_cast<std::uint32_t>(data[i]));
    }
    short status = record("Drvx_WriteEEP", boardArg(wBoardNo) + " image=" + image);
    Card* card = cardOf(wBoardNo);
    if (status == 0 && card == nullptr) {
        status = kNoSuchBoard;
    }
    if (status != 0) {
        return status;
    }
    for (std::size_t i = 0; i < card->eeprom.size(); ++i) {
        card->eeprom[i] = static_cast<unsigned short>(data[i] & 0xFFFF);
    }
    return 0;
}

#ifndef STANDIN_WITHOUT_RECOVER_EEP
STANDIN_EXPORT short __stdcall Drvx_RecoverEEP(short wBoardNo) {
    short status = record("Drvx_RecoverEEP", boardArg(wBoardNo));
    Card* card = cardOf(wBoardNo);
    if (status == 0 && card == nullptr) {
        status = kNoSuchBoard;
    }
    if (status == 0) {
        card->eeprom = card->backup;
    }
    return status;
}
#endif

STANDIN_EXPORT short __stdcall Drvx_ConfigAO(short wBoardNo, short wChannel, short wRange) {
    return record("Drvx_ConfigAO", boardArg(wBoardNo) + " channel=" + std::to_string(wChannel) +
                                       " range=" + std::to_string(wRange));
}

STANDIN_EXPORT short __stdcall Drvx_WriteAOVoltageH(short wBoardNo, short wChannel,
                                                    std::int32_t dwCode) {
    return record("Drvx_WriteAOVoltageH", boardArg(wBoardNo) +
                                              " channel=" + std::to_string(wChannel) +
                                              " code=" + hex32(static_cast<std::uint32_t>(dwCode)));
}

STANDIN_EXPORT short __stdcall Drvx_ReadPhyMemory(std::int32_t dwAddress, short wSize,
                                                  std::int32_t* dwValue) {
    const auto address = static_cast<std::uint32_t>(dwAddress);
    const short status = record("Drvx_ReadPhyMemory",
                                "address=" + hex32(address) + " size=" + std::to_string(wSize));
    if (status != 0) {
        return status;
    }
    std::uint32_t offset = 0;
    Card* card = cardAt(address, offset);
    std::uint32_t value = 0xFFFFFFFFu; // nothing answers outside the cards' windows
    if (card != nullptr) {
        value = 0;
        if (offset == kStatusReg) {
            const auto sample = static_cast<std::uint32_t>(script().sample) & 0xFFFFu;
            if (card->busyLeft > 0) {
                --card->busyLeft;
                value = kBusyBit | (sample ^ 0x5A5Au); // not a result yet
            } else {
                value = sample;
            }
        }
    }
    *dwValue = static_cast<std::int32_t>(value);
    return 0;
}

STANDIN_EXPORT short __stdcall Drvx_WritePhyMemory(std::int32_t dwAddress, short wSize,
                                                   std::int32_t dwValue) {
    const auto address = static_cast<std::uint32_t>(dwAddress);
    const short status = record("Drvx_WritePhyMemory",
                                "address=" + hex32(address) + " size=" + std::to_string(wSize) +
                                    " value=" + hex32(static_cast<std::uint32_t>(dwValue)));
    if (status != 0) {
        return status;
    }
    std::uint32_t offset = 0;
    Card* card = cardAt(address, offset);
    if (card != nullptr && offset == kStatusReg) {
        card->busyLeft = script().busyReads; // a write starts a conversion
    }
    return 0;
}

// ---- The control API ------------------------------------------------------------------------

STANDIN_EXPORT void __stdcall Standin_Reset() {
    Script& s = script();
    s.statuses.clear();
    s.busyReads = standin::kDefaultBusyReads;
    s.sample = 0;
    s.log.clear();
    setCards(1);
}

STANDIN_EXPORT void __stdcall Standin_SetCards(short count) {
    setCards(count);
}

STANDIN_EXPORT void __stdcall Standin_SetStatus(const char* entryPoint, short status) {
    script().statuses[entryPoint] = status;
}

STANDIN_EXPORT void __stdcall Standin_SetEeprom(short board, const unsigned short* words128) {
    if (Card* card = cardOf(board)) {
        std::memcpy(card->eeprom.data(), words128, sizeof card->eeprom);
    }
}

STANDIN_EXPORT void __stdcall Standin_GetEeprom(short board, unsigned short* words128) {
    if (Card* card = cardOf(board)) {
        std::memcpy(words128, card->eeprom.data(), sizeof card->eeprom);
    }
}

STANDIN_EXPORT void __stdcall Standin_SetRegisterModel(int busyReads, int sample) {
    script().busyReads = busyReads;
    script().sample = sample;
}

// Copies the log (one line per call) into buffer, NUL-terminated and cut to size - 1
// characters; gives the full length of the log.
STANDIN_EXPORT int __stdcall Standin_CallLog(char* buffer, int size) {
    const std::string& log = script().log;
    if (buffer != nullptr && size > 0) {
        const std::size_t n = std::min(log.size(), static_cast<std::size_t>(size - 1));
        std::memcpy(buffer, log.data(), n);
        buffer[n] = '\0';
    }
    return static_cast<int>(log.size());
}

STANDIN_EXPORT void __stdcall Standin_ClearLog() {
    script().log.clear();
}
