#include "sim/simulated_driver.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <utility>

namespace sim {

using card::ConfigRecord;
using card::EepImage;
using card::InfoRecord;
using card::Int16;
using card::kCardId;
using card::kEepromWords;
using card::Long;
using card::ModelName;

namespace {

// ---- deterministic numbers ------------------------------------------------------------

std::uint64_t mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// A number in [0, 1) fixed by the variant, the board and what it is for.
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

// Purposes of the numbers above.
enum : std::uint32_t {
    kWhatRef10 = 1,
    kWhatRef5 = 2,
    kWhatOutOffset = 0x100, // + 4 * channel + range
    kWhatOutGain = 0x200,   // + 4 * channel + range
    kWhatInOffset = 0x300,  // + gain code
    kWhatInGain = 0x400,    // + gain code
    kWhatNoise = 0x500,
    kWhatDate = 0x600,
    kWhatOther = 0x1000, // + word number
};

// ---- the card's fixed facts -------------------------------------------------------------

// Output ranges by range code: 0 Unipolar 5V, 1 Bipolar 5V, 2 Unipolar 10V, 3 Bipolar 10V.
struct NominalRange {
    double low;
    double high;
};
constexpr std::array<NominalRange, 4> kOutputRanges{
    {{0.0, 5.0}, {-5.0, 5.0}, {0.0, 10.0}, {-10.0, 10.0}}};

// Input full scale by gain code; codes 0 and 6 are not documented and act as the widest range.
constexpr std::array<double, 8> kInputFullScale{20.48, 10.24, 5.12, 2.56, 1.28, 0.64, 20.48, 20.48};

// Reads of the status register that show the busy bit after a conversion is started.
constexpr int kBusyReads = 2;
constexpr std::uint32_t kBusyBit = 0x10000u;
constexpr std::uint32_t kJunkUpperBits = 0xA5A40000u & ~0x1FFFFu;

// The register set-up of the auto-calibration path: offset and value of each write, in order.
struct SetupWrite {
    std::uint32_t offset;
    std::uint32_t value;
};
constexpr std::array<SetupWrite, 8> kSetup{{{0x200, 0xE},
                                            {0x200, 0},
                                            {0x290, 0},
                                            {0x22C, 0},
                                            {0x290, 1},
                                            {0x298, 0},
                                            {0x2EC, 0}, // the configuration word
                                            {0x2F0, 0}}};
constexpr std::size_t kConfigStep = 6;
constexpr std::uint32_t kStatusRegister = 0x294;
constexpr std::uint32_t kConfigFixedBits = 0x8C4D;

std::string hex(std::uint32_t v, int digits = 0) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%0*X", digits, v);
    return buf;
}

std::uint16_t codeWord(double code) {
    const double r = std::clamp(std::nearbyint(code), -32768.0, 32767.0);
    return static_cast<std::uint16_t>(static_cast<std::int16_t>(r));
}

std::uint32_t floatPattern(double v) {
    return std::bit_cast<std::uint32_t>(static_cast<float>(v));
}

} // namespace

// ---- one card ---------------------------------------------------------------------------

struct SimulatedDriver::Card {
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

    int board = 0;
    std::uint32_t serial = 0;
    double ref10 = 10.0;
    double ref5 = 5.0;
    std::array<std::array<Output, 4>, 2> out{};
    std::array<Input, 8> in{};
    std::array<int, 2> range{};
    std::array<std::uint16_t, 2> code{};

    std::array<std::uint16_t, kEepromWords> eeprom{};
    std::array<std::uint16_t, kEepromWords> backup{};
    std::array<std::uint16_t, kEepromWords> factory{};
    long writes = 0;

    // Register window.
    std::size_t setupNext = 0; // index of the next expected set-up write; 8 = configured
    int source = 4;
    int gain = 7;
    bool started = false; // a conversion was started since the set-up
    int busyReads = 0;
    std::uint16_t result = 0; // result of the latest conversion
    std::uint16_t shown = 0;  // data bits the status register shows while busy
    std::uint64_t noise = 0;  // state of the noise generator
};

