#pragma once

#include "caldata/table.h"
#include "cli/card_session.h"
#include "cli/cli.h"
#include "cli/options.h"
#include "cli/progress.h"
#include "core/result.h"
#include "history/store.h"
#include "journal/station_file.h"
#include "report/certificate.h"
#include "trend/interval.h"

#include <QJsonObject>

#include <ostream>
#include <string>

namespace cli {

// One command being carried out: what main handed in, the options and the two streams.
struct Invocation {
    Services& services;
    const Options& options;
    std::ostream& out;
    std::ostream& err;
};

// Ends a command with a failure: one line on stderr (and with --json the document
// {"error": ..., "kind": ..., "exitCode": ...} on stdout); gives the exit code of its kind.
int fail(const Invocation& inv, const core::Refusal& failure);
int failWith(std::ostream& out, std::ostream& err, bool json, const core::Refusal& failure,
             QJsonObject doc = {});

// SAVE's refusal as the command line shows it: "SAVE failed: " before a text that does not
// name SAVE itself.
core::Refusal savedFailure(const core::Refusal& failure);

// The name of a failure's kind in JSON: "input", "card", "file", "tolerance", "stopped",
// "busy".
std::string kindName(core::Kind kind);

// Prints a JSON document on stdout.
void printJson(const Invocation& inv, const QJsonObject& document);

// The board of --board, with everything needed to work on it, and the progress display.
struct Workbench {
    Workbench(const Invocation& inv, double mandatedSeconds);
    CliPrompts prompts;
    Progress progress;
    ProgressPump pump;
    CardSession card;
};

// The start-up card search, the check that --board names a card that was found (and whose
// card information could be read), and the board taken from other programs for the rest of
// the command.
core::Status findBoard(const Invocation& inv, Workbench& bench);

// findBoard, then RELOAD of the board.
core::Status reloadBoard(const Invocation& inv, Workbench& bench);

// A file the command will write (--out, --record), checked before anything reaches the card:
// refused when it cannot be read (so that nothing else it holds would be lost), when it is
// the simulated cards' own file, or when it could not be replaced (FileStore::probe).
core::Status checkOutputFile(const Invocation& inv, const std::string& option,
                             const std::string& name);

// The calibration table as text (one box a line) and as JSON (sections and keys of the
// calibration file).
void printTable(std::ostream& out, const caldata::CalibrationTable& table);
QJsonObject tableJson(const caldata::CalibrationTable& table);

int runList(const Invocation& inv);
int runRead(const Invocation& inv);
int runCalibrate(const Invocation& inv);
// calibrate --boards: each board in a program of its own, at the same time (calibrate_many.cpp).
int runCalibrateSeveral(const Invocation& inv);
int runWrite(const Invocation& inv);
int runRecover(const Invocation& inv);
// The station's settings and the calibration history (history_commands.cpp).
int runStation(const Invocation& inv);
int runHistory(const Invocation& inv);
int runCertificate(const Invocation& inv);
// history --drift --card FINGERPRINT | --board N (drift_command.cpp): the card's calibrations,
// each end point's drift between them, the end points at risk and the next due date.
int runDrift(const Invocation& inv, history::Store& store);
// station --interval START_DAYS,EXTEND,SHORTEN[,MIN_DAYS,MAX_DAYS] (empty: the defaults),
// refused naming the setting that cannot serve; and the interval's settings as a sentence.
core::Status applyInterval(journal::Settings& settings, const std::string& value);
std::string intervalText(const trend::IntervalPolicy& policy);
// The drift of a record's card over its calibrations up to that record, and (when the
// station says the customer agreed to it) the next due date, for the record's certificate.
struct CertificateTrend {
    std::vector<report::DriftRow> rows; // empty: fewer than two calibrations
    std::string span;
    std::string nextDue;
};
CertificateTrend certificateTrend(const Invocation& inv, history::Store& store,
                                  const history::Entry& record);

} // namespace cli
