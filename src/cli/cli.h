#pragma once

#include "calfile/calfile_ops.h"
#include "card/driver.h"
#include "platform/clock.h"
#include "platform/event_pump.h"

#include <functional>
#include <ostream>
#include <string>
#include <vector>

// The command-line front end, mx4815cal-cli: the same operations as the window, driven by
// arguments, for calibrating many cards in a row and for a record of every calibration.
namespace cli {

// The exit codes of the program.
enum ExitCode : int {
    kSuccess = 0,
    kInputRefused = 1,   // an argument, a board number or a file was refused: the card untouched
    kCardFailure = 2,    // the card or the driver failed
    kOutOfTolerance = 3, // an as-left end point is outside the tolerance
};

// What main hands to the command line (the tests hand in doubles).
struct Services {
    card::Driver& driver;
    platform::Clock& clock;
    platform::EventPump& pump;
    calfile::FileStore& files;
    // True when stderr is a terminal: the progress line is then rewritten in place.
    bool stderrIsTerminal = false;
    // The date and time of now in UTC, "2024-05-01T13:45:07Z".
    std::function<std::string()> utcNow;
    // The program's version, for the calibration record.
    std::string version;
};

// Runs one command line (the arguments without the program name): prints the result on out
// (a table, or one JSON document with --json) and problems and progress on err, and gives
// the exit code.
int runCli(const std::vector<std::string>& args, Services& services, std::ostream& out,
           std::ostream& err);

} // namespace cli
