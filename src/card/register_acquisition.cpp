#include "card/register_acquisition.h"
#include "card/text.h"

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

RegisterAcquisition::RegisterAcquisition(Context context) : ctx_(std::move(context)) {}

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
    ctx_.state.wErrCode =
        ctx_.driver.Drvx_WritePhyMemory(physicalAddress(base_, offset), kPhysicalWidth, value);
}

Long RegisterAcquisition::readStatus() {
    Long status = 0;
    ctx_.state.wErrCode =
        ctx_.driver.Drvx_ReadPhyMemory(physicalAddress(base_, kStatusReg), kPhysicalWidth, status);
    return status;
}

bool RegisterAcquisition::poll(bool yielding, Long& status) {
    long reads = 0;
    for (;;) {
        status = readStatus();
        ++reads;
        if (yielding) {
            ctx_.pump.processEvents();
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
    const Long n = ctx_.state.dwAvgCount;
    if (n < 1 || n > kMaxSamples) {
        ctx_.prompts.message("Reading: the number of conversions to average is " +
                             std::to_string(n) + "; it must be from 1 to " +
                             std::to_string(kMaxSamples) + ".");
        return kReadingBadSetup;
    }
    if (wChannel < 0 || wChannel > 7 || wGain < 0 || wGain > 7) {
        ctx_.prompts.message("Reading: source " + std::to_string(wChannel) + " with gain " +
                             std::to_string(wGain) + " does not exist; both must be from 0 to 7.");
        return kReadingBadSetup;
    }
    const std::uint32_t base = ctx_.state.ActiveCardInfo.dwMemBase();
    if (base == 0) {
        ctx_.prompts.message("No board loaded: the card's register address is not known "
                             "yet. Click RELOAD before taking a reading.");
        return kReadingNoRegisters;
    }

    // The base and the count are fixed for the whole reading, whatever a handler run during
    // a yield changes: every conversion goes to the board that was set up.
    ScopedFlag mark(inProgress_);
    base_ = base;

    const Long config = configurationWord(wChannel, wGain);
    for (const SetupWrite& w : kSetupWrites) {
        write(w.offset, w.offset == kConfigReg ? config : w.value);
    }
    ctx_.clock.Sleep(kSetupPauseMs);
    for (int i = 0; i < kSettlingConversions; ++i) {
        write(kStatusReg, 0);
        ctx_.clock.Sleep(kSettlingPauseMs);
    }

    Long status = 0;
    bool finished = poll(false, status);
    Long sum = 0;
    for (Long i = 0; finished && i < n; ++i) {
        write(kStatusReg, 0);
        finished = poll(true, status);
        if (finished) {
            sum += sampleOf(status);
            ctx_.pump.processEvents();
        }
    }
    if (!finished) {
        ctx_.prompts.message("TimeOut");
        return kReadingTimedOut;
    }
    wADVal = average(sum, n);
    return 0;
}

} // namespace card
