#include "autocal/run.h"

#include "caldata/conversions.h"
#include "caldata/messages.h"
#include "card/board.h"
#include "manual/input_readings.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>

namespace autocal {

namespace {

using card::Int16;
using card::Long;

constexpr float kSettleSeconds = 1.0f;
constexpr Int16 kZeroVoltsSource = 4;
constexpr Int16 kChannel0Output = 5;
constexpr int kReadRows = 3; // input rows read by the input readings: 20.48V .. 5.12V
constexpr Int16 kFirstInputStep = 9;
constexpr Int16 kFirstSmallStep = 12;

const std::string kFailed = "Automatic calibration failed: ";

bool fits16(double v) {
    return v >= std::numeric_limits<Int16>::min() && v <= std::numeric_limits<Int16>::max();
}

// The output calibration sequence of one channel: range code, end point, target, frame kind
// (box index 4 x channel + kind).
struct EndPoint {
    Int16 wRange;
    Int16 wMAXMIN;
    Int16 Targets::*target;
    int kind;
};
constexpr std::array<EndPoint, 8> kSequence{{
    {0, 1, &Targets::plus5, 0},
    {0, 0, &Targets::zero5, 0},
    {2, 1, &Targets::plus10, 1},
    {2, 0, &Targets::zero10, 1},
    {1, 1, &Targets::plus5, 2},
    {1, 0, &Targets::minus5, 2},
    {3, 1, &Targets::plus10, 3},
    {3, 0, &Targets::minus10, 3},
}};

// The small input ranges, measured with CH0 Unipolar 5V: input row (= gain code) and the
// factor of the +5 V code that gives the row's upper point (2.54 V, 1.27 V, 0.63 V).
struct SmallRange {
    int row;
    Int16 wGain;
    double factor;
};
constexpr std::array<SmallRange, 3> kSmallRanges{{
    {3, 3, 2.54 / 5},
    {4, 4, 1.27 / 5},
    {5, 5, 0.63 / 5},
}};

struct Codes {
    std::optional<Int16> value;
    std::string problem;
};

// A code box's 16-bit code, or the message refusing its text.
Codes codeOf(const caldata::CalibrationTable& table, caldata::Field f) {
    const std::string text = table.text(f);
    auto parsed = caldata::parseCode(text);
    if (!parsed) {
        return {std::nullopt, kFailed + caldata::textRefusal(f, text, parsed.problem)};
    }
    return {parsed.value, {}};
}

} // namespace

std::variant<PointTargets, std::string> pointTargets(double nominal, float reference, Int16 m,
                                                     Int16 z) {
    if (reference == 0.0f || !std::isfinite(reference)) {
        return std::string("the reference is not a finite non-zero number");
    }
    const long span = long{m} - long{z};
    if (!fits16(static_cast<double>(span))) {
        return "the readings " + std::to_string(m) + " and " + std::to_string(z) +
               " differ by more than a 16-bit code";
    }
    // Double precision throughout; nearbyint rounds halves to even.
    const double scaled =
        std::nearbyint(nominal / static_cast<double>(reference) * static_cast<double>(span));
    if (!fits16(scaled)) {
        return "the scaled span " + std::to_string(scaled) + " leaves the 16-bit range";
    }
    const double plus = z + scaled;
    const double minus = z - plus;
    if (!fits16(plus) || !fits16(minus)) {
        return "the targets " + std::to_string(static_cast<long>(plus)) + " and " +
               std::to_string(static_cast<long>(minus)) + " leave the 16-bit range";
    }
    return PointTargets{static_cast<Int16>(plus), z, static_cast<Int16>(minus)};
}

std::variant<Targets, std::string> computeTargets(const caldata::CalibrationTable& table) {
    struct Source {
        caldata::Field ref;
        int row;
        double nominal;
        const char* name;
    };
    // The 10 V targets first, then the 5 V ones.
    const std::array<Source, 2> sources{{
        {caldata::ref10(), 1, 10.0, "+10 V"},
        {caldata::ref5(), 2, 5.0, "+5 V"},
    }};
    std::array<PointTargets, 2> found{};
    for (std::size_t i = 0; i < sources.size(); ++i) {
        const Source& s = sources[i];
        const std::string refText = table.text(s.ref);
        const auto reference = caldata::parseReference(refText);
        if (!reference) {
            return kFailed + caldata::textRefusal(s.ref, refText, reference.problem);
        }
        if (*reference.value == 0.0f) {
            return kFailed + caldata::textRefusal(s.ref, refText, "is zero");
        }
        const Codes m = codeOf(table, caldata::aiMax(s.row));
        if (!m.value) {
            return m.problem;
        }
        const Codes z = codeOf(table, caldata::aiMin(s.row));
        if (!z.value) {
            return z.problem;
        }
        auto t = pointTargets(s.nominal, *reference.value, *m.value, *z.value);
        if (auto* problem = std::get_if<std::string>(&t)) {
            return kFailed + "the " + s.name + " target from " + caldata::describe(s.ref) + " " +
                   caldata::quoteText(refText) + ", " + caldata::describe(caldata::aiMax(s.row)) +
                   " " + caldata::quoteText(table.text(caldata::aiMax(s.row))) + " and " +
                   caldata::describe(caldata::aiMin(s.row)) + " " +
                   caldata::quoteText(table.text(caldata::aiMin(s.row))) +
                   " cannot be formed: " + *problem + ".";
        }
        found[i] = std::get<PointTargets>(t);
    }
    Targets t;
    t.plus10 = found[0].plus;
    t.zero10 = found[0].zero;
    t.minus10 = found[0].minus;
    t.plus5 = found[1].plus;
    t.zero5 = found[1].zero;
    t.minus5 = found[1].minus;
    return t;
}

Long scaledCode(Int16 code, double factor) {
    const double unsignedCode = static_cast<std::uint16_t>(code);
    return static_cast<Long>(std::nearbyint(unsignedCode * factor));
}

RunOutcome runAutoCal(const Environment& env) {
    card::Context& ctx = env.ctx;
    auto highlight = [&](Int16 step) {
        if (env.HighlightStep) {
            env.HighlightStep(step, kStepColour);
        }
    };
    auto fail = [&](const std::string& message) {
        ctx.prompts.message(message);
        return RunOutcome::Failed;
    };
    // A failed reading ends the run with one message: its own, or one naming the box.
    auto readingFailed = [&](Int16 status, caldata::Field box) {
        if (!readingShownItsOwnMessage(status)) {
            ctx.prompts.message(kFailed + caldata::describe(box) + ": " + readingProblem(status) +
                                ".");
        }
        return RunOutcome::Failed;
    };

    // The three widest input ranges: their reference and 0 V readings.
    for (int j = 0; j < kReadRows; ++j) {
        highlight(static_cast<Int16>(kFirstInputStep + j));
        Int16 status = manual::readMaxAI(ctx, env.acquisition, env.table, j);
        if (env.stopping()) {
            return RunOutcome::Stopped;
        }
        if (status != 0) {
            return readingFailed(status, caldata::aiMax(j));
        }
        status = manual::readMinAI(ctx, env.acquisition, env.table, j);
        if (env.stopping()) {
            return RunOutcome::Stopped;
        }
        if (status != 0) {
            return readingFailed(status, caldata::aiMin(j));
        }
    }

    const auto computed = computeTargets(env.table);
    if (const auto* problem = std::get_if<std::string>(&computed)) {
        return fail(*problem);
    }
    const Targets& targets = std::get<Targets>(computed);

    // The sixteen output end points, channel 0 then channel 1.
    for (Int16 c = 0; c < 2; ++c) {
        for (const EndPoint& p : kSequence) {
            const auto board = card::activeBoard(ctx);
            if (!board) {
                return RunOutcome::Failed;
            }
            const EndPointResult r =
                AutoCalDA(env, *board, c, p.wRange, p.wMAXMIN, targets.*p.target);
            if (r.outcome == Outcome::Stopped) {
                return RunOutcome::Stopped;
            }
            if (r.outcome == Outcome::Failed) {
                if (!r.shown) {
                    ctx.prompts.message(kFailed + r.failure);
                }
                return RunOutcome::Failed;
            }
            const int k = 4 * c + p.kind;
            env.table.setText(p.wMAXMIN == 1 ? caldata::aoMax(k) : caldata::aoMin(k),
                              caldata::hexText16(r.wCalDAVal));
        }
    }

    // The three smallest input ranges against CH0 Unipolar 5V and 0 V.
    highlight(kFirstSmallStep);
    auto board = card::activeBoard(ctx);
    if (!board) {
        return RunOutcome::Failed;
    }
    ctx.state.wErrCode = ctx.driver.Drvx_ConfigAO(*board, 0, 0);

    // Drives CH0 with code, waits 1 s, reads source with gain into box.
    auto measure = [&](Long code, Int16 source, Int16 wGain, caldata::Field box) {
        auto b = card::activeBoard(ctx);
        if (!b) {
            return RunOutcome::Failed;
        }
        ctx.state.wErrCode = ctx.driver.Drvx_WriteAOVoltageH(*b, 0, code);
        if (!WaitSeconds(ctx.clock, ctx.pump, kSettleSeconds, env.stopRequested)) {
            return RunOutcome::Stopped;
        }
        b = card::activeBoard(ctx);
        if (!b) {
            return RunOutcome::Failed;
        }
        Int16 reading = 0;
        const Int16 status = env.acquisition.MX4815_Get_AutoCal_Data(*b, source, wGain, reading);
        ctx.state.wErrCode = status;
        if (env.stopping()) {
            return RunOutcome::Stopped;
        }
        if (status != 0) {
            return readingFailed(status, box);
        }
        env.table.setText(box, caldata::hexText16(reading));
        return RunOutcome::Completed;
    };

    for (std::size_t s = 0; s < kSmallRanges.size(); ++s) {
        const SmallRange& range = kSmallRanges[s];
        if (s > 0) {
            highlight(static_cast<Int16>(kFirstSmallStep + s));
        }
        const Codes upper = codeOf(env.table, caldata::aoMax(0));
        if (!upper.value) {
            return fail(upper.problem);
        }
        RunOutcome o = measure(scaledCode(*upper.value, range.factor), kChannel0Output, range.wGain,
                               caldata::aiMax(range.row));
        if (o != RunOutcome::Completed) {
            return o;
        }
        const Codes lower = codeOf(env.table, caldata::aoMin(0));
        if (!lower.value) {
            return fail(lower.problem);
        }
        // Read like the +5 V code: four hex digits as an unsigned 32-bit value (0..65535).
        o = measure(Long{static_cast<std::uint16_t>(*lower.value)}, kZeroVoltsSource, range.wGain,
                    caldata::aiMin(range.row));
        if (o != RunOutcome::Completed) {
            return o;
        }
    }
    return RunOutcome::Completed;
}

} // namespace autocal
