#include "cli/record.h"

#include "autocal/wait.h"
#include "caldata/conversions.h"
#include "card/facts.h"
#include "manual/output_trim.h"
#include "record/budget.h"
#include "record/fingerprint.h"

#include <cstdio>

namespace cli {

namespace {

const card::OutputBoxFacts& boxFacts(int i) {
    return card::kOutputBoxes[static_cast<std::size_t>(i / 2)];
}

// A pause of the pass: false when a stop was asked for.
bool settle(session::Context& ctx, const PassControl& control) {
    autocal::WaitSeconds(ctx.clock, ctx.pump, autocal::kSettleSeconds, control.stopRequested);
    return !(control.stopRequested && control.stopRequested());
}

// repeats readings of source in gain into p.readings.
core::Status readRepeatedly(session::Context& ctx, card::Acquisition& acquisition,
                            card::Int16 board, card::Source source, card::Gain gain,
                            caldata::Field box, int repeats, PointReading& p) {
    std::vector<card::Int16> readings;
    for (int n = 0; n < repeats; ++n) {
        card::Int16 reading = 0;
        const card::Int16 status = acquisition.MX4815_Get_AutoCal_Data(board, card::code(source),
                                                                       card::code(gain), reading);
        ctx.state.wErrCode = status;
        if (status != 0) {
            return core::refuse(core::Kind::Card,
                                caldata::describe(box) +
                                    ": the read-back failed: " + card::readingMessage(status),
                                status);
        }
        readings.push_back(reading);
    }
    p.readings = std::move(readings);
    return {};
}

card::Int16 boardOf(const session::Context& ctx) {
    return static_cast<card::Int16>(std::stoi(ctx.activeBoardText()));
}

std::optional<record::PointResult> judged(record::Pass pass, card::Int16 target,
                                          const PointReading& p, record::UncertaintyBudget budget,
                                          double voltsPerCount, const record::Tolerance& t,
                                          record::DecisionRule rule) {
    auto rb = record::summarise(p.readings);
    if (!rb) {
        return std::nullopt;
    }
    return record::assess(pass, target, *rb, std::move(budget), voltsPerCount, t, rule);
}

} // namespace

caldata::Field endPointField(int i) {
    return i % 2 == 0 ? caldata::aoMax(i / 2) : caldata::aoMin(i / 2);
}

caldata::Field inputPointField(int k) {
    return k % 2 == 0 ? caldata::aiMax(k / 2) : caldata::aiMin(k / 2);
}

core::Status measureEndPoints(session::Context& ctx, card::Acquisition& acquisition,
                              caldata::CalibrationTable& table, const PassControl& control,
                              PointReadings& readings) {
    const card::Int16 board = boardOf(ctx);
    for (int i = 0; i < kEndPoints; ++i) {
        const caldata::Field box = endPointField(i);
        if (control.onPoint) {
            control.onPoint(box);
        }
        const auto code = caldata::parseCode(table.text(box));
        if (!code) {
            return core::refuse(caldata::describe(box) + ": " + code.refusal());
        }
        manual::outputChanged(ctx, table, box);
        if (!settle(ctx, control)) {
            return core::refuse(core::Kind::Stopped, "stopped at " + caldata::describe(box));
        }
        const card::OutputBoxFacts& facts = boxFacts(i);
        PointReading& p = readings[static_cast<std::size_t>(i)];
        p.code = *code;
        if (const core::Status s =
                readRepeatedly(ctx, acquisition, board, card::outputSource(facts.channel),
                               facts.rangeFacts().readBack, box, control.repeats, p);
            !s) {
            return s;
        }
    }
    return {};
}

core::Status measureInputPoints(session::Context& ctx, card::Acquisition& acquisition,
                                const caldata::CalibrationTable& table, const PassControl& control,
                                InputReadings& readings) {
    const card::Int16 board = boardOf(ctx);
    const card::OutputRangeFacts& uni5 = card::facts(card::OutputRange::Unipolar5V);
    const int uni5Box = card::outputBoxIndex(0, card::OutputRange::Unipolar5V);
    for (int k = 0; k < kInputPoints; ++k) {
        const caldata::Field box = inputPointField(k);
        const card::InputRangeFacts& range = card::kInputRanges[static_cast<std::size_t>(k / 2)];
        const bool upper = k % 2 == 0;
        if (control.onPoint) {
            control.onPoint(box);
        }
        const auto code = caldata::parseCode(table.text(box));
        if (!code) {
            return core::refuse(caldata::describe(box) + ": " + code.refusal());
        }
        const card::Source source = upper ? range.upperSource : card::Source::ZeroVolts;
        if (source == card::Source::Output0) {
            // As the run measures it: CH0 Unipolar 5V at the fraction of its +5 V code.
            const auto plus5 = caldata::parseCode(table.text(caldata::aoMax(uni5Box)));
            if (!plus5) {
                return core::refuse(caldata::describe(caldata::aoMax(uni5Box)) + ": " +
                                    plus5.refusal());
            }
            ctx.state.wErrCode = ctx.driver.Drvx_ConfigAO(board, 0, uni5.rangeCode);
            ctx.state.wErrCode = ctx.driver.Drvx_WriteAOVoltageH(
                board, 0, autocal::scaledCode(*plus5, range.upperVolts / uni5.high));
            if (!settle(ctx, control)) {
                return core::refuse(core::Kind::Stopped, "stopped at " + caldata::describe(box));
            }
        }
        PointReading& p = readings[static_cast<std::size_t>(k)];
        p.code = *code;
        if (const core::Status s = readRepeatedly(ctx, acquisition, board, source, range.gain, box,
                                                  control.repeats, p);
            !s) {
            return s;
        }
    }
    return {};
}

record::CalibrationRecord calibrationRecord(const Record& r) {
    record::CalibrationRecord c;
    c.id = r.id;
    c.outcome = r.outcome;
    c.message = r.message;
    c.startUtc = r.startUtc;
    c.endUtc = r.endUtc;
    c.station = r.station;
    c.meterUsedPastDue = r.meterUsedPastDue;
    c.board = r.board;
    c.registerBase = r.registerBase;
    c.cardFingerprint = record::cardFingerprint(r.before);
    c.procedure = "MX-4815 automatic calibration against the on-board references";
    c.procedureVersion = "1";
    c.program = r.program;
    c.programVersion = r.programVersion;
    c.repeats = r.repeats;
    c.calibratedEndPoints = r.tally.endPoints;
    c.calibratedInputPoints = r.tally.inputPoints;
    c.environment = r.environment;
    // The voltages as the table shows them, not the nearest single-precision numbers.
    c.ref10Volts = std::stod(caldata::formatReference(r.ref10));
    c.ref5Volts = std::stod(caldata::formatReference(r.ref5));
    c.rule = r.rule;
    for (auto& t : c.tolerances.outputRanges) {
        t = record::Tolerance{r.tolerance, record::Unit::Counts};
    }
    for (auto& t : c.tolerances.inputRanges) {
        t = record::Tolerance{r.tolerance, record::Unit::Counts};
    }
    const std::optional<record::MeterUncertainty> meter =
        r.station.meter ? r.station.meter->uncertainty : std::nullopt;
    for (int i = 0; i < kEndPoints; ++i) {
        const auto k = static_cast<std::size_t>(i);
        record::OutputPoint o;
        o.box = i / 2;
        o.upper = i % 2 == 0;
        o.codeFound = r.asFound[k].measured() ? std::optional(r.asFound[k].code) : std::nullopt;
        o.codeLeft = r.asLeft[k].measured() ? std::optional(r.asLeft[k].code) : std::nullopt;
        o.readingsFound = r.asFound[k].readings;
        o.readingsLeft = r.asLeft[k].readings;
        if (r.targets) {
            const record::EndPointSetup setup{o.box,        o.upper,     *r.targets,
                                              c.ref10Volts, c.ref5Volts, std::nullopt};
            const card::Int16 target = record::targetOf(setup);
            o.targetCode = target;
            const double vpc = record::voltsPerCount(setup);
            const record::Tolerance& t = c.tolerances.outputRanges[static_cast<std::size_t>(
                card::kOutputBoxes[static_cast<std::size_t>(o.box)].range)];
            for (const auto& [pass, reading, into] :
                 {std::tuple{record::Pass::AsFound, &r.asFound[k], &o.asFound},
                  std::tuple{record::Pass::AsLeft, &r.asLeft[k], &o.asLeft}}) {
                const auto rb = record::summarise(reading->readings);
                if (rb) {
                    *into = judged(pass, target, *reading,
                                   record::endPointBudget(setup, *rb, meter), vpc, t, c.rule);
                }
            }
        }
        c.outputs.push_back(std::move(o));
    }
    for (int k = 0; k < kInputPoints; ++k) {
        const auto n = static_cast<std::size_t>(k);
        const int j = k / 2;
        const card::Gain gain = card::kInputRanges[static_cast<std::size_t>(j)].gain;
        record::InputPoint p;
        p.range = j;
        p.upper = k % 2 == 0;
        const record::Tolerance& t = c.tolerances.inputRanges[static_cast<std::size_t>(j)];
        for (const auto& [pass, reading, code, into] :
             {std::tuple{record::Pass::AsFound, &r.inputsFound[n], &p.codeFound, &p.asFound},
              std::tuple{record::Pass::AsLeft, &r.inputsLeft[n], &p.codeLeft, &p.asLeft}}) {
            const auto rb = record::summarise(reading->readings);
            if (!rb) {
                continue;
            }
            *code = reading->code;
            *into = judged(pass, reading->code, *reading, record::inputPointBudget(gain, *rb),
                           record::voltsPerCount(gain), t, c.rule);
        }
        c.inputs.push_back(std::move(p));
    }
    c.saved = r.saved;
    c.eepromBefore = r.before;
    c.eepromAfter = r.after;
    return c;
}

std::string hex32(std::uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", v);
    return buf;
}

} // namespace cli
