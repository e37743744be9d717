#include "sim/simulated_driver.h"

#include "sim/card_state.h"
#include "sim/cards_text.h"
#include "sim/numbers.h"

#include <algorithm>
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

SimulatedDriver::SimulatedDriver(SimOptions options) : options_(options) {
    const int n = std::clamp(options_.cards, 0, kMaxCards);
    options_.cards = n;
    const std::uint32_t v = options_.variant;
    cards_.resize(static_cast<std::size_t>(n));
    for (int b = 0; b < n; ++b) {
        Card& c = cards_[static_cast<std::size_t>(b)];
        c.board = b;
        c.serial = 24100000u + (v % 400u) * 10000u + static_cast<std::uint32_t>(b);
        c.factory = AnalogModel::make(v, b);
        c.aged = c.factory.aged(v, b);
        c.model = c.aged;
        c.noise = noiseStart(v, b);
    }
    resetToFactory();
}

SimulatedDriver::~SimulatedDriver() = default;

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

Int16 SimulatedDriver::start(EntryPoint ep) {
    failureDetail_.clear();
    return statuses_[static_cast<std::size_t>(ep)];
}

SimulatedDriver::Card* SimulatedDriver::enter(EntryPoint ep, Int16 board, Int16& status) {
    status = start(ep);
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
    return card(board).model.ref10;
}
double SimulatedDriver::reference5V(int board) const {
    return card(board).model.ref5;
}

double SimulatedDriver::outputVoltageAt(int board, int channel, int rangeCode,
                                        std::uint16_t code) const {
    return card(board).model.outputVoltageAt(channel, rangeCode, code);
}

double SimulatedDriver::factoryOutputVoltageAt(int board, int channel, int rangeCode,
                                               std::uint16_t code) const {
    return card(board).factory.outputVoltageAt(channel, rangeCode, code);
}

double SimulatedDriver::outputDriftPerYear(int board, int channel, int rangeCode,
                                           bool upper) const {
    return card(board).aged.driftPerYear(options_.variant, board, channel, rangeCode, upper);
}

void SimulatedDriver::setToday(std::optional<std::chrono::sys_days> today) {
    today_ = today;
    for (Card& c : cards_) {
        drift(c);
    }
}

void SimulatedDriver::drift(Card& c) const {
    const bool began = today_ && c.driftFrom && *today_ > *c.driftFrom;
    const double years =
        began ? static_cast<double>((*today_ - *c.driftFrom).count()) / 365.25 : 0.0;
    c.model = c.aged.drifted(options_.variant, c.board, years);
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
    return card(board).model.inputCodeFor(gainCode, volts);
}

void SimulatedDriver::setStatus(EntryPoint ep, Int16 status) {
    statuses_[static_cast<std::size_t>(ep)] = status;
}

void SimulatedDriver::setWriteFault(WriteFault fault) {
    writeFault_ = fault;
}

void SimulatedDriver::clearFaults() {
    statuses_.fill(0);
    busyForever_ = false;
    writeFault_ = WriteFault::None;
}

void SimulatedDriver::setBusyForever(bool on) {
    busyForever_ = on;
}

// ---- library and card information ---------------------------------------------------------

Int16 SimulatedDriver::Drvx_DriverInit(Int16& wTotalBoards) {
    if (Int16 s = start(EntryPoint::DriverInit)) {
        return s;
    }
    wTotalBoards = static_cast<Int16>(std::min(cardCount(), 32767));
    return 0;
}

Int16 SimulatedDriver::Drvx_SearchCard(Int16& wNumBoards, Long dwCardId) {
    if (Int16 s = start(EntryPoint::SearchCard)) {
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
    return start(EntryPoint::DriverClose);
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

// ---- physical memory: the cards' register windows -------------------------------------------

Int16 SimulatedDriver::Drvx_ReadPhyMemory(Long dwAddress, Int16 wSize, Long& dwValue) {
    if (Int16 s = start(EntryPoint::ReadPhyMemory)) {
        return s;
    }
    const auto address = static_cast<std::uint32_t>(dwAddress);
    if (wSize != 32) {
        violation("read at " + hexText(address, 8) + " with width " + std::to_string(wSize) +
                  " instead of 32");
        return kBadAccessSize;
    }
    const std::uint32_t rel = address - kMemBase;
    const std::uint32_t board = rel / kWindowSize;
    if (address < kMemBase || board >= cards_.size()) {
        violation("read at " + hexText(address, 8) + " outside every card's register window");
        dwValue = -1;
        return 0;
    }
    dwValue = readRegister(cards_[board], rel % kWindowSize);
    return 0;
}

Int16 SimulatedDriver::Drvx_WritePhyMemory(Long dwAddress, Int16 wSize, Long dwValue) {
    if (Int16 s = start(EntryPoint::WritePhyMemory)) {
        return s;
    }
    const auto address = static_cast<std::uint32_t>(dwAddress);
    const auto value = static_cast<std::uint32_t>(dwValue);
    if (wSize != 32) {
        violation("write of " + hexText(value) + " at " + hexText(address, 8) + " with width " +
                  std::to_string(wSize) + " instead of 32");
        return kBadAccessSize;
    }
    const std::uint32_t rel = address - kMemBase;
    const std::uint32_t board = rel / kWindowSize;
    if (address < kMemBase || board >= cards_.size()) {
        violation("write of " + hexText(value) + " at " + hexText(address, 8) +
                  " outside every card's register window");
        return 0;
    }
    writeRegister(cards_[board], rel % kWindowSize, value);
    return 0;
}

} // namespace sim
