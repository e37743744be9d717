#include "autocal/run.h"

#include "caldata/conversions.h"
#include "caldata/messages.h"
#include "core/text.h"
#include "manual/input_readings.h"
#include "session/board.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace autocal {

namespace {

using card::Int16;
using card::Long;

// The failure of a reading taken for box: "TimeOut" as the reading's own message, else one
// naming the box.
core::Refusal readingFailure(const session::Context& ctx, caldata::Field box,
                             const std::string& refusal) {
    if (ctx.state.wErrCode == card::kReadingTimedOut) {
        return core::refuse(core::Kind::Card, card::readingMessage(card::kReadingTimedOut),
                            card::kReadingTimedOut);
    }
    return core::refuse(core::Kind::Card, runFailure(caldata::describe(box) + ": " + refusal),
                        ctx.state.wErrCode);
}

// The texts the code boxes held when the run started, and the boxes it has finished: a run
// that stops or fails puts every box it had not finished back.
class Journal {
public:
    explicit Journal(const caldata::CalibrationTable& table) {
        for (const caldata::Field f : codeFields()) {
            before_.push_back({f, table.text(f), false});
        }
    }
    void finished(caldata::Field f) {
        for (Entry& e : before_) {
            e.done = e.done || e.field == f;
        }
    }
    // Puts the unfinished boxes back, the output boxes' change handling held back as RELOAD
    // holds it: the card is not driven with codes the run no longer stands for.
    void restoreUnfinished(caldata::CalibrationTable& table, session::FormState& state) const {
        core::ScopedFlag loading(state.bLoading);
        for (const Entry& e : before_) {
            if (!e.done) {
                table.setText(e.field, e.text);
            }
        }
    }
    RunTally tally() const {
        RunTally t;
        for (const Entry& e : before_) {
            if (e.done) {
                ++(caldata::isOutput(e.field) ? t.endPoints : t.inputPoints);
            }
        }
        return t;
    }

private:
    struct Entry {
        caldata::Field field;
        std::string text;
        bool done;
    };
    static std::vector<caldata::Field> codeFields() {
        std::vector<caldata::Field> fields;
        for (int k = 0; k < caldata::kOutputBoxes; ++k) {
            fields.insert(fields.end(), {caldata::aoMax(k), caldata::aoMin(k)});
        }
        for (int j = 0; j < caldata::kInputBoxes; ++j) {
            fields.insert(fields.end(), {caldata::aiMax(j), caldata::aiMin(j)});
        }
        return fields;
    }
    std::vector<Entry> before_;
};

// The run's phases. Each gives Completed, Stopped, or the refusal that ends the run.
class Run {
public:
    Run(const Environment& env, Journal& journal) : env_(env), ctx_(env.ctx), journal_(journal) {}

    core::Result<RunOutcome> inputReadings();
    core::Result<RunOutcome> endPoints(const Targets& targets);
    core::Result<RunOutcome> smallRanges();

private:
    void highlight(Int16 step) {
        if (env_.HighlightStep) {
            env_.HighlightStep(step, kStepColour);
        }
    }
    void tell(caldata::Field point) {
        if (env_.onEndPoint) {
            env_.onEndPoint(point);
        }
    }
    core::Result<RunOutcome> measure(Long code, card::Source source, card::Gain gain,
                                     caldata::Field box);

