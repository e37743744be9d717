#pragma once

// Deterministic numbers: everything the simulated cards vary (references, gains, offsets,
// factory data, noise) follows from the variant, the board and what the number is for, so
// that the same variant always gives the same cards.

#include <cstdint>

namespace sim {

// Purposes of the numbers below.
enum : std::uint32_t {
    kWhatRef10 = 1,
    kWhatRef5 = 2,
    kWhatOutOffset = 0x100, // + 4 * channel + range
    kWhatOutGain = 0x200,   // + 4 * channel + range
    kWhatInOffset = 0x300,  // + gain code
    kWhatInGain = 0x400,    // + gain code
    kWhatNoise = 0x500,
    kWhatDate = 0x600,
    kWhatDriftLow = 0x700,  // + 4 * channel + range
    kWhatDriftHigh = 0x800, // + 4 * channel + range
    kWhatRateLow = 0x900,   // + 4 * channel + range
    kWhatRateHigh = 0xA00,  // + 4 * channel + range
    kWhatOther = 0x1000,    // + word number
};

// A 64-bit mixing function (splitmix64's finaliser).
std::uint64_t mix(std::uint64_t x);

// A number in [0, 1) fixed by the variant, the board and what it is for.
double unit(std::uint32_t variant, int board, std::uint32_t what);

// A number in [lo, hi) fixed like unit().
double between(std::uint32_t variant, int board, std::uint32_t what, double lo, double hi);

// A 16-bit word fixed by the variant, the board and what it is for.
std::uint16_t word16(std::uint32_t variant, int board, std::uint32_t what);

// The start of a board's noise generator (never 0).
std::uint64_t noiseStart(std::uint32_t variant, int board);

// The next noise sample of a generator: about normal, mean 0, standard deviation 1.
double nextNoise(std::uint64_t& state);

} // namespace sim
