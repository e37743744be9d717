#include "sim/analog_model.h"

#include "sim/numbers.h"

#include <algorithm>
#include <cmath>

namespace sim {

namespace {

// The transfer of one output range. The code range reaches a few millivolts beyond both
// nominal ends (gain errors of 0.06 .. 0.2 %): enough for the end-point search's probe and
// margin, little enough that its one-step estimate cannot overshoot the target.
AnalogModel::Output outputTransfer(std::uint32_t v, int b, int ch, int r) {
    const std::uint32_t k = static_cast<std::uint32_t>(4 * ch + r);
    const NominalRange nominal = nominalRange(r);
    const double span = nominal.high - nominal.low;
    // Millivolts of the 5 V ranges; the 10 V ranges have twice as many.
    const double mV = (nominal.high == 10.0 ? 2.0 : 1.0) / 1000.0;
    const bool unipolar = nominal.low == 0.0;
    // Unipolar: code 0 gives -2 .. -5 mV, so 0 V lies inside the code range.
    const double below = unipolar ? between(v, b, kWhatOutOffset + k, 0.002, 0.005)
                                  : between(v, b, kWhatOutOffset + k, 3.5, 7.5) * mV;
    const double above = unipolar ? between(v, b, kWhatOutGain + k, 2.5, 5.0) * mV
                                  : between(v, b, kWhatOutGain + k, 3.5, 7.5) * mV;
    AnalogModel::Output o{};
    o.v0 = nominal.low - below;
    o.slope = (span + below + above) / 65535.0;
    return o;
}

// The transfer of one gain code.
AnalogModel::Input inputTransfer(std::uint32_t v, int b, int g) {
    const std::uint32_t k = static_cast<std::uint32_t>(g);
    AnalogModel::Input in{};
    // A small positive zero offset: the 0 V reading is a count or a few above zero (at most
    // about 1.5 counts in the 10.24 V range, whose 0 V code also shifts the -10 V target of
    // the automatic calibration).
    const double maxOffset = g == 1 ? 1.4 : g == 2 ? 2.4 : 3.5;
    in.offset = between(v, b, kWhatInOffset + k, 0.7, maxOffset);
    in.countsPerVolt =
        32768.0 / inputFullScale(g) * (1.0 + between(v, b, kWhatInGain + k, -0.0025, 0.0025));
    return in;
}

// How far one end of an output moves since the factory, as the change of its distance
// beyond the nominal end (positive: further beyond). The wanted change keeps its size if
// the distance stays within [lo, hi] one way or the other; otherwise the end moves as far as
// the roomier way allows.
double endDrift(double beyond, double wanted, double lo, double hi) {
    for (const double d : {wanted, -wanted}) {
        if (beyond + d >= lo && beyond + d <= hi) {
            return d;
        }
    }
    const double outward = hi - beyond;
    const double inward = beyond - lo;
    return outward >= inward ? std::max(outward, 0.0) : -std::max(inward, 0.0);
}

// A drift of 1 to 2 mV (the 10 V ranges twice that), either way.
double wantedDrift(std::uint32_t v, int b, std::uint32_t what, double mV) {
    const double x = between(v, b, what, -1.0, 1.0);
    return (x < 0 ? -1.0 : 1.0) * (1.0 + std::fabs(x)) * mV;
}

} // namespace

AnalogModel AnalogModel::make(std::uint32_t v, int b) {
    AnalogModel m;
    // References within +-3 mV of nominal, to 0.1 mV as a meter shows them.
    m.ref10 = 10.0 + std::round(between(v, b, kWhatRef10, -30.0, 30.0)) / 10000.0;
    m.ref5 = 5.0 + std::round(between(v, b, kWhatRef5, -30.0, 30.0)) / 10000.0;
    if (m.ref10 == 10.0) {
        m.ref10 = 9.9987;
    }
    if (m.ref5 == 5.0) {
        m.ref5 = 5.0012;
    }
    for (int ch = 0; ch < 2; ++ch) {
        for (int r = 0; r < 4; ++r) {
            m.out[static_cast<std::size_t>(ch)][static_cast<std::size_t>(r)] =
                outputTransfer(v, b, ch, r);
        }
    }
    for (int g = 0; g < 8; ++g) {
        m.in[static_cast<std::size_t>(g)] = inputTransfer(v, b, g);
    }
    return m;
}

double AnalogModel::outputVoltageAt(int channel, int rangeCode, std::uint16_t code) const {
    const Output& o =
        out.at(static_cast<std::size_t>(channel)).at(static_cast<std::size_t>(rangeCode));
    return o.v0 + o.slope * code;
}

double AnalogModel::inputCodeFor(int gainCode, double volts) const {
    const Input& i = in.at(static_cast<std::size_t>(gainCode));
    return i.offset + i.countsPerVolt * volts;
}

std::uint16_t AnalogModel::idealOutputCode(int channel, int rangeCode, bool upper) const {
    const Output& o =
        out.at(static_cast<std::size_t>(channel)).at(static_cast<std::size_t>(rangeCode));
    const NominalRange nominal = nominalRange(rangeCode);
    const double target = upper ? nominal.high : nominal.low;
    const double code = std::clamp(std::nearbyint((target - o.v0) / o.slope), 0.0, 65535.0);
    return static_cast<std::uint16_t>(code);
}

double AnalogModel::sourceVolts(int source, const std::array<int, 2>& range,
                                const std::array<std::uint16_t, 2>& code) const {
    switch (source) {
    case 2:
        return ref5;
    case 3:
        return ref10;
    case 5:
    case 7: {
        const auto ch = static_cast<std::size_t>(source == 5 ? 0 : 1);
        const Output& o = out[ch][static_cast<std::size_t>(range[ch])];
        return o.v0 + o.slope * code[ch];
    }
    default: // 4 and the undocumented sources: 0 V
        return 0.0;
    }
}

std::int16_t AnalogModel::convert(int gainCode, double volts, std::uint64_t& noise) const {
    // Noise of about one count.
    const double n = nextNoise(noise);
    const Input& i = in[static_cast<std::size_t>(gainCode)];
    const double code = std::nearbyint(i.offset + i.countsPerVolt * volts + n);
    return static_cast<std::int16_t>(std::clamp(code, -32768.0, 32767.0));
}

AnalogModel AnalogModel::aged(std::uint32_t v, int b) const {
    AnalogModel m = *this;
    for (int ch = 0; ch < 2; ++ch) {
        for (int r = 0; r < 4; ++r) {
            const std::uint32_t k = static_cast<std::uint32_t>(4 * ch + r);
            const NominalRange nominal = nominalRange(r);
            const double mV = (nominal.high == 10.0 ? 2.0 : 1.0) / 1000.0;
            const bool unipolar = nominal.low == 0.0;
            Output& o = m.out[static_cast<std::size_t>(ch)][static_cast<std::size_t>(r)];
            // The distances beyond the nominal ends stay where the end-point search works
            // (room for its probe and margin, not so far that its estimate overshoots) and a
            // unipolar zero is approached from code 0 in a few dozen steps.
            const double lowLo = unipolar ? 0.0022 : 3.5 * mV;
            const double lowHi = unipolar ? 0.006 : 7.75 * mV;
            const double highLo = unipolar ? 2.5 * mV : 3.5 * mV;
            const double highHi = unipolar ? 7.5 * mV : 7.75 * mV;
            const double dLow = endDrift(nominal.low - o.v0,
                                         wantedDrift(v, b, kWhatDriftLow + k, mV), lowLo, lowHi);
            const double dHigh =
                endDrift(o.v0 + o.slope * 65535.0 - nominal.high,
                         wantedDrift(v, b, kWhatDriftHigh + k, mV), highLo, highHi);
            o.v0 -= dLow;
            o.slope += (dLow + dHigh) / 65535.0;
        }
    }
    return m;
}

} // namespace sim
