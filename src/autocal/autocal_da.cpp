#include "autocal/autocal_da.h"

#include "caldata/conversions.h"
#include "manual/input_readings.h"

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
// of the target; one settling wait of 1 s after the start code.
constexpr int kProbeCodes = 10;
constexpr int kMargin = 10;
constexpr float kSettleSeconds = 1.0f;

constexpr Int16 kUpperStart = -1;  // 0xFFFF
constexpr Int16 kLowerStart = 0;   // 0x0000
constexpr Int16 kUpperProbe = -11; // 0xFFF5
constexpr Int16 kLowerProbe = 10;  // 0x000A
// The furthest estimate, in probe steps, that keeps the code in its half of the range
// (0x8000..0xFFFF upper, 0x0000..0x7FFF lower).
constexpr long kMaxProbeSteps = kMax16 / kProbeCodes;

bool fits16(long v) {
    return v >= kMin16 && v <= kMax16;
}

bool isBipolar(Int16 wRange) {
    return wRange == 1 || wRange == 3;
}

// "CH0 Bipolar 10V +10V(Hex)" for the ranges the window shows; a plain description otherwise.
std::string endPointName(Int16 wDAChannel, Int16 wRange, bool upper, Int16 group) {
    if (wRange >= 0 && wRange <= 3 && (wDAChannel == 0 || wDAChannel == 1)) {
        return caldata::describe(upper ? caldata::aoMax(group) : caldata::aoMin(group));
    }
    return "CH" + std::to_string(wDAChannel) + " output range code " + std::to_string(wRange) +
           (upper ? " upper end point" : " lower end point");
}

std::string hex(Int16 code) {
    return caldata::hexText16(code);
}

} // namespace

OutputGroup outputGroup(Int16 wDAChannel, Int16 wRange) {
    // Frame kind and gain by range code: Unipolar 5V, Bipolar 5V, Unipolar 10V, Bipolar 10V.
    static constexpr int kKind[4] = {0, 2, 1, 3};
    static constexpr Int16 kGain[4] = {2, 2, 1, 1};
    if (wRange < 0 || wRange > 3) {
        return {0, 7};
    }
    return {static_cast<Int16>(4 * wDAChannel + kKind[wRange]), kGain[wRange]};
}

std::string readingProblem(Int16 status) {
    switch (status) {
    case card::kReadingTimedOut:
        return "the reading timed out";
    case card::kReadingNoRegisters:
        return "no board is loaded, so the card cannot be read (click RELOAD first)";
    case card::kReadingInProgress:
        return "another reading was under way";
    case manual::kReadingNoBoard:
        return "\"Active Board\" names no board";
    default:
        return "the reading failed with status " + std::to_string(status);
    }
}

bool readingShownItsOwnMessage(Int16 status) {
    return status == card::kReadingTimedOut || status == card::kReadingNoRegisters ||
           status == card::kReadingBadSetup || status == manual::kReadingNoBoard;
}

