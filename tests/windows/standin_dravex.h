#pragma once

// The control API of the stand-in Dravex.dll (standin_dravex.cpp). The driver entry points
// themselves are reached only through card::DravexLibrary; the tests reach these functions
// with GetProcAddress on the same loaded module, so both see the same state.

#include <cstdint>

namespace standin {

// Default register model: a conversion stays busy for this many status reads.
inline constexpr int kDefaultBusyReads = 2;

// What the stand-in writes for board b: the card-information record has byte k = 0xA0 + b + k
// except dwMemBase at bytes 52..55, the configuration record byte k = 0xC0 ^ (b + k), the
// model name "MX-4815" padded with NULs.
inline std::uint32_t memBase(int board) {
    return 0xFEB00000u + 0x1000u * static_cast<std::uint32_t>(board);
}
inline std::uint8_t infoByte(int board, int k) {
    return static_cast<std::uint8_t>(0xA0 + board + k);
}
inline std::uint8_t configByte(int board, int k) {
    return static_cast<std::uint8_t>(0xC0 ^ (board + k));
}
inline constexpr char kModelName[] = "MX-4815";

// Signatures of the exports, all __stdcall.
using ResetFn = void(__stdcall*)();
using SetCardsFn = void(__stdcall*)(short count);
using SetStatusFn = void(__stdcall*)(const char* entryPoint, short status);
using SetEepromFn = void(__stdcall*)(short board, const unsigned short* words128);
using GetEepromFn = void(__stdcall*)(short board, unsigned short* words128);
using SetRegisterModelFn = void(__stdcall*)(int busyReads, int sample);
using CallLogFn = int(__stdcall*)(char* buffer, int size);
using ClearLogFn = void(__stdcall*)();

} // namespace standin
