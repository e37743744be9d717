#pragma once

#include "autocal/wait.h"
#include "caldata/table.h"
#include "card/acquisition.h"
#include "card/types.h"
#include "core/result.h"
#include "session/context.h"

#include <functional>
#include <string>

namespace autocal {

// The highlight colour of the step being calibrated: pure green (0x00BBGGRR).
inline constexpr card::Long kStepColour = 0xFF00;

// What the automatic calibration works with: the card context (driver, clock, event pump,
// prompts, form state, "Active Board"), the reading instrument, the calibration table (the
// window's boxes; setting an output box runs its change handling), the window's step
// highlighting, the stop request of the run, and whom to tell which point it works on.
struct RunTally;

struct Environment {
    session::Context& ctx;
    card::Acquisition& acquisition;
    caldata::CalibrationTable& table;
    std::function<void(card::Int16 wStepNo, card::Long lColor)> HighlightStep;
    StopRequest stopRequested;
    // Filled by the run, when given: how many end points and input points it finished.
    RunTally* tally = nullptr;
    // True when the table and the form state are gone (the window was destroyed during a
    // yield): the run then touches nothing on its way out.
    std::function<bool()> tableGone = {};
    // Told the box of each point the run is about to work on, when given: each output end
    // point before its search, each input point before its reading.
    std::function<void(caldata::Field)> onEndPoint = {};

    bool stopping() const { return stopRequested && stopRequested(); }
};

enum class Outcome {
    Done,    // the code was found
    Stopped, // the run was asked to stop
};

// What the search of one end point gave when it did not fail.
struct EndPoint {
    Outcome outcome = Outcome::Done;
    card::Int16 wCalDAVal = 0; // the code found, as its 16-bit pattern (Done only)
};

// The message of a failed run: "Automatic calibration failed: " and what failed.
std::string runFailure(const std::string& what);

// The group of an output range code: its frame, boxes and highlight step (4 x channel +
// frame kind), and the gain with which the output is read back. Range codes outside 0..3
// give group 0 and gain 7.
struct OutputGroup {
    card::Int16 group;
    card::Int16 wGain;
};
OutputGroup outputGroup(card::Int16 wDAChannel, card::Int16 wRange);

// Finds the D/A code at which one end point of one output range reaches the A/D target
// wCalADVal, read back through the card's auto-calibration path (source 5 + 2 x channel).
// wMAXMIN 1 searches the upper end point down from 0xFFFF, anything else the lower end point
// up from 0x0000. Configures the range, highlights the group, writes the start code, waits
// 1 s, reads; estimates the code from a probe 10 codes in (none for a unipolar lower end
// point), then steps one code at a time, showing each next code in the group's box, until
// the reading reaches the target; the code one step further is the result. Every code goes
// to the driver sign-extended. Driver statuses and reading statuses go to wErrCode.
//
// The search starts at the start code when there is no estimate, when the probe moved the
// reading the wrong way (its quotient then means nothing), and when the estimate lies on the
// start code's side of it (the output within the 10-count margin). From the start code its
// first test is the start code's own reading: the start code is the result unsearched only
// when that reading already reached the target, whatever the probe read.
//
// Ends with a failure instead of a wrong code: a reading that fails, an output already past
// the target at the start code (upper: the reading at 0xFFFF below the target; bipolar
// lower: the reading at 0x0000 above it), readings that do not change with the code, a
// target, quotient or estimate out of the 16-bit range, and a search that would step past
// 0x8000 (upper) or 0x7FFF (lower). A failure is refused with the one message to show:
// "TimeOut" when a reading timed out, otherwise runFailure() naming channel, range, end point
// and reason. Ends early, with Stopped, when the stop request says so after a wait or a
// reading.
core::Result<EndPoint> AutoCalDA(const Environment& env, card::Int16 wBoardNo,
                                 card::Int16 wDAChannel, card::Int16 wRange, card::Int16 wMAXMIN,
                                 card::Int16 wCalADVal);

// The text of a failed reading's status as part of a sentence: "the reading timed out", ...
std::string readingProblem(card::Int16 status);

} // namespace autocal