SimulatedDriver::SimulatedDriver(SimOptions options) : options_(options) {
    const int n = std::clamp(options_.cards, 0, kMaxCards);
    options_.cards = n;
    const std::uint32_t v = options_.variant;
    cards_.resize(static_cast<std::size_t>(n));
    for (int b = 0; b < n; ++b) {
        Card& c = cards_[static_cast<std::size_t>(b)];
        c.board = b;
        c.serial = 24100000u + (v % 400u) * 10000u + static_cast<std::uint32_t>(b);
        // References within +-3 mV of nominal, to 0.1 mV as a meter shows them.
        c.ref10 = 10.0 + std::round(between(v, b, kWhatRef10, -30.0, 30.0)) / 10000.0;
        c.ref5 = 5.0 + std::round(between(v, b, kWhatRef5, -30.0, 30.0)) / 10000.0;
        if (c.ref10 == 10.0) {
            c.ref10 = 9.9987;
        }
        if (c.ref5 == 5.0) {
            c.ref5 = 5.0012;
        }
        for (int ch = 0; ch < 2; ++ch) {
            for (int r = 0; r < 4; ++r) {
                const std::uint32_t k = static_cast<std::uint32_t>(4 * ch + r);
                const NominalRange nominal = kOutputRanges[static_cast<std::size_t>(r)];
                const double span = nominal.high - nominal.low;
                // The code range reaches a few millivolts beyond both nominal ends (gain
                // errors of 0.06 .. 0.2 %): enough for the end-point search's probe and margin,
                // little enough that its one-step estimate cannot overshoot the target.
                // Millivolts of the 5 V ranges; the 10 V ranges have twice as many.
                const double mV = (nominal.high == 10.0 ? 2.0 : 1.0) / 1000.0;
                const bool unipolar = nominal.low == 0.0;
                // Unipolar: code 0 gives -2 .. -5 mV, so 0 V lies inside the code range.
                const double below = unipolar ? between(v, b, kWhatOutOffset + k, 0.002, 0.005)
                                              : between(v, b, kWhatOutOffset + k, 3.5, 7.5) * mV;
                const double above = unipolar ? between(v, b, kWhatOutGain + k, 2.5, 5.0) * mV
                                              : between(v, b, kWhatOutGain + k, 3.5, 7.5) * mV;
                Card::Output& o = c.out[static_cast<std::size_t>(ch)][static_cast<std::size_t>(r)];
                o.v0 = nominal.low - below;
                o.slope = (span + below + above) / 65535.0;
            }
        }
        for (int g = 0; g < 8; ++g) {
            const std::uint32_t k = static_cast<std::uint32_t>(g);
            Card::Input& in = c.in[static_cast<std::size_t>(g)];
            // A small positive zero offset: the 0 V reading is a count or a few above zero
            // (at most about 1.5 counts in the 10.24 V range, whose 0 V code also shifts the
            // -10 V target of the automatic calibration).
            const double maxOffset = g == 1 ? 1.4 : g == 2 ? 2.4 : 3.5;
            in.offset = between(v, b, kWhatInOffset + k, 0.7, maxOffset);
            in.countsPerVolt = 32768.0 / kInputFullScale[static_cast<std::size_t>(g)] *
                               (1.0 + between(v, b, kWhatInGain + k, -0.0025, 0.0025));
        }
        c.noise = mix(mix(v) ^ (static_cast<std::uint64_t>(b) << 32) ^ kWhatNoise) | 1u;
    }
    resetToFactory();
}

SimulatedDriver::~SimulatedDriver() = default;

