#include "autocal/autocal_da.h"

#include "caldata/conversions.h"
#include "card/facts.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace autocal {

namespace {

using card::Int16;
using card::Long;

constexpr Int16 kMin16 = std::numeric_limits<Int16>::min();
constexpr Int16 kMax16 = std::numeric_limits<Int16>::max();

// The coarse probe: 10 codes in from the start code; the estimate stops 10 A/D counts short
// of the target.
constexpr int kProbeCodes = 10;
constexpr int kMargin = 10;

constexpr Int16 kUpperStart = -1;  // 0xFFFF
constexpr Int16 kLowerStart = 0;   // 0x0000
constexpr Int16 kUpperProbe = -11; // 0xFFF5
constexpr Int16 kLowerProbe = 10;  // 0x000A
// The furthest estimate, in probe steps, that keeps the code in its half of the range
// (0x8000..0xFFFF upper, 0x0000..0x7FFF lower).
constexpr long kMaxProbeSteps = kMax16 / kProbeCodes;

std::string hex(Int16 code) {
    return caldata::hexText16(code);
}

// "CH0 Bipolar 10V +10V(Hex)" for the ranges the window shows; a plain description otherwise.
std::string endPointName(Int16 wDAChannel, Int16 wRange, bool upper, Int16 group) {
    if (card::outputRangeOfCode(wRange) && wDAChannel >= 0 && wDAChannel < card::kOutputChannels) {
        return caldata::describe(upper ? caldata::aoMax(group) : caldata::aoMin(group));
    }
    return "CH" + std::to_string(wDAChannel) + " output range code " + std::to_string(wRange) +
           (upper ? " upper end point" : " lower end point");
}

// What one call of AutoCalDA works with, and the steps of the search.
class Search {
public:
    Search(const Environment& env, Int16 board, Int16 channel, Int16 range, Int16 wMAXMIN,
           Int16 target)
        : env_(env), ctx_(env.ctx), board_(board), channel_(channel), range_(range),
          upper_(wMAXMIN == 1), target_(target), out_(outputGroup(channel, range)),
          source_(static_cast<Int16>(5 + 2 * channel)),
          box_(upper_ ? caldata::aoMax(out_.group) : caldata::aoMin(out_.group)),
          name_(endPointName(channel, range, upper_, out_.group)) {}

    core::Result<EndPoint> run();

private:
    enum class Step { Go, Stopped, Failed };

    void write(Int16 code) {
        // Sign extension: 0xFFF5 reaches the driver as -11.
        ctx_.state.wErrCode = ctx_.driver.Drvx_WriteAOVoltageH(board_, channel_, Long{code});
    }
    // A reading at code into r; r keeps its value when the reading fails.
    Step read(Int16& r, Int16 code);
    Step fail(const std::string& reason) {
        failure_ = runFailure(name_ + ": " + reason + ".");
        return Step::Failed;
    }
    bool estimated() const { return upper_ || facts().bipolar(); }
    const card::OutputRangeFacts& facts() const {
        return card::facts(card::outputRangeOfCode(range_).value_or(card::OutputRange{}));
    }
    Step start(Int16& r1);
    std::string unreachable(Int16 r1, Int16 start) const;
    Step estimate(Int16 r1, Int16& reading, Int16& code);
    Step fineSearch(Int16 reading, Int16& code);

