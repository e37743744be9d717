#include "sim/factory_image.h"

#include "sim/numbers.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace sim {

namespace {

std::uint16_t codeWord(double code) {
    const double r = std::clamp(std::nearbyint(code), -32768.0, 32767.0);
    return static_cast<std::uint16_t>(static_cast<std::int16_t>(r));
}

std::uint32_t floatPattern(double v) {
    return std::bit_cast<std::uint32_t>(static_cast<float>(v));
}

// Words 0..3: model identifier, layout revision, serial number. Words 4..7: the reference
// voltages as measured at the factory.
void putIdentity(EepromWords& w, const AnalogModel& m, std::uint32_t serial) {
    w[0] = 0x4815;
    w[1] = 0x0102;
    w[2] = static_cast<std::uint16_t>(serial & 0xFFFFu);
    w[3] = static_cast<std::uint16_t>(serial >> 16);
    const std::uint32_t p10 = floatPattern(m.ref10);
    const std::uint32_t p5 = floatPattern(m.ref5);
    w[4] = static_cast<std::uint16_t>(p10 & 0xFFFFu);
    w[5] = static_cast<std::uint16_t>(p10 >> 16);
    w[6] = static_cast<std::uint16_t>(p5 & 0xFFFFu);
    w[7] = static_cast<std::uint16_t>(p5 >> 16);
}

// Words 8..23: output codes; box index k = 4 * channel + kind, kind order as the window
// shows them (Unipolar 5V, Unipolar 10V, Bipolar 5V, Bipolar 10V).
void putOutputCodes(EepromWords& w, const AnalogModel& m) {
    constexpr std::array<int, 4> kRangeOfKind{0, 2, 1, 3};
    for (int k = 0; k < 8; ++k) {
        const int ch = k / 4;
        const int r = kRangeOfKind[static_cast<std::size_t>(k % 4)];
        w[static_cast<std::size_t>(8 + 2 * k)] = m.idealOutputCode(ch, r, true);
        w[static_cast<std::size_t>(9 + 2 * k)] = m.idealOutputCode(ch, r, false);
    }
}

// Words 24..49: the input codes (upper point and 0 V of each range) and, between them, trim
// data of other parts of the card.
void putInputCodes(EepromWords& w, const AnalogModel& m, std::uint32_t v, int b) {
    w[24] = codeWord(m.inputCodeFor(1, m.ref10));
    w[25] = codeWord(m.inputCodeFor(1, 0.0));
    w[28] = codeWord(m.inputCodeFor(2, m.ref5));
    w[29] = codeWord(m.inputCodeFor(2, 0.0));
    w[32] = codeWord(m.inputCodeFor(3, 2.54));
    w[33] = codeWord(m.inputCodeFor(3, 0.0));
    w[36] = codeWord(m.inputCodeFor(4, 1.27));
    w[37] = codeWord(m.inputCodeFor(4, 0.0));
    w[40] = codeWord(m.inputCodeFor(5, 0.63));
    w[41] = codeWord(m.inputCodeFor(5, 0.0));
    w[48] = codeWord(m.inputCodeFor(7, m.ref10));
    w[49] = codeWord(m.inputCodeFor(7, 0.0));
    for (std::size_t i : {26u, 27u, 30u, 31u, 34u, 35u, 38u, 39u, 42u, 43u, 44u, 45u, 46u, 47u}) {
        w[i] = word16(v, b, kWhatOther + static_cast<std::uint32_t>(i));
    }
}

// Words 50..127: date of calibration, model name, more trim data, a marker, a checksum over
// words 0..3 and 50..126.
void putOtherData(EepromWords& w, std::uint32_t v, int b) {
    const int day = 1 + static_cast<int>(unit(v, b, kWhatDate) * 28.0);
    const int month = 1 + static_cast<int>(unit(v, b, kWhatDate + 1) * 12.0);
    w[50] = 2023;
    w[51] = static_cast<std::uint16_t>(month << 8 | day);
    const char name[] = "MX-4815\0";
    for (std::size_t i = 0; i < 4; ++i) {
        w[52 + i] = static_cast<std::uint16_t>(static_cast<unsigned char>(name[2 * i]) << 8 |
                                               static_cast<unsigned char>(name[2 * i + 1]));
    }
    for (std::size_t i = 56; i < 126; ++i) {
        w[i] = word16(v, b, kWhatOther + static_cast<std::uint32_t>(i));
    }
    w[126] = 0xA55A;
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        sum += w[i];
    }
    for (std::size_t i = 50; i < 127; ++i) {
        sum += w[i];
    }
    w[127] = static_cast<std::uint16_t>(~sum & 0xFFFFu);
}

} // namespace

EepromWords factoryImage(const AnalogModel& model, std::uint32_t serial, std::uint32_t variant,
                         int board) {
    EepromWords w{};
    putIdentity(w, model, serial);
    putOutputCodes(w, model);
    putInputCodes(w, model, variant, board);
    putOtherData(w, variant, board);
    return w;
}

} // namespace sim