void SimulatedDriver::resetToFactory() {
    const std::uint32_t v = options_.variant;
    for (Card& c : cards_) {
        const int b = c.board;
        auto& w = c.factory;
        // Words 0..3: model identifier, layout revision, serial number.
        w[0] = 0x4815;
        w[1] = 0x0102;
        w[2] = static_cast<std::uint16_t>(c.serial & 0xFFFFu);
        w[3] = static_cast<std::uint16_t>(c.serial >> 16);
        // Words 4..7: the reference voltages as measured at the factory.
        const std::uint32_t p10 = floatPattern(c.ref10);
        const std::uint32_t p5 = floatPattern(c.ref5);
        w[4] = static_cast<std::uint16_t>(p10 & 0xFFFFu);
        w[5] = static_cast<std::uint16_t>(p10 >> 16);
        w[6] = static_cast<std::uint16_t>(p5 & 0xFFFFu);
        w[7] = static_cast<std::uint16_t>(p5 >> 16);
        // Words 8..23: output codes; box index k = 4 * channel + kind, kind order as the
        // window shows them (Unipolar 5V, Unipolar 10V, Bipolar 5V, Bipolar 10V).
        constexpr std::array<int, 4> kRangeOfKind{0, 2, 1, 3};
        for (int k = 0; k < 8; ++k) {
            const int ch = k / 4;
            const int r = kRangeOfKind[static_cast<std::size_t>(k % 4)];
            w[static_cast<std::size_t>(8 + 2 * k)] = idealOutputCode(b, ch, r, true);
            w[static_cast<std::size_t>(9 + 2 * k)] = idealOutputCode(b, ch, r, false);
        }
        // Input codes: upper point and 0 V of each range.
        w[24] = codeWord(inputCodeFor(b, 1, c.ref10));
        w[25] = codeWord(inputCodeFor(b, 1, 0.0));
        w[28] = codeWord(inputCodeFor(b, 2, c.ref5));
        w[29] = codeWord(inputCodeFor(b, 2, 0.0));
        w[32] = codeWord(inputCodeFor(b, 3, 2.54));
        w[33] = codeWord(inputCodeFor(b, 3, 0.0));
        w[36] = codeWord(inputCodeFor(b, 4, 1.27));
        w[37] = codeWord(inputCodeFor(b, 4, 0.0));
        w[40] = codeWord(inputCodeFor(b, 5, 0.63));
        w[41] = codeWord(inputCodeFor(b, 5, 0.0));
        w[48] = codeWord(inputCodeFor(b, 7, c.ref10));
        w[49] = codeWord(inputCodeFor(b, 7, 0.0));
        // Words between the input codes: trim data of other parts of the card.
        for (std::size_t i :
             {26u, 27u, 30u, 31u, 34u, 35u, 38u, 39u, 42u, 43u, 44u, 45u, 46u, 47u}) {
            w[i] = word16(v, b, kWhatOther + static_cast<std::uint32_t>(i));
        }
        // Words 50..: date of calibration, model name, more trim data, a marker, a checksum.
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

        c.eeprom = c.factory;
        c.backup = c.factory;
    }
}

// ---- access helpers ---------------------------------------------------------------------

int SimulatedDriver::cardCount() const {
    return static_cast<int>(cards_.size());
}

SimulatedDriver::Card* SimulatedDriver::cardAt(Int16 board) {
    if (board < 0 || board >= cardCount()) {
        return nullptr;
    }
    return &cards_[static_cast<std::size_t>(board)];
}

Int16 SimulatedDriver::injected(EntryPoint ep) const {
    return statuses_[static_cast<std::size_t>(ep)];
}

SimulatedDriver::Card* SimulatedDriver::enter(EntryPoint ep, Int16 board, Int16& status) {
    status = injected(ep);
    if (status != 0) {
        return nullptr;
    }
    Card* c = cardAt(board);
    if (!c) {
        status = kNoSuchBoard;
    }
    return c;
}

const SimulatedDriver::Card& SimulatedDriver::card(int board) const {
    if (board < 0 || board >= cardCount()) {
        throw std::out_of_range("SimulatedDriver: no board " + std::to_string(board));
    }
    return cards_[static_cast<std::size_t>(board)];
}

SimulatedDriver::Card& SimulatedDriver::card(int board) {
    return const_cast<Card&>(std::as_const(*this).card(board));
}

std::uint32_t SimulatedDriver::memBase(int board) const {
    return kMemBase + kWindowSize * static_cast<std::uint32_t>(card(board).board);
}

std::uint32_t SimulatedDriver::serialNumber(int board) const {
    return card(board).serial;
}

double SimulatedDriver::reference10V(int board) const {
    return card(board).ref10;
}
double SimulatedDriver::reference5V(int board) const {
    return card(board).ref5;
}

double SimulatedDriver::outputVoltageAt(int board, int channel, int rangeCode,
                                        std::uint16_t code) const {
    const Card::Output& o = card(board)
                                .out.at(static_cast<std::size_t>(channel))
                                .at(static_cast<std::size_t>(rangeCode));
    return o.v0 + o.slope * code;
}

double SimulatedDriver::outputVoltage(int board, int channel) const {
    return outputVoltageAt(board, channel, outputRange(board, channel), outputCode(board, channel));
}

int SimulatedDriver::outputRange(int board, int channel) const {
    return card(board).range.at(static_cast<std::size_t>(channel));
}

std::uint16_t SimulatedDriver::outputCode(int board, int channel) const {
    return card(board).code.at(static_cast<std::size_t>(channel));
}

