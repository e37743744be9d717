#pragma once

// The analog side of one simulated card: its two reference voltages, the transfer of its two
// outputs in their four ranges, the transfer of the A/D converter in its eight gain codes,
// and the converter's noise.

#include "card/facts.h"

#include <array>
#include <cstdint>

namespace sim {

// The nominal ends of an output range, by the driver's range code 0..3.
struct NominalRange {
    double low;
    double high;
};
inline NominalRange nominalRange(int rangeCode) {
    const auto range = card::outputRangeOfCode(static_cast<card::Int16>(rangeCode));
    const card::OutputRangeFacts& f = card::facts(range.value_or(card::OutputRange{}));
    return {f.low, f.high};
}

// Input full scale by gain code; the codes no range uses (0 and 6) act as the widest range.
inline double inputFullScale(int gainCode) {
    return card::fullScaleOfGain(static_cast<card::Int16>(gainCode))
        .value_or(card::kInputRanges[0].fullScale);
}

struct AnalogModel {
    // V(code) = v0 + slope * code, per channel and range code.
    struct Output {
        double v0;
        double slope;
    };
    // code = offset + countsPerVolt * V, per gain code.
    struct Input {
        double offset;
        double countsPerVolt;
    };

    double ref10 = 10.0;
    double ref5 = 5.0;
    std::array<std::array<Output, 4>, 2> out{};
    std::array<Input, 8> in{};

    // The model of a board as it left the factory, fixed by the variant and the board.
    static AnalogModel make(std::uint32_t variant, int board);
    // The same board some time later: each output's end voltages have moved by 1 to 2 mV
    // (twice that in the 10 V ranges), a shift of its offset and a gain change of a few
    // hundredths of a percent, each end in the direction that keeps it reachable. The
    // references and the A/D converter are as they were.
    AnalogModel aged(std::uint32_t variant, int board) const;
    // The same board years after its drift began: each output end moves on from here at its
    // rate (driftPerYear), and stops at the edge of where the end-point search still works.
    // No time (years <= 0): this model exactly.
    AnalogModel drifted(std::uint32_t variant, int board, double years) const;
    // The rate at which an end of an output moves on from this model, in volts a year, signed
    // as its voltage moves: a few millivolts a year (0.2 to 3 mV in the 5 V ranges, twice
    // that in the 10 V ranges; most ends slow, a few fast), fixed by the variant, the board
    // and the end, never so fast that its room lasts less than two years.
    double driftPerYear(std::uint32_t variant, int board, int channel, int rangeCode,
                        bool upper) const;

    // A channel 0/1, range code 0..3 or gain code 0..7 out of range throws std::out_of_range.
    double outputVoltageAt(int channel, int rangeCode, std::uint16_t code) const;
    // The A/D converter's noiseless transfer, before rounding and clamping.
    double inputCodeFor(int gainCode, double volts) const;
    // The code whose true output lies nearest the nominal end point (upper: +5 V / +10 V,
    // lower: 0 V / -5 V / -10 V).
    std::uint16_t idealOutputCode(int channel, int rangeCode, bool upper) const;

    // The voltage at the converter's input for a source code of the configuration word, with
    // the outputs at the given range codes and codes.
    double sourceVolts(int source, const std::array<int, 2>& range,
                       const std::array<std::uint16_t, 2>& code) const;
    // One conversion of the voltage in a gain code (0..7), with noise from the generator.
    std::int16_t convert(int gainCode, double volts, std::uint64_t& noise) const;
};

} // namespace sim