    const Environment& env_;
    session::Context& ctx_;
    Journal& journal_;
};

// The three widest input ranges: their reference and 0 V readings.
core::Result<RunOutcome> Run::inputReadings() {
    for (int j = 0; j < card::kReferenceRows; ++j) {
        highlight(static_cast<Int16>(card::kFirstInputStep + j));
        for (const bool upper : {true, false}) {
            const caldata::Field box = upper ? caldata::aiMax(j) : caldata::aiMin(j);
            tell(box);
            const auto read = upper ? manual::readMaxAI : manual::readMinAI;
            const core::Status r = read(ctx_, env_.acquisition, env_.table, j);
            if (env_.stopping()) {
                return RunOutcome::Stopped;
            }
            if (!r) {
                return readingFailure(ctx_, box, r.refusal());
            }
            journal_.finished(box);
        }
    }
    return RunOutcome::Completed;
}

// The sixteen output end points, channel 0 then channel 1, each range's upper end point
// before its lower one, the ranges in the order of the window.
core::Result<RunOutcome> Run::endPoints(const Targets& targets) {
    for (int k = 0; k < card::kOutputBoxCount; ++k) {
        const card::OutputBoxFacts& box = card::kOutputBoxes[static_cast<std::size_t>(k)];
        for (const bool upper : {true, false}) {
            const caldata::Field result = upper ? caldata::aoMax(k) : caldata::aoMin(k);
            tell(result);
            const auto board = session::activeBoard(ctx_);
            if (!board) {
                return core::refuse(runFailure(board.refusal()));
            }
            const auto r =
                AutoCalDA(env_, *board, static_cast<Int16>(box.channel), box.rangeFacts().rangeCode,
                          upper ? 1 : 0, targetOf(targets, box.rangeFacts(), upper));
            if (!r) {
                return r.failure();
            }
            if (r->outcome == Outcome::Stopped) {
                return RunOutcome::Stopped;
            }
            env_.table.setText(result, caldata::hexText16(r->wCalDAVal));
            journal_.finished(result);
        }
    }
    return RunOutcome::Completed;
}

// Drives CH0 with code, waits for it to settle, reads source with gain into box.
core::Result<RunOutcome> Run::measure(Long code, card::Source source, card::Gain gain,
                                      caldata::Field box) {
    tell(box);
    auto b = session::activeBoard(ctx_);
    if (!b) {
        return core::refuse(runFailure(b.refusal()));
    }
    ctx_.state.wErrCode = ctx_.driver.Drvx_WriteAOVoltageH(*b, 0, code);
    if (!WaitSeconds(ctx_.clock, ctx_.pump, kSettleSeconds, env_.stopRequested)) {
        return RunOutcome::Stopped;
    }
    b = session::activeBoard(ctx_);
    if (!b) {
        return core::refuse(runFailure(b.refusal()));
    }
    Int16 reading = 0;
    const Int16 status =
        env_.acquisition.MX4815_Get_AutoCal_Data(*b, card::code(source), card::code(gain), reading);
    ctx_.state.wErrCode = status;
    if (env_.stopping()) {
        return RunOutcome::Stopped;
    }
    if (status != 0) {
        return readingFailure(ctx_, box, readingProblem(status));
    }
    env_.table.setText(box, caldata::hexText16(reading));
    journal_.finished(box);
    return RunOutcome::Completed;
}

// The three smallest input ranges against CH0 Unipolar 5V (a fraction of its +5 V code) and
// its 0 V code.
core::Result<RunOutcome> Run::smallRanges() {
    const auto first = static_cast<Int16>(card::kFirstInputStep + card::kReferenceRows);
    highlight(first);
    const auto board = session::activeBoard(ctx_);
    if (!board) {
        return core::refuse(runFailure(board.refusal()));
    }
    const card::OutputRangeFacts& uni5 = card::facts(card::OutputRange::Unipolar5V);
    ctx_.state.wErrCode = ctx_.driver.Drvx_ConfigAO(*board, 0, uni5.rangeCode);
    const int uni5Box = card::outputBoxIndex(0, card::OutputRange::Unipolar5V);

    for (int j = card::kReferenceRows; j < card::kInputRangeCount; ++j) {
        const card::InputRangeFacts& range = card::kInputRanges[static_cast<std::size_t>(j)];
        if (j > card::kReferenceRows) {
            highlight(static_cast<Int16>(card::kFirstInputStep + j));
        }
        const auto upper = codeOf(env_.table, caldata::aoMax(uni5Box));
        if (!upper) {
            return upper.failure();
        }
        auto o = measure(scaledCode(*upper, range.upperVolts / uni5.high), range.upperSource,
                         range.gain, caldata::aiMax(j));
        if (!o || *o != RunOutcome::Completed) {
            return o;
        }
        const auto lower = codeOf(env_.table, caldata::aoMin(uni5Box));
        if (!lower) {
            return lower.failure();
        }
        // Read like the +5 V code: four hex digits as an unsigned 32-bit value (0..65535).
        o = measure(Long{static_cast<std::uint16_t>(*lower)}, card::Source::ZeroVolts, range.gain,
                    caldata::aiMin(j));
        if (!o || *o != RunOutcome::Completed) {
            return o;
        }
    }
    return RunOutcome::Completed;
}

} // namespace

std::string stopMessage(const RunTally& t) {
    return "The automatic calibration was stopped. " + std::to_string(t.endPoints) + " of the " +
           std::to_string(RunTally::kEndPoints) + " output end points and " +
           std::to_string(t.inputPoints) + " of the " + std::to_string(RunTally::kInputPoints) +
           " input points were calibrated; the others keep the codes they had before START.";
}

core::Status checkBeforeRun(const session::Context& ctx, const caldata::CalibrationTable& table) {
    const std::string notStarted = "The automatic calibration was not started: ";
    for (const caldata::Field ref : {caldata::ref10(), caldata::ref5()}) {
        if (const auto v = caldata::plausibleReference(ref, table.text(ref)); !v) {
            return core::refuse(notStarted + v.refusal());
        }
    }
    if (const auto board = session::loadedActiveBoard(ctx); !board) {
        return core::refuse(notStarted + board.refusal());
    }
    return {};
}

namespace {

core::Result<RunOutcome> runPhases(const Environment& env, Journal& journal) {
    Run run(env, journal);
    auto o = run.inputReadings();
    if (!o || *o != RunOutcome::Completed) {
        return o;
    }
    // Targets that cannot be formed come from the references typed in: an input problem,
    // found before any output is searched.
    const auto targets = computeTargets(env.table);
    if (!targets) {
        return targets.failure();
    }
    o = run.endPoints(*targets);
    if (!o || *o != RunOutcome::Completed) {
        return o;
    }
    return run.smallRanges();
}

} // namespace

core::Result<RunOutcome> runAutoCal(const Environment& env) {
    if (const core::Status checked = checkBeforeRun(env.ctx, env.table); !checked) {
        return checked.failure();
    }
    Journal journal(env.table);
    auto outcome = runPhases(env, journal);
    if (env.tableGone && env.tableGone()) {
        return outcome;
    }
    if (!outcome || *outcome != RunOutcome::Completed) {
        journal.restoreUnfinished(env.table, env.ctx.state);
    }
    if (env.tally) {
        *env.tally = journal.tally();
    }
    return outcome;
}

} // namespace autocal
