#pragma once

#include "calfile/calfile_ops.h"
#include "card/driver.h"
#include "core/result.h"
#include "journal/history_journal.h"
#include "platform/clock.h"
#include "platform/event_pump.h"
#include "session/board_lock.h"

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

// The command-line front end, mx4815cal-cli: the same operations as the window, driven by
// arguments, for calibrating many cards in a row and for a record of every calibration.
namespace cli {

// The exit codes of the program, each following from the kind of failure (exitCode()).
enum ExitCode : int {
    kSuccess = 0,
    kInputRefused = 1,   // an argument, a board number or a file was refused: the card untouched
    kCardFailure = 2,    // the card or the driver failed
    kOutOfTolerance = 3, // an as-left end point is outside the tolerance
    kStopped = 4,        // Ctrl-C or a termination stopped the work at a yield
    kBoardBusy = 5,      // another program holds the board: the card untouched
    kFileFailure = 6,    // a file could not be written after the card was worked on
    kHistoryFailure = 7, // the calibration history could not keep the record of a change
};

// The one place that turns a failure's kind into the exit code.
int exitCode(core::Kind kind);

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
    // The boards held against other programs; none: nothing to keep out (tests).
    session::BoardLocks* locks = nullptr;
    // True once Ctrl-C or a termination asked the command to stop.
    std::function<bool()> stopRequested = {};
    // True for the files of the card backend (the simulated cards' file), which no output may
    // write over.
    std::function<bool(const std::string&)> backendFile = {};
    // Runs the command lines as programs of their own, at most jobs at once, each line a
    // program writes to stderr handed to onErrLine (with the index of its command line) as it
    // comes; gives each one's exit code and what it wrote to stdout. Not set: the command
    // lines run here, one after another.
    struct Child {
        int exitCode = -1;
        std::string out;
    };
    using ErrLine = std::function<void(std::size_t, const std::string&)>;
    std::function<std::vector<Child>(const std::vector<std::vector<std::string>>& commandLines,
                                     int jobs, const ErrLine& onErrLine)>
        runChildren = {};
    // The record of every EEPROM change, in the calibration history the station names. None:
    // nothing is recorded and history has nothing to show (tests of other things).
    journal::HistoryJournal* journal = nullptr;
    // The station file that station shows and sets; empty: journal::stationPath().
    std::string stationFile = {};
};

// The answer to a command line that needs no card: the exit code after the refusal of its
// arguments (in JSON too when --json is among them) or after its help text; nothing when the
// command is to run.
std::optional<int> answerWithoutCard(const std::vector<std::string>& args, std::ostream& out,
                                     std::ostream& err);

// Runs one command line (the arguments without the program name): prints the result on out
// (a table, or one JSON document with --json) and problems and progress on err, and gives
// the exit code.
int runCli(const std::vector<std::string>& args, Services& services, std::ostream& out,
           std::ostream& err);

} // namespace cli
