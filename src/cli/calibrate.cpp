// The calibrate command: RELOAD, as found, the automatic calibration, as left, SAVE, and the
// calibration record.
#include "autocal/run.h"
#include "caldata/conversions.h"
#include "caldata/eeprom_ops.h"
#include "calfile/calfile_ops.h"
#include "card/facts.h"
#include "cli/invocation.h"
#include "cli/record.h"
#include "record/record_json.h"

#include <QJsonDocument>
#include <QUuid>

#include <cstdio>

namespace cli {

namespace {

// One pass of readings, the sixteen end points and then the twelve input points, shown as a
// step of the progress.
core::Status pass(const Invocation& inv, Workbench& bench, const std::string& step,
                  PointReadings& outputs, InputReadings& inputs) {
    bench.progress.step(step);
    const PassControl control{
        [&](caldata::Field f) { bench.progress.endPoint(caldata::describe(f)); },
        inv.services.stopRequested, inv.options.repeats};
    if (const core::Status s = measureEndPoints(bench.card.ctx, bench.card.acquisition,
                                                bench.card.table, control, outputs);
        !s) {
        return s;
    }
    return measureInputPoints(bench.card.ctx, bench.card.acquisition, bench.card.table, control,
                              inputs);
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

std::string figure(const char* format, double v) {
    char text[32];
    std::snprintf(text, sizeof text, format, v);
    return text;
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
    if (const core::Status found = pass(inv, bench, "as found", r.asFound, r.inputsFound); !found) {
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
    if (const core::Status left = pass(inv, bench, "as left", r.asLeft, r.inputsLeft); !left) {
        return core::reword(left.failure(), left.kind() == core::Kind::Stopped
                                                ? "Stopped during the as-left readings (" +
                                                      left.refusal() +
                                                      "): the new calibration was not saved."
                                                : "As-left reading failed: " + left.refusal());
    }
    return {};
}

std::string utcNow(const Invocation& inv) {
    return inv.services.utcNow ? inv.services.utcNow() : "";
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

std::string sealedText(const Record& r) {
    return QJsonDocument(record::sealedRecordJson(calibrationRecord(r)))
        .toJson(QJsonDocument::Compact)
        .toStdString();
}

// The journal of the SAVE of a calibration: the change is recorded with the calibration's
// record as it stands when SAVE writes, and completed with the record as the SAVE ended it.
class CalibrationJournal : public session::Journal {
public:
    CalibrationJournal(session::Journal& inner, const Invocation& inv, Record& r)
        : inner_(inner), inv_(inv), r_(r) {}
    core::Result<std::string> begin(const session::ChangeStart& change) override {
        auto id = inner_.begin(change);
        begun = static_cast<bool>(id);
        return id;
    }
    core::Status end(const std::string& id, const session::ChangeEnd& ending) override {
        session::ChangeEnd e = ending;
        r_.saved = ending.written;
        r_.after = ending.after;
        r_.endUtc = utcNow(inv_);
        if (!ending.written) {
            r_.outcome = kFailed;
            r_.message = ending.message;
        }
        e.details = sealedText(r_);
        return inner_.end(id, e);
    }

    bool begun = false; // the history holds SAVE's record of the calibration

private:
    session::Journal& inner_;
    const Invocation& inv_;
    Record& r_;
};

// SAVE when asked for and every as-left end point is accepted under the rule. A
// calibration with an end point not accepted is refused as such (never saved). Gives whether
// the history holds the calibration's record (through SAVE's own).
core::Status judgeAndSave(const Invocation& inv, Workbench& bench, Record& r, bool& recorded) {
    const record::ConformitySummary judged = record::conformity(calibrationRecord(r));
    if (!judged.endPointsAccepted) {
        const int notAccepted =
            judged.outputsLeft.notAccepted + (kEndPoints - judged.outputsLeft.measured);
        return core::refuse(
            core::Kind::Tolerance,
            "As left, " + std::to_string(notAccepted) + " of " + std::to_string(kEndPoints) +
                " end points are not accepted under the rule " +
                std::string(record::ruleName(r.rule)) + " (tolerance " + figure("%g", r.tolerance) +
                " counts)." + (inv.options.save ? " Not saved." : ""));
    }
    if (!inv.options.save) {
        return {};
    }
    session::Context& ctx = bench.card.ctx;
    session::Journal* outer = ctx.journal;
    std::optional<CalibrationJournal> journal;
    if (outer != nullptr) {
        journal.emplace(*outer, inv, r);
        ctx.journal = &*journal;
    }
    // The record as SAVE writes it: completed and about to be saved.
    ctx.state.valuesSource.kind = session::ValuesSource::Kind::AutomaticRun;
    ctx.state.valuesSource.reference10V = std::stod(caldata::formatReference(r.ref10));
    ctx.state.valuesSource.reference5V = std::stod(caldata::formatReference(r.ref5));
    r.endUtc = utcNow(inv);
    ctx.state.valuesSource.details = sealedText(r);
    const auto saved = caldata::Save(ctx, bench.card.table);
    ctx.journal = outer;
    recorded = journal && journal->begun;
    if (!saved) {
        return savedFailure(saved.failure());
    }
    r.saved = *saved == caldata::Saved::Written;
    return {};
}

// The EEPROM as it is after the calibration, into the record.
core::Status readBack(Workbench& bench, Record& r) {
    session::Context& ctx = bench.card.ctx;
    card::EepImage after{};
    ctx.state.wErrCode = ctx.driver.Drvx_ReadEEP(bench.card.board(), after);
    if (ctx.state.wErrCode != 0) {
        return core::refuse(core::Kind::Card,
                            "The EEPROM could not be read back: Error Code=" +
                                std::to_string(ctx.state.wErrCode),
                            ctx.state.wErrCode);
    }
    r.after = after;
    return {};
}

// A calibration that wrote nothing is kept in the history too, with its record.
core::Status recordWithoutWrite(const Invocation& inv, Workbench& bench, const Record& r,
                                const std::string& text) {
    session::Journal* journal = bench.card.ctx.journal;
    if (journal == nullptr) {
        return {};
    }
    session::ValuesSource source;
    source.kind = session::ValuesSource::Kind::AutomaticRun;
    source.reference10V = std::stod(caldata::formatReference(r.ref10));
    source.reference5V = std::stod(caldata::formatReference(r.ref5));
    source.details = text;
    const auto id = journal->begin(session::ChangeStart{bench.card.board(), r.before, source});
    if (!id) {
        return id.failure();
    }
    session::ChangeEnd ending;
    ending.unchanged = true;
    ending.message = r.outcome == kCompleted ? "not asked to save" : r.message;
    ending.after = r.after;
    (void)inv;
    return journal->end(*id, ending);
}

Record startRecord(const Invocation& inv, Workbench& bench, const record::Station& station) {
    Record r;
    r.id = QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString();
    r.startUtc = utcNow(inv);
    r.program = "mx4815cal-cli calibrate";
    r.programVersion = inv.services.version;
    r.station = station;
    // The record says the meter was used past its due date only when it was.
    const auto today = record::dateOfUtc(r.startUtc);
    r.meterUsedPastDue = inv.options.meterPastDue && today &&
                         record::dueState(station, *today) == record::DueState::PastDue;
    r.board = bench.card.board();
    r.registerBase = bench.card.state.ActiveCardInfo.dwMemBase();
    r.ref10 = *inv.options.ref10;
    r.ref5 = *inv.options.ref5;
    r.tolerance = inv.options.tolerance;
    r.repeats = inv.options.repeats;
    r.rule = record::parseDecisionRule(inv.options.decision).value_or(record::kDefaultDecisionRule);
    r.environment.temperatureCelsius = inv.options.temperature;
    r.environment.relativeHumidityPercent = inv.options.humidity;
    r.before = bench.card.state.dwEEPData;
    return r;
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

// The station's facts, and with --save the meter's due date checked: nothing reaches the
// card with a meter past its due date unless the technician says it was used anyway.
core::Result<record::Station> stationFor(const Invocation& inv) {
    record::Station station;
    if (inv.services.journal != nullptr) {
        station = inv.services.journal->settings().station;
        station.operatorName = journal::operatorOf(inv.services.journal->settings());
    }
    const auto today = record::dateOfUtc(utcNow(inv));
    if (inv.options.save && today) {
        if (const core::Status s =
                record::meterMayBeUsed(station, *today, inv.options.meterPastDue);
            !s) {
            return core::refuse(s.refusal() + " Nothing was done.");
        }
    }
    return station;
}

} // namespace

int runCalibrate(const Invocation& inv) {
    if (!inv.options.boards.empty()) {
        return runCalibrateSeveral(inv);
    }
    if (const core::Status s = checkFiles(inv); !s) {
        return fail(inv, s.failure());
    }
    const auto station = stationFor(inv);
    if (!station) {
        return fail(inv, station.failure());
    }
    Workbench bench(inv, kRunSeconds + 2 * passSeconds(inv.options.repeats));
    if (const core::Status reloaded = reloadBoard(inv, bench); !reloaded) {
        return fail(inv, reloaded.failure());
    }
    Record r = startRecord(inv, bench, *station);
    core::Status outcome = measureAndCalibrate(inv, bench, r);
    bool recorded = false;
    if (outcome) {
        outcome = judgeAndSave(inv, bench, r, recorded);
    }
    if (const core::Status read = readBack(bench, r); !read && outcome) {
        outcome = read;
    }
    bench.progress.finish();
    r.outcome = outcomeOf(outcome);
    r.message = outcome.refusal();
    r.endUtc = utcNow(inv);
    const record::CalibrationRecord c = calibrationRecord(r);
    QJsonObject document = record::sealedRecordJson(c);
    const std::string json = QJsonDocument(document).toJson(QJsonDocument::Indented).toStdString();
    core::Status written = writeFiles(inv, bench, json, outcome);
    if (!recorded) {
        const core::Status kept = recordWithoutWrite(
            inv, bench, r, QJsonDocument(document).toJson(QJsonDocument::Compact).toStdString());
        if (!kept && written) {
            written = core::refuse(core::Kind::History,
                                   "The calibration's record could not be kept in the history: " +
                                       kept.refusal());
        }
    }
    const core::Refusal failure = !outcome ? outcome.failure() : written.failure();
    const int code = !outcome || !written ? exitCode(failure.kind) : kSuccess;
    if (!outcome) {
        inv.err << "mx4815cal-cli: " << outcome.refusal() << "\n";
    }
    if (!written) {
        inv.err << "mx4815cal-cli: " << written.refusal() << "\n";
    }
    if (inv.options.json || !written) {
        document["exitCode"] = code;
        inv.out << QJsonDocument(document).toJson(QJsonDocument::Indented).toStdString();
    } else {
        printSummary(inv.out, r, c);
    }
    return code;
}

} // namespace cli
