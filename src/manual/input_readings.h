#pragma once

#include "caldata/table.h"
#include "card/acquisition.h"
#include "card/types.h"
#include "core/result.h"
#include "session/context.h"

#include <optional>

// The input range readings: the upper and the lower calibration point of the three widest
// input ranges, each one averaged auto-calibration reading written into the row's box as
// hex text. The automatic run calls them; their buttons are hidden.
namespace manual {

// The calibration source and the gain code of one point of an input row.
struct InputPoint {
    card::Int16 wChannel;
    card::Int16 wGain;
};

// Rows 0..2 (20.48V, 10.24V, 5.12V): the upper point reads the 10 V reference (5 V for
// 5.12V), the lower point 0 V. Rows 3..5 and any other index: nothing.
std::optional<InputPoint> upperPoint(int j);
std::optional<InputPoint> lowerPoint(int j);

// cmdReadMaxAI_Click / cmdReadMinAI_Click for row j. A bad "Active Board" is refused before
// anything else (wErrCode unchanged). Otherwise the reading, started at 0, is taken; its
// status goes to wErrCode, and the reading is written to tbxAIMaxVal j / tbxAIMinVal j as
// hex text. A reading that times out writes "0" and is refused with "TimeOut"; a reading
// refused before it started (no registers, another reading under way, an impossible
// set-up) leaves the box as it is and is refused with its message. Rows 3..5 do nothing.
core::Status readMaxAI(session::Context& ctx, card::Acquisition& acquisition,
                       caldata::CalibrationTable& table, int j);
core::Status readMinAI(session::Context& ctx, card::Acquisition& acquisition,
                       caldata::CalibrationTable& table, int j);

} // namespace manual
