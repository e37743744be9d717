#pragma once

#include "card/acquisition.h"
#include "card/driver.h"
#include "card/types.h"

#include "platform/clock.h"
#include "platform/event_pump.h"

#include <cstdint>
#include <functional>

namespace card {

// The auto-calibration reading taken by programming the card's A/D registers directly,
// through the driver's physical-memory calls, at the register base dwMemBase of the card
// that RELOAD loaded last.
//
// One reading: eight set-up writes, a 100 ms pause, three settling conversions with 1 ms
// pauses, a completion poll that holds the window, then dwAvgCount conversions whose polls
// let the window process its events after every status read and after every sample. The
// average is taken in single precision and rounded halves to even.
//
// Refused before any register access: a second reading while one is under way, a sample
// count or codes out of range, and a register base of 0 (no RELOAD yet). A poll that does
// not finish within 10,000 status reads fails the reading (kReadingTimedOut, whose message
// is "TimeOut"). The reading shows nothing itself: its caller shows readingMessage().
// What a reading reaches: the driver, time, the window's event processing, and the two
// settings it takes afresh at the start of every reading.
struct AcquisitionPorts {
    Driver& driver;
    platform::Clock& clock;
    platform::EventPump& pump;
    std::function<Long()> sampleCount;           // dwAvgCount
    std::function<std::uint32_t()> registerBase; // dwMemBase of the board RELOAD loaded last
};

class RegisterAcquisition : public Acquisition {
public:
    explicit RegisterAcquisition(AcquisitionPorts ports);

    Int16 MX4815_Get_AutoCal_Data(Int16 wBoardNo, Int16 wChannel, Int16 wGain,
                                  Int16& wADVal) override;

    // Register offsets from the register base. The status register starts a conversion
    // when written and gives the busy bit and the result when read; the configuration
    // register takes the configuration word. The other set-up registers (0x200, 0x22C,
    // 0x290, 0x298, 0x2F0) receive fixed values in a fixed order.
    static constexpr std::uint32_t kStatusReg = 0x294;
    static constexpr std::uint32_t kConfigReg = 0x2EC;

    static constexpr Long kBusyBit = 0x10000;
    // Status reads allowed per poll; the next read ends the reading.
    static constexpr long kPollLimit = 10000;
    static constexpr Long kMaxSamples = 32767;

    // The A/D configuration word 0x8C4D | channel << 12 | gain << 7, sign-extended to the
    // 32 bits written (bit 15 is always set, so the upper half is all ones).
    static Long configurationWord(Int16 wChannel, Int16 wGain);
    // The conversion result in a status read: bits 0..15 as a two's-complement value.
    static Int16 sampleOf(Long status);
    // sum / n in single precision, to the nearest integer with halves to even.
    static Int16 average(Long sum, Long n);
    // The physical address base + offset as the 32-bit pattern the driver takes.
    static Long physicalAddress(std::uint32_t base, std::uint32_t offset);

private:
    void write(std::uint32_t offset, Long value);
    Long readStatus();
    // Polls the status register until a conversion is finished. When yielding, the window
    // processes its events after each read. Gives false on a time-out; otherwise the last
    // status read is in status.
    bool poll(bool yielding, Long& status);

    AcquisitionPorts ports_;
    std::uint32_t base_ = 0; // register base of the reading under way
    bool inProgress_ = false;
};

} // namespace card
