#include "sim/numbers.h"

namespace sim {

std::uint64_t mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

double unit(std::uint32_t variant, int board, std::uint32_t what) {
    const std::uint64_t h = mix(mix(mix(variant) ^ static_cast<std::uint64_t>(board)) ^ what);
    return static_cast<double>(h >> 11) * 0x1.0p-53;
}

double between(std::uint32_t variant, int board, std::uint32_t what, double lo, double hi) {
    return lo + (hi - lo) * unit(variant, board, what);
}

std::uint16_t word16(std::uint32_t variant, int board, std::uint32_t what) {
    return static_cast<std::uint16_t>(
        mix(mix(variant) ^ (static_cast<std::uint64_t>(board) << 20) ^ (0x5EA1ull << 40) ^ what));
}

std::uint64_t noiseStart(std::uint32_t variant, int board) {
    return mix(mix(variant) ^ (static_cast<std::uint64_t>(board) << 32) ^ kWhatNoise) | 1u;
}

double nextNoise(std::uint64_t& state) {
    // Four uniform numbers from one xorshift step, centred and scaled to a standard deviation
    // of 1.
    std::uint64_t x = state;
    x ^= x >> 12;
    x ^= x << 25;
    x ^= x >> 27;
    state = x;
    const std::uint64_t r = x * 0x2545F4914F6CDD1Dull;
    const double sum = static_cast<double>(r & 0xFFFF) + static_cast<double>((r >> 16) & 0xFFFF) +
                       static_cast<double>((r >> 32) & 0xFFFF) + static_cast<double>(r >> 48);
    return (sum / 65536.0 - 2.0) * 1.7320508075688772;
}

} // namespace sim
