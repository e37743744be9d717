#pragma once

// The register window of a simulated card as the auto-calibration path uses it: an eight-write
// set-up (the seventh write is the configuration word with the source and the gain code),
// then a conversion started by writing 0 to the status register and its result read back
// from it once the busy bit has cleared. Every deviation from this protocol is reported.
//
// The protocol is kept here on purpose as an independent second copy of what
// card/register_acquisition does, so that the simulator checks the acquisition instead of
// repeating it: do not share code or constants with card/register_acquisition.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace sim {

// The register set-up of the auto-calibration path: offset and value of each write, in order.
struct SetupWrite {
    std::uint32_t offset;
    std::uint32_t value;
};
inline constexpr std::array<SetupWrite, 8> kSetup{{{0x200, 0xE},
                                                   {0x200, 0},
                                                   {0x290, 0},
                                                   {0x22C, 0},
                                                   {0x290, 1},
                                                   {0x298, 0},
                                                   {0x2EC, 0}, // the configuration word
                                                   {0x2F0, 0}}};
inline constexpr std::size_t kConfigStep = 6;
inline constexpr std::uint32_t kStatusRegister = 0x294;
inline constexpr std::uint32_t kConfigFixedBits = 0x8C4D;

// Reads of the status register that show the busy bit after a conversion is started.
inline constexpr int kBusyReads = 2;
inline constexpr std::uint32_t kBusyBit = 0x10000u;
inline constexpr std::uint32_t kJunkUpperBits = 0xA5A40000u & ~0x1FFFFu;

// The register window's state of one card.
struct RegisterWindow {
    std::size_t setupNext = 0; // index of the next expected set-up write; 8 = configured
    int source = 4;
    int gain = 7;
    bool started = false; // a conversion was started since the set-up
    int busyReads = 0;
    std::uint16_t result = 0; // result of the latest conversion
    std::uint16_t shown = 0;  // data bits the status register shows while busy
};

// "0x" and upper-case hex digits, at least the given number of them.
std::string hexText(std::uint32_t v, int digits = 0);

} // namespace sim
