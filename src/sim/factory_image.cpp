#include "sim/factory_image.h"

#include "card/facts.h"
#include "sim/numbers.h"

#include <algorithm>
#include <array>
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

// Words 0..3: model identifier, layout revision, serial number; then the reference voltages
// as measured at the factory, each as the halves of its single-precision pattern.
void putIdentity(EepromWords& w, const AnalogModel& m, std::uint32_t serial) {
    w[0] = 0x4815;
    w[1] = 0x0102;
    w[2] = static_cast<std::uint16_t>(serial & 0xFFFFu);
    w[3] = static_cast<std::uint16_t>(serial >> 16);
    for (const card::ReferenceFacts& ref : card::kReferences) {
        const std::uint32_t p = floatPattern(ref.source == card::Source::Ref10V ? m.ref10 : m.ref5);
        w[static_cast<std::size_t>(ref.lowerWord)] = static_cast<std::uint16_t>(p & 0xFFFFu);
        w[static_cast<std::size_t>(ref.upperWord)] = static_cast<std::uint16_t>(p >> 16);
    }
}

// The output codes: for each output box, the codes whose true output lies nearest the
// nominal ends of its range.
void putOutputCodes(EepromWords& w, const AnalogModel& m) {
    for (const card::OutputBoxFacts& box : card::kOutputBoxes) {
        const int range = box.rangeFacts().rangeCode;
        w[static_cast<std::size_t>(box.upperWord)] = m.idealOutputCode(box.channel, range, true);
        w[static_cast<std::size_t>(box.lowerWord)] = m.idealOutputCode(box.channel, range, false);
    }
}

// The true voltage of an input range's upper point on this card.
double upperPointVolts(const card::InputRangeFacts& range, const AnalogModel& m) {
    switch (range.upperSource) {
    case card::Source::Ref10V:
        return m.ref10;
    case card::Source::Ref5V:
        return m.ref5;
    default:
        return range.upperVolts;
    }
}

// The input codes (upper point and 0 V of each range) and, in the words between them (24 to
// 49), trim data of other parts of the card.
void putInputCodes(EepromWords& w, const AnalogModel& m, std::uint32_t v, int b) {
    std::array<bool, card::kEepromWords> input{};
    for (const card::InputRangeFacts& range : card::kInputRanges) {
        const int gain = card::code(range.gain);
        const auto upper = static_cast<std::size_t>(range.upperWord);
        const auto lower = static_cast<std::size_t>(range.lowerWord);
        w[upper] = codeWord(m.inputCodeFor(gain, upperPointVolts(range, m)));
        w[lower] = codeWord(m.inputCodeFor(gain, 0.0));
        input[upper] = input[lower] = true;
    }
    for (std::size_t i = 24; i <= 49; ++i) {
        if (!input[i]) {
            w[i] = word16(v, b, kWhatOther + static_cast<std::uint32_t>(i));
        }
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