double SimulatedDriver::inputCodeFor(int board, int gainCode, double volts) const {
    const Card::Input& in = card(board).in.at(static_cast<std::size_t>(gainCode));
    return in.offset + in.countsPerVolt * volts;
}

std::uint16_t SimulatedDriver::idealOutputCode(int board, int channel, int rangeCode,
                                               bool upper) const {
    const Card::Output& o = card(board)
                                .out.at(static_cast<std::size_t>(channel))
                                .at(static_cast<std::size_t>(rangeCode));
    const NominalRange nominal = kOutputRanges.at(static_cast<std::size_t>(rangeCode));
    const double target = upper ? nominal.high : nominal.low;
    const double code = std::clamp(std::nearbyint((target - o.v0) / o.slope), 0.0, 65535.0);
    return static_cast<std::uint16_t>(code);
}

std::array<std::uint16_t, kEepromWords> SimulatedDriver::eeprom(int board) const {
    return card(board).eeprom;
}

void SimulatedDriver::setEeprom(int board, const std::array<std::uint16_t, kEepromWords>& words) {
    card(board).eeprom = words;
}

std::array<std::uint16_t, kEepromWords> SimulatedDriver::factoryBackup(int board) const {
    return card(board).backup;
}

long SimulatedDriver::eepromWrites(int board) const {
    return card(board).writes;
}

void SimulatedDriver::setStatus(EntryPoint ep, Int16 status) {
    statuses_[static_cast<std::size_t>(ep)] = status;
}

void SimulatedDriver::clearFaults() {
    statuses_.fill(0);
    busyForever_ = false;
}

void SimulatedDriver::setBusyForever(bool on) {
    busyForever_ = on;
}

const std::vector<std::string>& SimulatedDriver::protocolViolations() const {
    return violations_;
}
long SimulatedDriver::violationCount() const {
    return violationCount_;
}

void SimulatedDriver::clearViolations() {
    violations_.clear();
    violationCount_ = 0;
}

long SimulatedDriver::conversions() const {
    return conversions_;
}

void SimulatedDriver::violation(std::string text) {
    ++violationCount_;
    if (violations_.size() < kMaxViolations) {
        violations_.push_back(std::move(text));
    }
}

void SimulatedDriver::eepromChanged() {
    if (onEepromChanged) {
        onEepromChanged();
    }
}

// ---- library and card information ---------------------------------------------------------

Int16 SimulatedDriver::Drvx_DriverInit(Int16& wTotalBoards) {
    if (Int16 s = injected(EntryPoint::DriverInit)) {
        return s;
    }
    wTotalBoards = static_cast<Int16>(std::min(cardCount(), 32767));
    return 0;
}

Int16 SimulatedDriver::Drvx_SearchCard(Int16& wNumBoards, Long dwCardId) {
    if (Int16 s = injected(EntryPoint::SearchCard)) {
        return s;
    }
    wNumBoards = dwCardId == kCardId ? static_cast<Int16>(std::min(cardCount(), 32767)) : 0;
    return 0;
}

Int16 SimulatedDriver::Drvx_GetCardInfo(Int16 wBoardNo, InfoRecord& cardInfo,
                                        ConfigRecord& cardConfig, ModelName& modelName) {
    Int16 status = 0;
    Card* c = enter(EntryPoint::GetCardInfo, wBoardNo, status);
    if (!c) {
        return status;
    }
    auto put = [](auto& bytes, std::size_t at, std::uint32_t value, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i) {
            bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
        }
    };
    const auto b = static_cast<std::uint32_t>(c->board);
    cardInfo = InfoRecord{};
    put(cardInfo.bytes, 0, static_cast<std::uint32_t>(kCardId), 4); // card identifier
    put(cardInfo.bytes, 4, b, 2);                                   // board number
    put(cardInfo.bytes, 6, 0x0002, 2);                              // hardware revision
    put(cardInfo.bytes, 8, c->serial, 4);                           // serial number
    put(cardInfo.bytes, 12, 2 + b / 32, 2);                         // bus
    put(cardInfo.bytes, 14, (8 + b) % 32, 2);                       // slot
    put(cardInfo.bytes, 16, 10 + b % 6, 2);                         // interrupt line
    put(cardInfo.bytes, 20, 0xD000 + 0x100 * (b % 32), 4);          // I/O base
    put(cardInfo.bytes, 24, 0x100, 4);                              // I/O length
    put(cardInfo.bytes, 48, kWindowSize, 4);                        // register window size
    cardInfo.setMemBase(kMemBase + kWindowSize * b);

    cardConfig = ConfigRecord{};
    put(cardConfig.bytes, 0, 16, 2);    // analog inputs (single-ended)
    put(cardConfig.bytes, 2, 16, 2);    // A/D resolution in bits
    put(cardConfig.bytes, 4, 6, 2);     // input ranges
    put(cardConfig.bytes, 6, 2, 2);     // analog outputs
    put(cardConfig.bytes, 8, 16, 2);    // D/A resolution in bits
    put(cardConfig.bytes, 10, 4, 2);    // output ranges
    put(cardConfig.bytes, 12, 32, 2);   // digital lines
    put(cardConfig.bytes, 14, 3, 2);    // counters
    put(cardConfig.bytes, 16, 1024, 4); // FIFO depth
    put(cardConfig.bytes, 20, 128, 2);  // EEPROM words

    modelName.fill('\0');
    const char name[] = "MX-4815";
    std::copy(std::begin(name), std::end(name) - 1, modelName.begin());
    return 0;
}