EndPointResult AutoCalDA(const Environment& env, Int16 wBoardNo, Int16 wDAChannel, Int16 wRange,
                         Int16 wMAXMIN, Int16 wCalADVal) {
    card::Context& ctx = env.ctx;
    const bool upper = wMAXMIN == 1;

    ctx.state.wErrCode = ctx.driver.Drvx_ConfigAO(wBoardNo, wDAChannel, wRange);
    Int16 code = upper ? kUpperStart : kLowerStart;
    const OutputGroup out = outputGroup(wDAChannel, wRange);
    const auto source = static_cast<Int16>(5 + 2 * wDAChannel);
    const caldata::Field box = upper ? caldata::aoMax(out.group) : caldata::aoMin(out.group);
    const std::string name = endPointName(wDAChannel, wRange, upper, out.group);

    auto failed = [&](const std::string& reason, bool shown = false) {
        return EndPointResult{Outcome::Failed, 0, name + ": " + reason + ".", shown};
    };
    const EndPointResult stopped{Outcome::Stopped, 0, {}, false};
    auto write = [&](Int16 c) {
        // Sign extension: 0xFFF5 reaches the driver as -11.
        ctx.state.wErrCode = ctx.driver.Drvx_WriteAOVoltageH(wBoardNo, wDAChannel, Long{c});
    };
    // A reading into r; r keeps its value when the reading fails.
    auto read = [&](Int16& r) {
        Int16 value = r;
        const Int16 status =
            env.acquisition.MX4815_Get_AutoCal_Data(wBoardNo, source, out.wGain, value);
        ctx.state.wErrCode = status;
        if (status == 0) {
            r = value;
        }
        return status;
    };
    auto readingFailed = [&](Int16 status, Int16 at) {
        return failed(readingProblem(status) + " at code " + hex(at),
                      readingShownItsOwnMessage(status));
    };

    if (env.HighlightStep) {
        env.HighlightStep(out.group, kStepColour);
    }
    write(code);
    if (!WaitSeconds(ctx.clock, ctx.pump, kSettleSeconds, env.stopRequested)) {
        return stopped;
    }
    Int16 r1 = 0;
    if (const Int16 status = read(r1); env.stopping()) {
        return stopped;
    } else if (status != 0) {
        return readingFailed(status, code);
    }

    Int16 r2 = 0;
    if (upper || isBipolar(wRange)) {
        const long aim = long{wCalADVal} + (upper ? kMargin : -kMargin);
        if (!fits16(aim)) {
            return failed("the target " + std::to_string(wCalADVal) + " is too close to the " +
                          "end of the 16-bit range to approach it from 10 counts away");
        }
        const Int16 probe = upper ? kUpperProbe : kLowerProbe;
        write(probe);
        if (const Int16 status = read(r2); env.stopping()) {
            return stopped;
        } else if (status != 0) {
            return readingFailed(status, probe);
        }
        // The change of the reading over the 10 codes of the probe; moving into the range
        // from either end it must go the way the code goes (down from 0xFFFF, up from 0).
        const long change = long{r1} - long{r2};
        if (upper ? change <= 0 : change >= 0) {
            return failed("the readings " + std::to_string(r1) + " at code " + hex(code) + " and " +
                          std::to_string(r2) + " at code " + hex(probe) +
                          " do not follow the code, so no estimate can be made");
        }
        const double quotient = static_cast<double>(long{r1} - aim) / static_cast<double>(change);
        // Halves to even (the default rounding mode).
        double n = std::nearbyint(quotient);
        // 10 x n must stay a 16-bit value either way; past the far end of the half range, or
        // that far beyond the start code, no code reaches the target.
        if (std::fabs(n) > static_cast<double>(kMaxProbeSteps)) {
            const char* end = n > 0 ? (upper ? "8000" : "7FFF") : (upper ? "FFFF" : "0000");
            return failed("the readings " + std::to_string(r1) + " at code " + hex(code) + " and " +
                          std::to_string(r2) + " at code " + hex(probe) +
                          " put the target beyond code " + end);
        }
        // A negative estimate lies beyond the start code (the output there is already within
        // the margin of the target, or short of it): the search starts at the start code.
        if (n < 0) {
            n = 0;
        }
        const long steps = kProbeCodes * static_cast<long>(n);
        code = static_cast<Int16>(upper ? kUpperStart - steps : steps);
    }

    if (upper) {
        while (r2 > wCalADVal) {
            write(code);
            if (const Int16 status = read(r2); env.stopping()) {
                return stopped;
            } else if (status != 0) {
                return readingFailed(status, code);
            }
            if (code == kMin16) {
                return failed("the output does not come down to the target " +
                              std::to_string(wCalADVal) + " before code 8000 (it reads " +
                              std::to_string(r2) + " there)");
            }
            --code;
            env.table.setText(box, hex(code));
        }
    } else {
        while (r2 < wCalADVal) {
            write(code);
            if (const Int16 status = read(r2); env.stopping()) {
                return stopped;
            } else if (status != 0) {
                return readingFailed(status, code);
            }
            if (code == kMax16) {
                return failed("the output does not come up to the target " +
                              std::to_string(wCalADVal) + " before code 7FFF (it reads " +
                              std::to_string(r2) + " there)");
            }
            ++code;
            env.table.setText(box, hex(code));
        }
    }
    return EndPointResult{Outcome::Done, code, {}, false};
}

} // namespace autocal
