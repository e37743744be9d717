#pragma once

#include "autocal/autocal_da.h"
#include "card/facts.h"
#include "card/types.h"
#include "core/result.h"

#include <memory>
#include <optional>
#include <string>

namespace autocal {

// The state of the START button's run, kept by the window. Not running, running, or running
// with a stop asked for. A click on the button while a run is going only asks it to stop;
// the run ends at its next yield.
//
// The window may be destroyed while its handler is suspended inside a yield (the program
// ends). The handler then holds a Token, which outlives the window's RunControl and reports
// that the window is gone, so the handler touches nothing of it on the way out.
class RunControl {
public:
    struct Shared {
        bool running = false;
        bool stop = false;
        bool windowGone = false;
    };
    using Token = std::shared_ptr<Shared>;

    RunControl() = default;
    RunControl(const RunControl&) = delete;
    RunControl& operator=(const RunControl&) = delete;
    ~RunControl() {
        shared_->windowGone = true;
        shared_->stop = true;
    }

    bool running() const { return shared_->running; }
    bool stopRequested() const { return shared_->stop; }
    void requestStop() {
        if (shared_->running) {
            shared_->stop = true;
        }
    }
    // Marks the start of a run; the token stays valid after the window is gone.
    Token begin() {
        shared_->running = true;
        shared_->stop = false;
        return shared_;
    }
    static void end(const Token& token) {
        token->running = false;
        token->stop = false;
    }
    Shared& shared() { return *shared_; }

private:
    Token shared_ = std::make_shared<Shared>();
};

// The six A/D targets of the output end points.
struct Targets {
    card::Int16 plus10 = 0;  // +10 V: upper point of Unipolar 10V and Bipolar 10V
    card::Int16 zero10 = 0;  // 0 V of the 10 V ranges: lower point of Unipolar 10V
    card::Int16 minus10 = 0; // -10 V: lower point of Bipolar 10V
    card::Int16 plus5 = 0;   // +5 V: upper point of Unipolar 5V and Bipolar 5V
    card::Int16 zero5 = 0;   // 0 V of the 5 V ranges: lower point of Unipolar 5V
    card::Int16 minus5 = 0;  // -5 V: lower point of Bipolar 5V
};

// One voltage's targets from the reference V measured at its test point, the reading M of
// that reference and the reading Z of 0 V in the same input range: +V = Z + the nearest
// integer (halves to even) to (nominal / V) x (M - Z) in double precision, 0 V = Z,
// -V = Z - (+V). A problem text instead when V is 0 or a result leaves the 16-bit range.
struct PointTargets {
    card::Int16 plus = 0;
    card::Int16 zero = 0;
    card::Int16 minus = 0;
};
core::Result<PointTargets> pointTargets(double nominal, float reference, card::Int16 m,
                                        card::Int16 z);

// The targets from the boxes: tbx10VRef, tbxAIMaxVal(1), tbxAIMinVal(1) for the 10 V ones,
// tbx5VRef, tbxAIMaxVal(2), tbxAIMinVal(2) for the 5 V ones. A message naming the box and
// the problem instead when a text is no finite non-zero number or no 16-bit code, or a target
// leaves the 16-bit range.
core::Result<Targets> computeTargets(const caldata::CalibrationTable& table);

// The targets of an output range's end points: +V for the upper one, 0 V (unipolar) or -V
// (bipolar) for the lower one, V being the range's nominal high end.
card::Int16 targetOf(const Targets& targets, const card::OutputRangeFacts& range, bool upper);

// A code box's 16-bit code, or the run's refusal naming the box and its text.
core::Result<card::Int16> codeOf(const caldata::CalibrationTable& table, caldata::Field f);

// The scaled code of a small input range's upper point: the 16-bit pattern of the +5 V code
// of CH0 Unipolar 5V, read unsigned (FF80 is 65408), times factor, to the nearest integer with
// halves to even.
card::Long scaledCode(card::Int16 code, double factor);

enum class RunOutcome { Completed, Stopped };

// What a run finished: output end points (of 16) and input points (of 12) whose new codes it
// left in their boxes.
struct RunTally {
    static constexpr int kEndPoints = 2 * card::kOutputBoxCount;
    static constexpr int kInputPoints = 2 * card::kInputRangeCount;
    int endPoints = 0;
    int inputPoints = 0;
};

// The message after a stopped run: how much was calibrated, and that the rest kept its codes.
std::string stopMessage(const RunTally& tally);

// What START checks before it touches anything: both reference boxes hold plausible voltages
// (within 10 % of 10 V and 5 V) and "Active Board" names the board the table was read from.
// The refusal names the box or the board and what is wrong.
core::Status checkBeforeRun(const session::Context& ctx, const caldata::CalibrationTable& table);

// The automatic calibration, from the first input reading to the last small input range:
// rows 0..2 of the input readings, the six targets, the sixteen end points of the two output
// channels, the three small input ranges with channel 0's Unipolar 5V output. Every driver call
// and reading takes the board of "Active Board" at that moment. Every result lands in its box.
//
// Refused before anything is touched when checkBeforeRun refuses. Stopped: the stop request
// said so after a yield. A failure is refused with the one message to show: "TimeOut" when a
// reading timed out, otherwise runFailure() naming what failed. A run that stops or fails
// puts every code box it had not finished back to the text it held when the run started (an
// end point in the middle of its search, a reading that failed), with the output boxes'
// change handling held back; the boxes it finished keep their new codes. The run shows
// nothing itself; the caption, RELOAD and the frames are the window's business.
core::Result<RunOutcome> runAutoCal(const Environment& env);

} // namespace autocal
