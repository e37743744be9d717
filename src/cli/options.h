#pragma once

#include "card/types.h"
#include "core/result.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

enum class Command { None, List, Read, Calibrate, Write, Recover, Station, History, Certificate };

// What history does: list the records, show one, or verify every seal.
enum class HistoryAction { List, Show, Verify };

// One command line, checked for form: every value is of its kind, every option belongs to
// the command. Whether the board exists and the files can be read is checked later.
// The read-backs of each point when --repeats is not given: two keep a whole calibrate on
// the simulated card under two minutes (117.5 s measured; three took 121.5 s), and give the
// repeatability its first degree of freedom.
inline constexpr int kDefaultRepeats = 2;

struct Options {
    Command command = Command::None;
    bool help = false;
    bool simulate = false;
    int cards = 1;
    bool json = false;
    bool quiet = false;
    bool save = false;
    std::optional<card::Int16> board;
    std::vector<card::Int16> boards; // calibrate --boards: several boards at once
    std::string refs;                // calibrate --refs: each board's references
    int jobs = 0;                    // calibrate --jobs: boards at once (0: all)
    std::optional<float> ref10;
    std::optional<float> ref5;
    std::string out;
    std::string in;
    std::string record;
    double tolerance = 2.0; // read-back counts
    // calibrate: the read-backs of each point, the decision rule, the conditions, and the
    // technician's word that the meter was used past its due date.
    int repeats = kDefaultRepeats;
    std::string decision = "ilac-g8-guard-band";
    std::optional<double> temperature;
    std::optional<double> humidity;
    bool meterPastDue = false;
    // write --from-history: the record whose EEPROM image is put back.
    std::string fromHistory;
    // history: what it does, the record of show, and the filters of the listing.
    HistoryAction historyAction = HistoryAction::List;
    std::string recordId;
    std::string card;   // a card fingerprint, or the start of one
    std::string since;  // YYYY-MM-DD
    bool drift = false; // history --drift: a card's drift and next due date
    std::string plot;   // history --drift --plot FILE.png: the drift as a picture
    // certificate: the PDF file, the page size ("a4", "letter") and who approved it.
    std::string pdf;
    std::string page = "a4";
    std::string approvedBy;
    // station: the settings given (name without "--", value); none: show the station.
    std::vector<std::pair<std::string, std::string>> stationSettings;
};

// The options of a command line (without the program name), or a refusal naming the
// argument and what is wrong with it. An option given twice, or an option where a value is
// expected ("--out --json"), is refused.
core::Result<Options> parseOptions(const std::vector<std::string>& args);

// The help text of a command (Command::None: of the program).
std::string helpText(Command command);

// The boards of --boards: "0-3", "0,2,5", "1-2,7"; each from 0 to 31, none twice.
core::Result<std::vector<card::Int16>> parseBoardList(std::string_view text);

// Whether the arguments ask for JSON (for the refusal of arguments that cannot be parsed).
bool asksForJson(const std::vector<std::string>& args);

// "calibrate", ...
std::string commandName(Command command);

} // namespace cli
