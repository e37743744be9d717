// The calibrate command: RELOAD, as found, the automatic calibration, as left, SAVE, and the
// calibration record.
#include "autocal/run.h"
#include "caldata/conversions.h"
#include "caldata/eeprom_ops.h"
#include "calfile/calfile_ops.h"
#include "card/facts.h"
#include "cli/invocation.h"
#include "cli/record.h"

#include <QJsonDocument>

#include <cstdio>

namespace cli {

namespace {

std::array<std::string, 2 * caldata::kInputBoxes> inputTexts(const caldata::CalibrationTable& t) {
    std::array<std::string, 2 * caldata::kInputBoxes> texts;
    for (int j = 0; j < caldata::kInputBoxes; ++j) {
        texts[static_cast<std::size_t>(2 * j)] = t.text(caldata::aiMax(j));
        texts[static_cast<std::size_t>(2 * j + 1)] = t.text(caldata::aiMin(j));
    }
    return texts;
}

// One pass of readings of the sixteen end points, shown as a step of the progress.
core::Status pass(const Invocation& inv, Workbench& bench, const std::string& step,
                  PointReadings& readings) {
    bench.progress.step(step);
    return measureEndPoints(
        bench.card.ctx, bench.card.acquisition, bench.card.table,
        [&](caldata::Field f) { bench.progress.endPoint(caldata::describe(f)); },
        inv.services.stopRequested, readings);
}

// The automatic calibration as START runs it, each point it works on shown as progress.
core::Result<autocal::RunOutcome> autoCalibrate(const Invocation& inv, Workbench& bench,
                                                autocal::RunTally& tally) {
    bench.progress.step("calibrating");
    autocal::Environment env{
        bench.card.ctx, bench.card.acquisition, bench.card.table, {}, inv.services.stopRequested,
        &tally};
    env.onEndPoint = [&](caldata::Field f) { bench.progress.endPoint(caldata::describe(f)); };
    return autocal::runAutoCal(env);
}

void printPoint(std::ostream& out, const Record& r, int i, const PointReading& p) {
    char text[64];
    if (!p.measured || !r.targetsKnown) {
        std::snprintf(text, sizeof text, "  %5s %6s %8s %-4s",
                      p.measured ? caldata::hexText16(p.code).c_str() : "-", "-", "-", "");
    } else {
        const int residual = p.reading - targetOf(r, i);
        std::snprintf(text, sizeof text, "  %5s %6d %8.3f %-4s", caldata::hexText16(p.code).c_str(),
                      residual, residual * millivoltsPerCount(i), passes(r, i, p) ? "ok" : "FAIL");
    }
    out << text;
}

void printSummary(std::ostream& out, const Record& r) {
    out << "Board " << r.board << ", register base " << hex32(r.registerBase) << ", references "
        << caldata::formatReference(r.ref10) << " V and " << caldata::formatReference(r.ref5)
        << " V, tolerance " << r.tolerance << " counts\n";
    out << "end point                      target    found  resid       mV        left  resid"
           "       mV\n";
    for (int i = 0; i < kEndPoints; ++i) {
        char head[64];
        std::snprintf(head, sizeof head, "%-30s %6s", caldata::describe(endPointField(i)).c_str(),
                      r.targetsKnown ? std::to_string(targetOf(r, i)).c_str() : "-");
        out << head;
        printPoint(out, r, i, r.asFound[static_cast<std::size_t>(i)]);
        printPoint(out, r, i, r.asLeft[static_cast<std::size_t>(i)]);
        out << "\n";
    }
    out << "input point                    found   left\n";
    for (int j = 0; j < caldata::kInputBoxes; ++j) {
        for (const bool upper : {true, false}) {
            const auto k = static_cast<std::size_t>(2 * j + (upper ? 0 : 1));
            char line[96];
            std::snprintf(line, sizeof line, "%-30s %5s  %5s",
                          caldata::describe(upper ? caldata::aiMax(j) : caldata::aiMin(j)).c_str(),
                          r.inputsFound[k].c_str(), r.inputsLeft[k].c_str());
            out << line << "\n";
        }
    }
    if (r.targetsKnown) {
        out << "As found: " << outOfTolerance(r, r.asFound) << " of " << kEndPoints
            << " end points out of tolerance. As left: " << outOfTolerance(r, r.asLeft) << " of "
            << kEndPoints << " out of tolerance. ";
    } else {
        out << "Not judged: the automatic calibration did not form its targets. ";
    }
    out << (r.saved ? "Saved into the EEPROM." : "Not saved.") << "\n";
    if (r.outcome != kCompleted) {
        out << "Outcome: " << r.outcome << ". " << r.message << "\n";
    }
}

core::Status checkFiles(const Invocation& inv) {
    if (const core::Status s = checkOutputFile(inv, "--out", inv.options.out); !s) {
        return s;
    }
    return checkOutputFile(inv, "--record", inv.options.record);
}

// The measurements and the run, into the record as they are taken.
core::Status measureAndCalibrate(const Invocation& inv, Workbench& bench, Record& r) {
    caldata::CalibrationTable& table = bench.card.table;
    table.setText(caldata::ref10(), caldata::formatReference(r.ref10));
    table.setText(caldata::ref5(), caldata::formatReference(r.ref5));
    if (const core::Status found = pass(inv, bench, "as found", r.asFound); !found) {
        return core::reword(found.failure(), found.kind() == core::Kind::Stopped
                                                 ? "Stopped during the as-found readings (" +
                                                       found.refusal() +
                                                       "): nothing was calibrated."
                                                 : "As-found reading failed: " + found.refusal());
    }
    const auto run = autoCalibrate(inv, bench, r.tally);
    if (!run) {
        return run.failure();
    }
    if (*run == autocal::RunOutcome::Stopped) {
        return core::refuse(core::Kind::Stopped, autocal::stopMessage(r.tally));
    }
    const auto targets = autocal::computeTargets(table);
    if (!targets) {
        return targets.failure();
    }
    r.targets = *targets;
    r.targetsKnown = true;
    if (const core::Status left = pass(inv, bench, "as left", r.asLeft); !left) {
        return core::reword(left.failure(), left.kind() == core::Kind::Stopped
                                                ? "Stopped during the as-left readings (" +
                                                      left.refusal() +
                                                      "): the new calibration was not saved."
                                                : "As-left reading failed: " + left.refusal());
    }
    r.inputsLeft = inputTexts(table);
    return {};
}

// SAVE when asked for and every as-left end point passed. A calibration with an end point
// out of tolerance is refused as such (never saved).
core::Status judgeAndSave(const Invocation& inv, Workbench& bench, Record& r) {
    if (const int out = outOfTolerance(r, r.asLeft); out > 0) {
        return core::refuse(core::Kind::Tolerance,
                            "As left, " + std::to_string(out) + " of " +
                                std::to_string(kEndPoints) +
                                " end points are outside the tolerance of " +
                                caldata::formatReference(static_cast<float>(r.tolerance)) +
                                " counts." + (inv.options.save ? " Not saved." : ""));
    }
    if (!inv.options.save) {
        return {};
    }
    const auto saved = caldata::Save(bench.card.ctx, bench.card.table);
    if (!saved) {
        return savedFailure(saved.failure());
    }
    r.saved = *saved == caldata::Saved::Written;
    return {};
}

// The EEPROM as it is after the calibration, into the record.
core::Status readBack(Workbench& bench, Record& r) {
    session::Context& ctx = bench.card.ctx;
    ctx.state.wErrCode = ctx.driver.Drvx_ReadEEP(bench.card.board(), r.after);
    if (ctx.state.wErrCode != 0) {
        return core::refuse(core::Kind::Card,
                            "The EEPROM could not be read back: Error Code=" +
                                std::to_string(ctx.state.wErrCode),
                            ctx.state.wErrCode);
    }
    r.afterKnown = true;
    return {};
}

Record startRecord(const Invocation& inv, Workbench& bench) {
    Record r;
    r.dateTimeUtc = inv.services.utcNow ? inv.services.utcNow() : "";
    r.programVersion = inv.services.version;
    r.board = bench.card.board();
    r.registerBase = bench.card.state.ActiveCardInfo.dwMemBase();
    r.ref10 = *inv.options.ref10;
    r.ref5 = *inv.options.ref5;
    r.tolerance = inv.options.tolerance;
    r.before = bench.card.state.dwEEPData;
    r.inputsFound = inputTexts(bench.card.table);
    return r;
}

std::string outcomeOf(const core::Status& s) {
    if (s) {
        return kCompleted;
    }
    switch (s.kind()) {
    case core::Kind::Tolerance:
        return kOutOfToleranceOutcome;
    case core::Kind::Stopped:
        return kStoppedOutcome;
    default:
        return kFailed;
    }
}

// The record and the exported table, written once the calibration has ended however it
// ended; the table only after a finished run. Gives the first failure to write.
core::Status writeFiles(const Invocation& inv, Workbench& bench, const std::string& json,
                        const core::Status& outcome) {
    if (!inv.options.record.empty()) {
        if (const core::Status w = inv.services.files.write(inv.options.record, json); !w) {
            return core::refuse(core::Kind::File, "--record: " + inv.options.record + ": " +
                                                      w.refusal() +
                                                      " The record is printed instead.");
        }
    }
    const bool finished = outcome || outcome.kind() == core::Kind::Tolerance;
    if (!inv.options.out.empty() && finished) {
        const auto exported =
            calfile::exportCalibration(bench.card.table, inv.services.files, inv.options.out);
        if (!exported) {
            return core::refuse(core::Kind::File, "--out: " + exported.refusal());
        }
    }
    return {};
}

} // namespace

int runCalibrate(const Invocation& inv) {
    if (!inv.options.boards.empty()) {
        return runCalibrateSeveral(inv);
    }
    if (const core::Status s = checkFiles(inv); !s) {
        return fail(inv, s.failure());
    }
    Workbench bench(inv, kRunSeconds + 2 * kPassSeconds);
    if (const core::Status reloaded = reloadBoard(inv, bench); !reloaded) {
        return fail(inv, reloaded.failure());
    }
    Record r = startRecord(inv, bench);
    core::Status outcome = measureAndCalibrate(inv, bench, r);
    if (outcome) {
        outcome = judgeAndSave(inv, bench, r);
    }
    if (const core::Status read = readBack(bench, r); !read && outcome) {
        outcome = read;
    }
    bench.progress.finish();
    r.outcome = outcomeOf(outcome);
    r.message = outcome.refusal();
    QJsonObject record = recordJson(r);
    const std::string json = QJsonDocument(record).toJson(QJsonDocument::Indented).toStdString();
    const core::Status written = writeFiles(inv, bench, json, outcome);
    const core::Refusal failure = !outcome ? outcome.failure() : written.failure();
    const int code = !outcome || !written ? exitCode(failure.kind) : kSuccess;
    if (!outcome) {
        inv.err << "mx4815cal-cli: " << outcome.refusal() << "\n";
    }
    if (!written) {
        inv.err << "mx4815cal-cli: " << written.refusal() << "\n";
    }
    if (inv.options.json || !written) {
        record["exitCode"] = code;
        inv.out << QJsonDocument(record).toJson(QJsonDocument::Indented).toStdString();
    } else {
        printSummary(inv.out, r);
    }
    return code;
}

} // namespace cli