    const Environment& env_;
    session::Context& ctx_;
    const Int16 board_;
    const Int16 channel_;
    const Int16 range_;
    const bool upper_;
    const Int16 target_;
    const OutputGroup out_;
    const Int16 source_;
    const caldata::Field box_;
    const std::string name_;
    std::string failure_;
};

Search::Step Search::read(Int16& r, Int16 code) {
    Int16 value = r;
    const Int16 status =
        env_.acquisition.MX4815_Get_AutoCal_Data(board_, source_, out_.wGain, value);
    ctx_.state.wErrCode = status;
    if (env_.stopping()) {
        return Step::Stopped;
    }
    if (status == card::kReadingTimedOut) {
        failure_ = card::readingMessage(status); // "TimeOut", the reading's own message
        return Step::Failed;
    }
    if (status != 0) {
        return fail(readingProblem(status) + " at code " + hex(code));
    }
    r = value;
    return Step::Go;
}

// Configures the range, highlights the group, writes the start code, waits for the output to
// settle and takes the first reading.
Search::Step Search::start(Int16& r1) {
    ctx_.state.wErrCode = ctx_.driver.Drvx_ConfigAO(board_, channel_, range_);
    if (env_.HighlightStep) {
        env_.HighlightStep(out_.group, kStepColour);
    }
    const Int16 code = upper_ ? kUpperStart : kLowerStart;
    write(code);
    if (!WaitSeconds(ctx_.clock, ctx_.pump, kSettleSeconds, env_.stopRequested)) {
        return Step::Stopped;
    }
    return read(r1, code);
}

// The failure of an end point whose output is already past its target at the start code.
std::string Search::unreachable(Int16 r1, Int16 start) const {
    const card::ReferenceFacts& ref = card::facts(facts().reference);
    return "the output reads " + std::to_string(r1) + " at code " + hex(start) + ", already " +
           (upper_ ? "below" : "above") + " the target " + std::to_string(target_) +
           ", so no code of this range reaches it; check the reference voltage typed in " +
           std::string(ref.caption) + " (the targets come from it)";
}

// The probe 10 codes in and the code the fine search starts from, with the reading its first
// test uses: the start code's own reading r1 when it starts there, else the probe's.
Search::Step Search::estimate(Int16 r1, Int16& reading, Int16& code) {
    const long aim = long{target_} + (upper_ ? kMargin : -kMargin);
    if (aim < kMin16 || aim > kMax16) {
        return fail("the target " + std::to_string(target_) + " is too close to the end of the " +
                    "16-bit range to approach it from 10 counts away");
    }
    const Int16 start = code;
    // Already past the target where the search starts: no code of this range reaches it.
    if (upper_ ? r1 < target_ : r1 > target_) {
        return fail(unreachable(r1, start));
    }
    const Int16 probe = upper_ ? kUpperProbe : kLowerProbe;
    Int16 r2 = 0;
    write(probe);
    if (const Step s = read(r2, probe); s != Step::Go) {
        return s;
    }
    const std::string readings = "the readings " + std::to_string(r1) + " at code " + hex(start) +
                                 " and " + std::to_string(r2) + " at code " + hex(probe);
    // The change of the reading over the 10 codes of the probe. Moving into the range it
    // should go the way the code goes; an output saturated at the end, or noise over a small
    // slope, may move it the other way, and then its quotient says nothing (within the
    // margin it would even put the code far past the target): the search starts at the start
    // code. Without any change there is no estimate at all.
    const long change = long{r1} - long{r2};
    if (change == 0) {
        return fail(readings + " do not change with the code, so no estimate can be made");
    }
    const bool wrongWay = upper_ ? change < 0 : change > 0;
    // Halves to even (the default rounding mode).
    double n =
        wrongWay
            ? 0.0
            : std::nearbyint(static_cast<double>(long{r1} - aim) / static_cast<double>(change));
    // 10 x n must stay a 16-bit value either way; past the far end of the half range, or
    // that far beyond the start code, no code reaches the target.
    if (std::fabs(n) > static_cast<double>(kMaxProbeSteps)) {
        const char* end = n > 0 ? (upper_ ? "8000" : "7FFF") : (upper_ ? "FFFF" : "0000");
        return fail(readings + " put the target beyond code " + end);
    }
    // A negative estimate lies beyond the start code (the output there is already within
    // the margin of the target): the search starts at the start code.
    if (n < 0) {
        n = 0;
    }
    const long steps = kProbeCodes * static_cast<long>(n);
    code = static_cast<Int16>(upper_ ? kUpperStart - steps : steps);
    // From the start code the search is decided by its own reading, not by the probe's,
    // which may already lie past the target while the start code's falls short of it.
    reading = n == 0 ? r1 : r2;
    return Step::Go;
}

// One code at a time towards the middle of the range, each next code shown in the box,
// until the reading reaches the target; the code one step further is the result. The first
// test uses reading, the one known for the code the search starts from or for the probe
// before it.
Search::Step Search::fineSearch(Int16 reading, Int16& code) {
    const int direction = upper_ ? -1 : +1;
    const Int16 last = upper_ ? kMin16 : kMax16;
    auto short_of_target = [&] { return upper_ ? reading > target_ : reading < target_; };
    while (short_of_target()) {
        write(code);
        if (const Step s = read(reading, code); s != Step::Go) {
            return s;
        }
        if (code == last) {
            return fail(std::string("the output does not come ") + (upper_ ? "down" : "up") +
                        " to the target " + std::to_string(target_) + " before code " + hex(last) +
                        " (it reads " + std::to_string(reading) + " there)");
        }
        code = static_cast<Int16>(code + direction);
        env_.table.setText(box_, hex(code));
    }
    return Step::Go;
}

core::Result<EndPoint> Search::run() {
    const EndPoint stopped{Outcome::Stopped, 0};
    Int16 r1 = 0;
    Int16 code = upper_ ? kUpperStart : kLowerStart;
    Step s = start(r1);
    // Without an estimate (a unipolar lower end point) the search starts at the start code,
    // decided by its reading r1: a target at or below it ends the search there at once.
    Int16 reading = r1;
    if (s == Step::Go && estimated()) {
        s = estimate(r1, reading, code);
    }
    if (s == Step::Go) {
        s = fineSearch(reading, code);
    }
    switch (s) {
    case Step::Go:
        return EndPoint{Outcome::Done, code};
    case Step::Stopped:
        return stopped;
    case Step::Failed:
        break;
    }
    // The card did not behave as the search needs: a reading failed, or the output cannot
    // reach its target.
    return core::refuse(core::Kind::Card, failure_, ctx_.state.wErrCode);
}

} // namespace

std::string runFailure(const std::string& what) {
    return "Automatic calibration failed: " + what;
}

OutputGroup outputGroup(Int16 wDAChannel, Int16 wRange) {
    const auto range = card::outputRangeOfCode(wRange);
    if (!range) {
        return {0, card::code(card::Gain::Range20_48V)};
    }
    return {static_cast<Int16>(card::outputBoxIndex(wDAChannel, *range)),
            card::code(card::facts(*range).readBack)};
}

std::string readingProblem(Int16 status) {
    switch (status) {
    case card::kReadingTimedOut:
        return "the reading timed out";
    case card::kReadingNoRegisters:
        return "no board is loaded, so the card cannot be read (click RELOAD first)";
    case card::kReadingInProgress:
        return "another reading was under way";
    case card::kReadingBadSetup:
        return "the reading's set-up was impossible";
    default:
        return "the reading failed with status " + std::to_string(status);
    }
}

core::Result<EndPoint> AutoCalDA(const Environment& env, Int16 wBoardNo, Int16 wDAChannel,
                                 Int16 wRange, Int16 wMAXMIN, Int16 wCalADVal) {
    return Search(env, wBoardNo, wDAChannel, wRange, wMAXMIN, wCalADVal).run();
}

} // namespace autocal