Int16 SimulatedDriver::Drvx_DriverClose() {
    return injected(EntryPoint::DriverClose);
}

// ---- EEPROM -------------------------------------------------------------------------------

Int16 SimulatedDriver::Drvx_ReadEEP(Int16 wBoardNo, EepImage& data) {
    Int16 status = 0;
    Card* c = enter(EntryPoint::ReadEEP, wBoardNo, status);
    if (!c) {
        return status;
    }
    for (std::size_t i = 0; i < kEepromWords; ++i) {
        const std::uint16_t w = c->eeprom[i];
        data[i] = options_.signExtendEEP ? static_cast<Long>(static_cast<std::int16_t>(w))
                                         : static_cast<Long>(w);
    }
    return 0;
}

Int16 SimulatedDriver::Drvx_WriteEEP(Int16 wBoardNo, EepImage& data) {
    Int16 status = 0;
    Card* c = enter(EntryPoint::WriteEEP, wBoardNo, status);
    if (!c) {
        return status;
    }
    for (std::size_t i = 0; i < kEepromWords; ++i) {
        c->eeprom[i] = static_cast<std::uint16_t>(static_cast<std::uint32_t>(data[i]) & 0xFFFFu);
    }
    ++c->writes;
    eepromChanged();
    return 0;
}

Int16 SimulatedDriver::Drvx_RecoverEEP(Int16 wBoardNo) {
    Int16 status = 0;
    Card* c = enter(EntryPoint::RecoverEEP, wBoardNo, status);
    if (!c) {
        return status;
    }
    c->eeprom = c->backup;
    eepromChanged();
    return 0;
}

// ---- outputs ------------------------------------------------------------------------------

Int16 SimulatedDriver::Drvx_ConfigAO(Int16 wBoardNo, Int16 wChannel, Int16 wRange) {
    Int16 status = 0;
    Card* c = enter(EntryPoint::ConfigAO, wBoardNo, status);
    if (!c) {
        return status;
    }
    if (wChannel < 0 || wChannel > 1 || wRange < 0 || wRange > 3) {
        return kBadArgument;
    }
    c->range[static_cast<std::size_t>(wChannel)] = wRange;
    return 0;
}

Int16 SimulatedDriver::Drvx_WriteAOVoltageH(Int16 wBoardNo, Int16 wChannel, Long dwCode) {
    Int16 status = 0;
    Card* c = enter(EntryPoint::WriteAOVoltageH, wBoardNo, status);
    if (!c) {
        return status;
    }
    if (wChannel < 0 || wChannel > 1) {
        return kBadArgument;
    }
    c->code[static_cast<std::size_t>(wChannel)] =
        static_cast<std::uint16_t>(static_cast<std::uint32_t>(dwCode) & 0xFFFFu);
    return 0;
}

// ---- register window ----------------------------------------------------------------------

