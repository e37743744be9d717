#include "card/register_acquisition.h"
#include "core/text.h"

#include <bit>
#include <cmath>
#include <string>
#include <utility>

namespace card {

namespace {

constexpr Int16 kPhysicalWidth = 32;

struct SetupWrite {
    std::uint32_t offset;
    Long value; // the configuration register takes the configuration word instead
};

constexpr SetupWrite kSetupWrites[] = {
    {0x200, 0x0000000E},
    {0x200, 0},
    {0x290, 0},
    {0x22C, 0},
    {0x290, 1},
    {0x298, 0},
    {RegisterAcquisition::kConfigReg, 0},
    {0x2F0, 0},
};

constexpr std::int32_t kSetupPauseMs = 100;
constexpr int kSettlingConversions = 3;
constexpr std::int32_t kSettlingPauseMs = 1;

} // namespace

std::string readingMessage(Int16 status) {
    switch (status) {
    case 0:
        return {};
    case kReadingTimedOut:
        return "TimeOut";
    case kReadingNoRegisters:
        return "No board loaded: the card's register address is not known yet. Click RELOAD "
               "before taking a reading.";
    case kReadingInProgress:
        return "Another reading is still under way; this one was not taken.";
    case kReadingBadSetup:
        return "Reading: the number of conversions to average must be from 1 to " +
               std::to_string(RegisterAcquisition::kMaxSamples) +
               ", and the source and the gain code from 0 to 7.";
    default:
        return "The reading failed with status " + std::to_string(status) + ".";
    }
}

RegisterAcquisition::RegisterAcquisition(AcquisitionPorts ports) : ports_(std::move(ports)) {}

Long RegisterAcquisition::configurationWord(Int16 wChannel, Int16 wGain) {
    const auto word =
        static_cast<std::uint16_t>(0x8C4D | ((wChannel & 7) << 12) | ((wGain & 7) << 7));
    return static_cast<Long>(std::bit_cast<Int16>(word));
}

Int16 RegisterAcquisition::sampleOf(Long status) {
    return std::bit_cast<Int16>(static_cast<std::uint16_t>(std::bit_cast<std::uint32_t>(status)));
}

Int16 RegisterAcquisition::average(Long sum, Long n) {
    const float mean = static_cast<float>(sum) / static_cast<float>(n);
    // Nearest integer, a half to the even neighbour, whatever the floating-point
    // environment's rounding mode.
    const double lower = std::floor(static_cast<double>(mean));
    const double fraction = static_cast<double>(mean) - lower;
    double rounded = lower;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(lower, 2.0) != 0.0)) {
        rounded = lower + 1.0;
    }
    return static_cast<Int16>(rounded);
}

Long RegisterAcquisition::physicalAddress(std::uint32_t base, std::uint32_t offset) {
    return std::bit_cast<Long>(base + offset);
}

void RegisterAcquisition::write(std::uint32_t offset, Long value) {
    // The statuses of the register calls are not examined: the protocol's own polls tell
    // whether the card answers.
    (void)ports_.driver.Drvx_WritePhyMemory(physicalAddress(base_, offset), kPhysicalWidth, value);
}

Long RegisterAcquisition::readStatus() {
    Long status = 0;
    (void)ports_.driver.Drvx_ReadPhyMemory(physicalAddress(base_, kStatusReg), kPhysicalWidth,
                                           status);
    return status;
}

bool RegisterAcquisition::poll(bool yielding, Long& status) {
    long reads = 0;
    for (;;) {
        status = readStatus();
        ++reads;
        if (yielding) {
            ports_.pump.processEvents();
        }
        if (reads > kPollLimit) {
            return false;
        }
        if ((status & kBusyBit) == 0) {
            return true;
        }
    }
}

Int16 RegisterAcquisition::MX4815_Get_AutoCal_Data(Int16 /*wBoardNo*/, Int16 wChannel, Int16 wGain,
                                                   Int16& wADVal) {
    // A handler run during one of this reading's yields must not interleave its register
    // writes with it; the caller gets the status and the first reading carries on.
    if (inProgress_) {
        return kReadingInProgress;
    }
    const Long n = ports_.sampleCount();
    if (n < 1 || n > kMaxSamples || wChannel < 0 || wChannel > 7 || wGain < 0 || wGain > 7) {
        return kReadingBadSetup;
    }
    const std::uint32_t base = ports_.registerBase();
    if (base == 0) {
        return kReadingNoRegisters;
    }

    // The base and the count are fixed for the whole reading, whatever a handler run during
    // a yield changes: every conversion goes to the board that was set up.
    core::ScopedFlag mark(inProgress_);
    base_ = base;

    const Long config = configurationWord(wChannel, wGain);
    for (const SetupWrite& w : kSetupWrites) {
        write(w.offset, w.offset == kConfigReg ? config : w.value);
    }
    ports_.clock.Sleep(kSetupPauseMs);
    for (int i = 0; i < kSettlingConversions; ++i) {
        write(kStatusReg, 0);
        ports_.clock.Sleep(kSettlingPauseMs);
    }

    Long status = 0;
    bool finished = poll(false, status);
    Long sum = 0;
    for (Long i = 0; finished && i < n; ++i) {
        write(kStatusReg, 0);
        finished = poll(true, status);
        if (finished) {
            sum += sampleOf(status);
            ports_.pump.processEvents();
        }
    }
    if (!finished) {
        return kReadingTimedOut;
    }
    wADVal = average(sum, n);
    return 0;
}

} // namespace card
