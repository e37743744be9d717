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

// Where an output's ends may lie beyond their nominal points for the end-point search to
// work (room for its probe and margin, not so far that its estimate overshoots; a unipolar
// zero approached from code 0 in a few dozen steps), and the millivolt of the range (the
// 10 V ranges count twice as many).
struct EndRoom {
    double lowLo, lowHi, highLo, highHi, mV;
};

EndRoom endRoom(int rangeCode) {
    const NominalRange nominal = nominalRange(rangeCode);
    const double mV = (nominal.high == 10.0 ? 2.0 : 1.0) / 1000.0;
    const bool unipolar = nominal.low == 0.0;
    return {unipolar ? 0.0022 : 3.5 * mV, unipolar ? 0.006 : 7.75 * mV,
            unipolar ? 2.5 * mV : 3.5 * mV, unipolar ? 7.5 * mV : 7.75 * mV, mV};
}

// Calls f(channel, range code, transfer, room) for each output range of the model.
template <class F> void forEachEnd(AnalogModel& m, F f) {
    for (int ch = 0; ch < 2; ++ch) {
        for (int r = 0; r < 4; ++r) {
            f(ch, r, m.out[static_cast<std::size_t>(ch)][static_cast<std::size_t>(r)], endRoom(r));
        }
    }
}

// The yearly change of an end's distance beyond its nominal point (positive: further beyond):
// 0.2 to 3 millivolts of the range, most ends slow and a few fast, towards the side with
// more room, and never so fast that the room lasts less than two years.
double endRate(std::uint32_t v, int b, std::uint32_t what, double beyond, double lo, double hi,
               double mV) {
    const double u = unit(v, b, what);
    const double wanted = (0.2 + 2.8 * u * u) * mV;
    const double outward = std::max(0.0, hi - beyond);
    const double inward = std::max(0.0, beyond - lo);
    const double room = std::max(outward, inward);
    return (outward >= inward ? 1.0 : -1.0) * std::min(wanted, room / 2.0);
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
    forEachEnd(m, [&](int ch, int r, Output& o, const EndRoom& room) {
        const std::uint32_t k = static_cast<std::uint32_t>(4 * ch + r);
        const NominalRange nominal = nominalRange(r);
        const double dLow =
            endDrift(nominal.low - o.v0, wantedDrift(v, b, kWhatDriftLow + k, room.mV), room.lowLo,
                     room.lowHi);
        const double dHigh =
            endDrift(o.v0 + o.slope * 65535.0 - nominal.high,
                     wantedDrift(v, b, kWhatDriftHigh + k, room.mV), room.highLo, room.highHi);
        o.v0 -= dLow;
        o.slope += (dLow + dHigh) / 65535.0;
    });
    return m;
}

double AnalogModel::driftPerYear(std::uint32_t v, int b, int channel, int rangeCode,
                                 bool upper) const {
    const Output& o =
        out.at(static_cast<std::size_t>(channel)).at(static_cast<std::size_t>(rangeCode));
    const EndRoom room = endRoom(rangeCode);
    const NominalRange nominal = nominalRange(rangeCode);
    const std::uint32_t k = static_cast<std::uint32_t>(4 * channel + rangeCode);
    // The change of the end's distance beyond its nominal point, then as the voltage moves.
    const double beyond =
        upper
            ? endRate(v, b, kWhatRateHigh + k, o.v0 + o.slope * 65535.0 - nominal.high, room.highLo,
                      room.highHi, room.mV)
            : endRate(v, b, kWhatRateLow + k, nominal.low - o.v0, room.lowLo, room.lowHi, room.mV);
    return upper ? beyond : -beyond;
}

AnalogModel AnalogModel::drifted(std::uint32_t v, int b, double years) const {
    AnalogModel m = *this;
    if (!(years > 0.0)) {
        return m;
    }
    forEachEnd(m, [&](int ch, int r, Output& o, const EndRoom& room) {
        const NominalRange nominal = nominalRange(r);
        const double low = nominal.low - o.v0;
        const double high = o.v0 + o.slope * 65535.0 - nominal.high;
        // Each end moves on at its rate until it reaches the edge of where the search works.
        const double dLow =
            std::clamp(-driftPerYear(v, b, ch, r, false) * years, std::min(0.0, room.lowLo - low),
                       std::max(0.0, room.lowHi - low));
        const double dHigh =
            std::clamp(driftPerYear(v, b, ch, r, true) * years, std::min(0.0, room.highLo - high),
                       std::max(0.0, room.highHi - high));
        o.v0 -= dLow;
        o.slope += (dLow + dHigh) / 65535.0;
    });
    return m;
}

} // namespace sim
