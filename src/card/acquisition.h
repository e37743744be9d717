#pragma once

#include "card/types.h"

#include <string>

namespace card {

// Statuses of a reading besides 0 (success). Non-zero, distinct from the driver's.
inline constexpr Int16 kReadingTimedOut = 0x7101;    // a completion poll timed out
inline constexpr Int16 kReadingNoRegisters = 0x7102; // no RELOAD yet: dwMemBase is 0
inline constexpr Int16 kReadingInProgress = 0x7103;  // another reading is under way
// An impossible set-up: dwAvgCount outside 1..32767, or a source or gain code outside 0..7.
inline constexpr Int16 kReadingBadSetup = 0x7104;

// The message for a failed reading's status, as its handler shows it: "TimeOut" for a
// time-out, a sentence for the others; empty for 0.
std::string readingMessage(Int16 status);

// One averaged A/D reading of an internal calibration source in one input range.
//   wChannel: the source (2 = 5 V reference, 3 = 10 V reference, 4 = 0 V, 5 / 7 = output of
//             D/A channel 0 / 1); wGain: the input range's gain code.
//   wADVal:   receives the averaged signed 16-bit code; unchanged when the reading fails.
// Returns 0, or one of the statuses above.
class Acquisition {
public:
    virtual ~Acquisition() = default;
    virtual Int16 MX4815_Get_AutoCal_Data(Int16 wBoardNo, Int16 wChannel, Int16 wGain,
                                          Int16& wADVal) = 0;
};

} // namespace card