std::int16_t SimulatedDriver::convert(Card& c) {
    double volts = 0.0;
    switch (c.source) {
    case 2:
        volts = c.ref5;
        break;
    case 3:
        volts = c.ref10;
        break;
    case 5:
    case 7: {
        const auto ch = static_cast<std::size_t>(c.source == 5 ? 0 : 1);
        const Card::Output& o = c.out[ch][static_cast<std::size_t>(c.range[ch])];
        volts = o.v0 + o.slope * c.code[ch];
        break;
    }
    default: // 4 and the undocumented sources: 0 V
        break;
    }
    // Noise of about one count: four uniform numbers from one xorshift step, centred and
    // scaled to a standard deviation of 1.
    std::uint64_t x = c.noise;
    x ^= x >> 12;
    x ^= x << 25;
    x ^= x >> 27;
    c.noise = x;
    const std::uint64_t r = x * 0x2545F4914F6CDD1Dull;
    const double sum = static_cast<double>(r & 0xFFFF) + static_cast<double>((r >> 16) & 0xFFFF) +
                       static_cast<double>((r >> 32) & 0xFFFF) + static_cast<double>(r >> 48);
    const double noise = (sum / 65536.0 - 2.0) * 1.7320508075688772;
    const Card::Input& in = c.in[static_cast<std::size_t>(c.gain)];
    const double code = std::nearbyint(in.offset + in.countsPerVolt * volts + noise);
    return static_cast<std::int16_t>(std::clamp(code, -32768.0, 32767.0));
}

void SimulatedDriver::writeRegister(Card& c, std::uint32_t offset, std::uint32_t value) {
    if (offset == kSetup[0].offset && value == kSetup[0].value) {
        if (c.setupNext > 0 && c.setupNext < kSetup.size()) {
            violation("board " + std::to_string(c.board) +
                      ": register set-up started again after " + std::to_string(c.setupNext) +
                      " of 8 writes");
        }
        c.setupNext = 1;
        c.started = false;
        return;
    }
    if (c.setupNext > 0 && c.setupNext < kSetup.size()) {
        const std::size_t step = c.setupNext;
        const SetupWrite want = kSetup[step];
        bool ok = offset == want.offset;
        if (ok && step == kConfigStep) {
            const bool signExtended = (value >> 16) == ((value & 0x8000u) ? 0xFFFFu : 0u);
            if (!signExtended || (value & kConfigFixedBits) != kConfigFixedBits) {
                violation("board " + std::to_string(c.board) + ": configuration word " +
                          hex(value, 8) + " is not a sign-extended 16-bit word with bits " +
                          hex(kConfigFixedBits, 4) + " set");
            }
            c.source = static_cast<int>((value >> 12) & 7u);
            c.gain = static_cast<int>((value >> 7) & 7u);
        } else if (ok) {
            ok = value == want.value;
        }
        if (!ok) {
            violation(
                "board " + std::to_string(c.board) + ": set-up write " + std::to_string(step + 1) +
                " of 8 should be " +
                (step == kConfigStep ? std::string("the configuration word") : hex(want.value)) +
                " to offset " + hex(want.offset, 3) + ", got " + hex(value) + " to offset " +
                hex(offset, 3));
            c.setupNext = 0;
            return;
        }
        ++c.setupNext;
        return;
    }
    if (offset == kStatusRegister) {
        if (value != 0) {
            violation("board " + std::to_string(c.board) + ": write of " + hex(value) +
                      " to the status register; only 0 starts a conversion");
            return;
        }
        if (c.setupNext != kSetup.size()) {
            violation("board " + std::to_string(c.board) +
                      ": conversion started before the register set-up was complete");
        }
        ++conversions_;
        c.result = static_cast<std::uint16_t>(convert(c));
        c.busyReads = kBusyReads;
        c.started = true;
        return;
    }
    violation("board " + std::to_string(c.board) + ": unexpected write of " + hex(value) +
              " to offset " + hex(offset, 3));
}

Long SimulatedDriver::readRegister(Card& c, std::uint32_t offset) {
    if (offset != kStatusRegister) {
        violation("board " + std::to_string(c.board) + ": read of offset " + hex(offset, 3) +
                  ", which is not the status register");
        return 0;
    }
    if (!c.started) {
        violation("board " + std::to_string(c.board) +
                  ": status read before a conversion was started");
    }
    std::uint32_t v = 0;
    if (busyForever_ || c.busyReads > 0) {
        if (c.busyReads > 0) {
            --c.busyReads;
        }
        v = kBusyBit | c.shown;
    } else {
        c.shown = c.result;
        v = c.result;
    }
    if (options_.junkUpperStatusBits) {
        v |= kJunkUpperBits;
    }
    return static_cast<Long>(v);
}

