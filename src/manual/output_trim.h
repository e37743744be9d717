#pragma once

#include "caldata/table.h"
#include "card/types.h"
#include "core/result.h"
#include "session/context.h"

// Hand trimming of the D/A codes: the "+" / "-" step buttons of the output boxes and the
// output boxes' change handling. Both drive the box's output at once so that it can be
// measured with a meter.
namespace manual {

// The output an output box drives: channel k div 4, range code wAORange(k mod 4).
struct OutputRow {
    card::Int16 channel;
    card::Int16 range;
};
OutputRow outputRow(const session::FormState& state, int k);

// A step button: box is aoMax(k) or aoMin(k), delta +1 or -1. Configures the row's output,
// writes the stepped code into the box (wrapping as a 16-bit pattern: FFFF+1 = 0,
// 7FFF+1 = 8000), which runs the box's change handling, then drives the output with the
// box's new code, sign-extended. A bad "Active Board" or a box whose text is not a 16-bit
// hex code is refused before any driver call; the box stays as it is. Driver statuses go to
// wErrCode and are not shown.
core::Status step(session::Context& ctx, caldata::CalibrationTable& table, caldata::Field box,
                  int delta);

// The change handling of an output box. Nothing while RELOAD fills the boxes (bLoading).
// Otherwise a text that is a 16-bit hex code drives the row's output with it (Drvx_ConfigAO,
// then Drvx_WriteAOVoltageH sign-extended); any other text, or an "Active Board" that names
// no board, drives nothing and shows nothing (the technician may be in mid-typing).
void outputChanged(session::Context& ctx, caldata::CalibrationTable& table, caldata::Field box);

} // namespace manual
