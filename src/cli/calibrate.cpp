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
core::Result<PointReadings> pass(Workbench& bench, const std::string& step) {
    bench.progress.step(step);
    return measureEndPoints(
        bench.card.ctx, bench.card.acquisition, bench.card.table,
        [&](caldata::Field f) { bench.progress.endPoint(caldata::describe(f)); });
}

// The automatic calibration as START runs it, each point it works on shown as progress.
core::Result<autocal::RunOutcome> autoCalibrate(Workbench& bench) {
    bench.progress.step("calibrating");
    autocal::Environment env{bench.card.ctx, bench.card.acquisition, bench.card.table, {}, {}};
    env.onEndPoint = [&](caldata::Field f) { bench.progress.endPoint(caldata::describe(f)); };
    return autocal::runAutoCal(env);
}

void printPoint(std::ostream& out, const Record& r, int i, const PointReading& p) {
    char text[64];
    const int residual = p.reading - targetOf(r, i);
    std::snprintf(text, sizeof text, "  %5s %6d %8.3f %-4s", caldata::hexText16(p.code).c_str(),
                  residual, residual * millivoltsPerCount(i), passes(r, i, p) ? "ok" : "FAIL");
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
        std::snprintf(head, sizeof head, "%-30s %6d", caldata::describe(endPointField(i)).c_str(),
                      targetOf(r, i));
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
    out << "As found: " << outOfTolerance(r, r.asFound) << " of 16 end points out of tolerance. "
        << "As left: " << outOfTolerance(r, r.asLeft) << " of 16 out of tolerance. "
        << (r.saved ? "Saved into the EEPROM." : "Not saved.") << "\n";
}

core::Status checkFiles(const Invocation& inv) {
    if (const core::Status s = checkOutputFile(inv, "--out", inv.options.out); !s) {
        return s;
    }
    return checkOutputFile(inv, "--record", inv.options.record);
}

// The measurements and the run, into the record; gives the exit code of a failure, or 0.
int measureAndCalibrate(const Invocation& inv, Workbench& bench, Record& r) {
    caldata::CalibrationTable& table = bench.card.table;
    table.setText(caldata::ref10(), caldata::formatReference(r.ref10));
    table.setText(caldata::ref5(), caldata::formatReference(r.ref5));
    const auto found = pass(bench, "as found");
    if (!found) {
        return fail(inv, kCardFailure, "As-found reading failed: " + found.refusal());
    }
    r.asFound = *found;
    const auto run = autoCalibrate(bench);
    if (!run) {
        return fail(inv, kCardFailure, run.refusal());
    }
    const auto targets = autocal::computeTargets(table);
    if (!targets) {
        return fail(inv, kCardFailure, targets.refusal());
    }
    r.targets = *targets;
    const auto left = pass(bench, "as left");
    if (!left) {
        return fail(inv, kCardFailure, "As-left reading failed: " + left.refusal());
    }
    r.asLeft = *left;
    r.inputsLeft = inputTexts(table);
    return kSuccess;
}

// SAVE when asked for and every as-left end point passed, then the EEPROM as it now is.
int saveAndReadBack(const Invocation& inv, Workbench& bench, Record& r) {
    session::Context& ctx = bench.card.ctx;
    if (inv.options.save && outOfTolerance(r, r.asLeft) == 0) {
        const auto saved = caldata::Save(ctx, bench.card.table);
        if (!saved || *saved != caldata::Saved::Written) {
            return fail(inv, kCardFailure, "SAVE failed: " + saved.refusal());
        }
        r.saved = true;
    } else if (inv.options.save) {
        inv.err << "mx4815cal-cli: not saved: " << outOfTolerance(r, r.asLeft)
                << " end points are out of tolerance as left.\n";
    }
    ctx.state.wErrCode = ctx.driver.Drvx_ReadEEP(bench.card.board(), r.after);
    if (ctx.state.wErrCode != 0) {
        return fail(inv, kCardFailure,
                    "The EEPROM could not be read back: Error Code=" +
                        std::to_string(ctx.state.wErrCode));
    }
    return kSuccess;
}

} // namespace

int runCalibrate(const Invocation& inv) {
    if (const core::Status s = checkFiles(inv); !s) {
        return fail(inv, kInputRefused, s.refusal());
    }
    Workbench bench(inv, kRunSeconds + 2 * kPassSeconds);
    if (const int e = reloadBoard(inv, bench); e != kSuccess) {
        return e;
    }
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
    int e = measureAndCalibrate(inv, bench, r);
    if (e == kSuccess) {
        e = saveAndReadBack(inv, bench, r);
    }
    bench.progress.finish();
    if (e != kSuccess) {
        return e;
    }
    const QJsonObject record = recordJson(r);
    const std::string json = QJsonDocument(record).toJson(QJsonDocument::Indented).toStdString();
    if (!inv.options.record.empty()) {
        if (const core::Status w = inv.services.files.write(inv.options.record, json); !w) {
            return fail(inv, kInputRefused, "--record: " + inv.options.record + ": " + w.refusal());
        }
    }
    if (!inv.options.out.empty()) {
        const auto exported =
            calfile::exportCalibration(bench.card.table, inv.services.files, inv.options.out);
        if (!exported) {
            return fail(inv, kInputRefused, "--out: " + exported.refusal());
        }
    }
    if (inv.options.json) {
        inv.out << json;
    } else {
        printSummary(inv.out, r);
    }
    return outOfTolerance(r, r.asLeft) == 0 ? kSuccess : kOutOfTolerance;
}

} // namespace cli