Int16 SimulatedDriver::Drvx_ReadPhyMemory(Long dwAddress, Int16 wSize, Long& dwValue) {
    if (Int16 s = injected(EntryPoint::ReadPhyMemory)) {
        return s;
    }
    const auto address = static_cast<std::uint32_t>(dwAddress);
    if (wSize != 32) {
        violation("read at " + hex(address, 8) + " with width " + std::to_string(wSize) +
                  " instead of 32");
        return kBadAccessSize;
    }
    const std::uint32_t rel = address - kMemBase;
    const std::uint32_t board = rel / kWindowSize;
    if (address < kMemBase || board >= cards_.size()) {
        violation("read at " + hex(address, 8) + " outside every card's register window");
        dwValue = -1;
        return 0;
    }
    dwValue = readRegister(cards_[board], rel % kWindowSize);
    return 0;
}

Int16 SimulatedDriver::Drvx_WritePhyMemory(Long dwAddress, Int16 wSize, Long dwValue) {
    if (Int16 s = injected(EntryPoint::WritePhyMemory)) {
        return s;
    }
    const auto address = static_cast<std::uint32_t>(dwAddress);
    const auto value = static_cast<std::uint32_t>(dwValue);
    if (wSize != 32) {
        violation("write of " + hex(value) + " at " + hex(address, 8) + " with width " +
                  std::to_string(wSize) + " instead of 32");
        return kBadAccessSize;
    }
    const std::uint32_t rel = address - kMemBase;
    const std::uint32_t board = rel / kWindowSize;
    if (address < kMemBase || board >= cards_.size()) {
        violation("write of " + hex(value) + " at " + hex(address, 8) +
                  " outside every card's register window");
        return 0;
    }
    writeRegister(cards_[board], rel % kWindowSize, value);
    return 0;
}

// ---- persistence ----------------------------------------------------------------------------

namespace {

constexpr std::string_view kHeader = "MX4815-SIMULATED-CARDS 1";

std::uint32_t fnv1a(std::string_view s) {
    std::uint32_t h = 2166136261u;
    for (char ch : s) {
        h ^= static_cast<unsigned char>(ch);
        h *= 16777619u;
    }
    return h;
}

void appendWords(std::string& out, std::string_view key,
                 const std::array<std::uint16_t, kEepromWords>& words) {
    out += key;
    char buf[8];
    for (std::uint16_t w : words) {
        std::snprintf(buf, sizeof buf, " %04X", static_cast<unsigned>(w));
        out += buf;
    }
    out += '\n';
}

// Reads lines one by one from the text; every line must end with '\n'.
class LineReader {
public:
    explicit LineReader(std::string_view text) : rest_(text) {}
    bool next(std::string_view& line) {
        const std::size_t nl = rest_.find('\n');
        if (nl == std::string_view::npos) {
            return false;
        }
        line = rest_.substr(0, nl);
        rest_.remove_prefix(nl + 1);
        return true;
    }
    bool atEnd() const { return rest_.empty(); }

private:
    std::string_view rest_;
};

// "key <decimal>" with a value from 0 to max.
bool parseNumberLine(std::string_view line, std::string_view key, std::uint64_t max,
                     std::uint64_t& value) {
    if (line.size() <= key.size() + 1 || line.substr(0, key.size()) != key ||
        line[key.size()] != ' ') {
        return false;
    }
    std::string_view digits = line.substr(key.size() + 1);
    if (digits.empty() || digits.size() > 10) {
        return false;
    }
    value = 0;
    for (char ch : digits) {
        if (ch < '0' || ch > '9') {
            return false;
        }
        value = value * 10 + static_cast<std::uint64_t>(ch - '0');
    }
    return value <= max;
}

int hexDigit(char ch) {
    if (ch >= '0' && ch <= '9') {
        return ch - '0';
    }
    if (ch >= 'A' && ch <= 'F') {
        return ch - 'A' + 10;
    }
    return -1;
}

// "key" followed by 128 words of four upper-case hex digits, each after one blank.
bool parseWordsLine(std::string_view line, std::string_view key,
                    std::array<std::uint16_t, kEepromWords>& words) {
    if (line.size() != key.size() + 5 * kEepromWords || line.substr(0, key.size()) != key) {
        return false;
    }
    std::size_t at = key.size();
    for (std::uint16_t& w : words) {
        if (line[at] != ' ') {
            return false;
        }
        unsigned v = 0;
        for (std::size_t i = 1; i <= 4; ++i) {
            const int d = hexDigit(line[at + i]);
            if (d < 0) {
                return false;
            }
            v = v * 16 + static_cast<unsigned>(d);
        }
        w = static_cast<std::uint16_t>(v);
        at += 5;
    }
    return true;
}

} // namespace

