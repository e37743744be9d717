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
// Built twice: as Dravex.dll, and with STANDIN_WITHOUT_RECOVER_EEP as a library that lacks
// Drvx_RecoverEEP.

#include "standin_dravex.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
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

std::array<unsigned short, 128> factoryEeprom(int board) {
    std::array<unsigned short, 128> words{};
    for (std::size_t i = 0; i < words.size(); ++i) {
        words[i] =
            static_cast<unsigned short>(0x1357 * (i + 1) + 0x100 * static_cast<unsigned>(board));
    }
    return words;
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

// Logs the call; gives the scripted status of the entry point (0 when none was set).
short record(const char* entryPoint, const std::string& arguments) {
    Script& s = script();
    s.log += entryPoint;
    if (!arguments.empty()) {
        s.log += ' ';
        s.log += arguments;
    }
    s.log += '\n';
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

struct Init {
    Init() { setCards(1); }
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
    for (std::size_t i = 0; i < card->eeprom.size(); ++i) {
        data[i] = card->eeprom[i]; // zero-extended
    }
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