std::string SimulatedDriver::serialize() const {
    std::string out;
    out.reserve(64 + cards_.size() * (32 + 2 * (8 + 5 * kEepromWords)));
    out += kHeader;
    out += '\n';
    out += "variant " + std::to_string(options_.variant) + '\n';
    out += "cards " + std::to_string(cards_.size()) + '\n';
    for (const Card& c : cards_) {
        out += "card " + std::to_string(c.board) + '\n';
        appendWords(out, "eeprom", c.eeprom);
        appendWords(out, "backup", c.backup);
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "checksum %08X\n", static_cast<unsigned>(fnv1a(out)));
    out += buf;
    return out;
}

bool SimulatedDriver::restore(std::string_view data, std::string* problem) {
    auto fail = [&](std::string why) {
        resetToFactory();
        if (problem) {
            *problem = std::move(why);
        }
        return false;
    };

    // The checksum line closes the text; it covers everything before it.
    constexpr std::string_view kChecksumKey = "checksum ";
    if (data.empty() || data.back() != '\n') {
        return fail("the data is incomplete (no final line)");
    }
    const std::size_t lastStart = data.substr(0, data.size() - 1).rfind('\n');
    if (lastStart == std::string_view::npos) {
        return fail("the data has no content");
    }
    const std::string_view body = data.substr(0, lastStart + 1);
    const std::string_view last = data.substr(lastStart + 1, data.size() - lastStart - 2);
    if (last.size() != kChecksumKey.size() + 8 ||
        last.substr(0, kChecksumKey.size()) != kChecksumKey) {
        return fail("the data is incomplete (no checksum at the end)");
    }
    std::uint32_t stored = 0;
    for (char ch : last.substr(kChecksumKey.size())) {
        const int d = hexDigit(ch);
        if (d < 0) {
            return fail("the checksum is not a hexadecimal number");
        }
        stored = stored * 16 + static_cast<std::uint32_t>(d);
    }
    if (stored != fnv1a(body)) {
        return fail("the checksum does not match the content");
    }

    LineReader lines(body);
    std::string_view line;
    if (!lines.next(line) || line != kHeader) {
        return fail("the first line is not \"" + std::string(kHeader) + "\"");
    }
    std::uint64_t variant = 0;
    if (!lines.next(line) || !parseNumberLine(line, "variant", 0xFFFFFFFFu, variant)) {
        return fail("the variant line is missing or damaged");
    }
    if (variant != options_.variant) {
        return fail("the data belongs to cards of variant " + std::to_string(variant) +
                    ", these cards are variant " + std::to_string(options_.variant));
    }
    std::uint64_t count = 0;
    if (!lines.next(line) ||
        !parseNumberLine(line, "cards", static_cast<std::uint64_t>(kMaxCards), count)) {
        return fail("the cards line is missing or damaged");
    }
    struct Stored {
        std::array<std::uint16_t, kEepromWords> eeprom;
        std::array<std::uint16_t, kEepromWords> backup;
    };
    std::vector<Stored> stored_(static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < stored_.size(); ++i) {
        std::uint64_t index = 0;
        if (!lines.next(line) || !parseNumberLine(line, "card", count, index) || index != i) {
            return fail("the heading of card " + std::to_string(i) + " is missing or damaged");
        }
        if (!lines.next(line) || !parseWordsLine(line, "eeprom", stored_[i].eeprom)) {
            return fail("the EEPROM of card " + std::to_string(i) + " is damaged");
        }
        if (!lines.next(line) || !parseWordsLine(line, "backup", stored_[i].backup)) {
            return fail("the backup of card " + std::to_string(i) + " is damaged");
        }
    }
    if (!lines.atEnd()) {
        return fail("unexpected text after the last card");
    }
    const std::size_t n = std::min(stored_.size(), cards_.size());
    for (std::size_t i = 0; i < n; ++i) {
        cards_[i].eeprom = stored_[i].eeprom;
        cards_[i].backup = stored_[i].backup;
    }
    return true;
}

} // namespace sim
