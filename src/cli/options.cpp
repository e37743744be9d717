#include "cli/options.h"

#include "backend/backend.h"
#include "caldata/messages.h"
#include "caldata/table.h"
#include "core/text.h"
#include "session/board.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <string_view>

namespace cli {

namespace {

constexpr unsigned bit(Command c) {
    return 1u << static_cast<unsigned>(c);
}
constexpr unsigned kAll = 0xFFFFu;
constexpr unsigned kBoardCommands =
    bit(Command::Read) | bit(Command::Calibrate) | bit(Command::Write) | bit(Command::Recover);
constexpr unsigned kCal = bit(Command::Calibrate);
constexpr unsigned kStation = bit(Command::Station);

struct OptionRule {
    std::string_view name;
    bool takesValue;
    unsigned commands; // the commands it belongs to
};

constexpr std::array<OptionRule, 42> kOptions{{
    {"--help", false, kAll},
    {"-h", false, kAll},
    {"--simulate", false, kAll},
    {"--cards", true, kAll},
    {"--json", false, kAll},
    {"--quiet", false, kAll},
    {"--board", true, kBoardCommands | bit(Command::History)},
    {"--boards", true, bit(Command::Calibrate)},
    {"--refs", true, bit(Command::Calibrate)},
    {"--jobs", true, bit(Command::Calibrate)},
    {"--out", true, bit(Command::Read) | bit(Command::Calibrate)},
    {"--ref10", true, bit(Command::Calibrate)},
    {"--ref5", true, bit(Command::Calibrate)},
    {"--record", true, bit(Command::Calibrate)},
    {"--tolerance", true, bit(Command::Calibrate)},
    {"--save", false, bit(Command::Calibrate) | bit(Command::Write)},
    {"--in", true, bit(Command::Write)},
    {"--from-history", true, bit(Command::Write)},
    {"--repeats", true, kCal},
    {"--decision", true, kCal},
    {"--temperature", true, kCal},
    {"--humidity", true, kCal},
    {"--meter-past-due", false, kCal},
    {"--card", true, bit(Command::History)},
    {"--since", true, bit(Command::History)},
    {"--drift", false, bit(Command::History)},
    {"--laboratory", true, kStation},
    {"--address", true, kStation},
    {"--operator", true, kStation},
    {"--meter-make", true, kStation},
    {"--meter-model", true, kStation},
    {"--meter-serial", true, kStation},
    {"--meter-certificate", true, kStation},
    {"--meter-due", true, kStation},
    {"--meter-uncertainty", true, kStation},
    {"--history", true, kStation},
    {"--pdf", true, bit(Command::Certificate)},
    {"--page", true, bit(Command::Certificate)},
    {"--approved-by", true, bit(Command::Certificate)},
    {"--interval", true, kStation},
    {"--interval-on-certificate", true, kStation},
    {"--plot", true, bit(Command::History)},
}};

constexpr std::array<std::pair<std::string_view, Command>, 8> kCommands{{
    {"list", Command::List},
    {"read", Command::Read},
    {"calibrate", Command::Calibrate},
    {"write", Command::Write},
    {"recover", Command::Recover},
    {"station", Command::Station},
    {"history", Command::History},
    {"certificate", Command::Certificate},
}};

const OptionRule* findOption(std::string_view name) {
    for (const OptionRule& o : kOptions) {
        if (o.name == name) {
            return &o;
        }
    }
    return nullptr;
}

core::Refusal bad(std::string_view option, std::string_view text, const std::string& what) {
    return core::refuse(std::string(option) + ": " + core::quoteText(text) + " " + what + ".");
}

// A reference voltage, refused as the window refuses its box but naming the option.
core::Result<float> reference(std::string_view option, caldata::Field box, std::string_view text) {
    const core::Result<float> v = caldata::plausibleReference(box, text);
    if (v) {
        return v;
    }
    const std::string prefix = caldata::describe(box) + ": ";
    std::string why = v.refusal();
    if (why.rfind(prefix, 0) == 0) {
        why.erase(0, prefix.size());
    }
    return core::refuse(std::string(option) + ": " + why);
}

core::Status setValue(Options& o, std::string_view name, std::string_view value) {
    if (name == "--cards") {
        const core::Result<int> n = backend::parseCardCount(value);
        if (!n) {
            return n.failure();
        }
        o.cards = *n;
        o.simulate = true;
    } else if (name == "--boards") {
        auto boards = parseBoardList(value);
        if (!boards) {
            return boards.failure();
        }
        o.boards = std::move(*boards);
    } else if (name == "--jobs") {
        int n = -1;
        const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
        if (ec != std::errc{} || end != value.data() + value.size() || n < 1 ||
            n > card::kMaxBoards) {
            return bad(name, value, "is not a number of boards at once from 1 to 32");
        }
        o.jobs = n;
    } else if (name == "--board") {
        o.board = session::parseBoardNumber(value);
        if (!o.board) {
            return bad(name, value, "is not a board number from 0 to 31");
        }
    } else if (name == "--ref10" || name == "--ref5") {
        const bool ten = name == "--ref10";
        const auto v = reference(name, ten ? caldata::ref10() : caldata::ref5(), value);
        if (!v) {
            return core::refuse(v.refusal());
        }
        (ten ? o.ref10 : o.ref5) = *v;
    } else if (name == "--tolerance") {
        double t = -1;
        const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), t);
        if (ec != std::errc{} || end != value.data() + value.size() || !(t >= 0 && t < 1000)) {
            return bad(name, value, "is not a number of counts from 0 to 1000");
        }
        o.tolerance = t;
    } else if (name == "--repeats") {
        int n = -1;
        const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
        if (ec != std::errc{} || end != value.data() + value.size() || n < 1 || n > 100) {
            return bad(name, value, "is not a number of read-backs from 1 to 100");
        }
        o.repeats = n;
    } else if (name == "--decision") {
        if (value != "simple" && value != "ilac-g8-guard-band") {
            return bad(name, value, "is not a decision rule: simple or ilac-g8-guard-band");
        }
        o.decision = std::string(value);
    } else if (name == "--temperature" || name == "--humidity") {
        const bool temperature = name == "--temperature";
        double v = -1000;
        const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), v);
        const bool inRange = temperature ? (v >= -40 && v <= 85) : (v >= 0 && v <= 100);
        if (ec != std::errc{} || end != value.data() + value.size() || !inRange) {
            return bad(name, value,
                       temperature ? "is not a temperature in degrees Celsius from -40 to 85"
                                   : "is not a relative humidity in percent from 0 to 100");
        }
        (temperature ? o.temperature : o.humidity) = v;
    } else if (findOption(name)->commands == kStation) {
        o.stationSettings.emplace_back(name.substr(2), value); // checked by the station command
    } else if (name == "--card" || name == "--from-history") {
        if (value.empty()) {
            return bad(name, value,
                       name == "--card" ? "is not a card fingerprint" : "is not a record id");
        }
        (name == "--card" ? o.card : o.fromHistory) = std::string(value);
    } else if (name == "--page") {
        if (value != "a4" && value != "letter") {
            return bad(name, value, "is not a page size: a4 or letter");
        }
        o.page = std::string(value);
    } else if (name == "--approved-by") {
        o.approvedBy = std::string(value);
    } else if (name == "--since") {
        o.since = std::string(value); // checked as a date by the history command
    } else if (value.empty()) {
        return bad(name, value, "is not a file name");
    } else {
        (name == "--plot"   ? o.plot
         : name == "--pdf"  ? o.pdf
         : name == "--out"  ? o.out
         : name == "--in"   ? o.in
         : name == "--refs" ? o.refs
                            : o.record) = std::string(value);
    }
    return {};
}

void setFlag(Options& o, std::string_view name) {
    if (name == "--help" || name == "-h") {
        o.help = true;
    } else if (name == "--simulate") {
        o.simulate = true;
    } else if (name == "--json") {
        o.json = true;
    } else if (name == "--quiet") {
        o.quiet = true;
    } else if (name == "--save") {
        o.save = true;
    } else if (name == "--meter-past-due") {
        o.meterPastDue = true;
    } else if (name == "--drift") {
        o.drift = true;
    }
}

// calibrate --boards: each board's references from --refs, and the files of the boards
// apart.
core::Status checkSeveralBoards(const Options& o) {
    if (o.board) {
        return core::refuse("--board and --boards: give one of them.");
    }
    if (o.ref10 || o.ref5) {
        return core::refuse(std::string(o.ref10 ? "--ref10" : "--ref5") +
                            ": with --boards each board's references come from --refs FILE.");
    }
    if (o.refs.empty()) {
        return core::refuse("calibrate: --refs is missing: with --boards each board's "
                            "references come from a file (see calibrate --help).");
    }
    for (const auto& [name, value] : {std::pair{"--record", &o.record}, {"--out", &o.out}}) {
        if (!value->empty() && o.boards.size() > 1 && value->find("{board}") == std::string::npos) {
            return core::refuse(std::string(name) + ": " + core::quoteText(*value) +
                                " must hold {board}, which becomes each board's number, so "
                                "that every board has a file of its own.");
        }
    }
    return {};
}

// The options every command needs.
core::Status checkRequired(const Options& o, const std::vector<std::string_view>& given) {
    const auto missing = [&](std::string_view name) {
        return core::refuse(commandName(o.command) + ": " + std::string(name) +
                            " is missing (see " + commandName(o.command) + " --help).");
    };
    if (!o.boards.empty()) {
        return checkSeveralBoards(o);
    }
    if ((bit(o.command) & kBoardCommands) != 0 && o.command != Command::History && !o.board) {
        return missing("--board");
    }
    if (o.command == Command::Calibrate && !o.ref10) {
        return missing("--ref10");
    }
    if (o.command == Command::Calibrate && !o.ref5) {
        return missing("--ref5");
    }
    if (!o.refs.empty() || o.jobs != 0) {
        return core::refuse(std::string(o.refs.empty() ? "--jobs" : "--refs") +
                            " belongs to --boards (see calibrate --help).");
    }
    if (!o.plot.empty() && !o.drift) {
        return core::refuse("--plot belongs to history --drift (see history --help).");
    }
    if (o.command == Command::Certificate && o.recordId.empty()) {
        return core::refuse("certificate: the record's ID is missing (see certificate --help).");
    }
    if (o.command == Command::Certificate && o.pdf.empty()) {
        return missing("--pdf");
    }
    if (o.command == Command::Write && o.in.empty() == o.fromHistory.empty()) {
        return o.in.empty() ? missing("--in or --from-history")
                            : core::refuse("write: --in and --from-history: give one of them.");
    }
    for (const std::string_view name : given) {
        if ((findOption(name)->commands & bit(o.command)) == 0) {
            return core::refuse(std::string(name) + " is not an option of " +
                                commandName(o.command) + " (see " + commandName(o.command) +
                                " --help).");
        }
    }
    return {};
}

} // namespace

core::Result<Options> parseOptions(const std::vector<std::string>& args) {
    Options o;
    std::vector<std::string_view> given;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        if (o.command == Command::History && (arg.empty() || arg[0] != '-')) {
            if (arg == "show" && o.historyAction == HistoryAction::List && i + 1 < args.size()) {
                o.historyAction = HistoryAction::Show;
                o.recordId = args[++i];
                continue;
            }
            if (arg == "verify" && o.historyAction == HistoryAction::List) {
                o.historyAction = HistoryAction::Verify;
                continue;
            }
            return core::refuse(core::quoteText(arg) +
                                " is not what history does: history, history show ID or "
                                "history verify.");
        }
        if (o.command == Command::Certificate && o.recordId.empty() &&
            (arg.empty() || arg[0] != '-')) {
            o.recordId = std::string(arg);
            continue;
        }
        if (arg.empty() || arg[0] != '-') {
            for (const auto& [name, command] : kCommands) {
                if (name == arg && o.command == Command::None) {
                    o.command = command;
                }
            }
            if (o.command == Command::None || commandName(o.command) != arg) {
                return core::refuse(
                    core::quoteText(arg) +
                    " is not a command: list, read, calibrate, write, recover, station or "
                    "history.");
            }
            continue;
        }
        std::string_view value;
        const std::size_t eq = arg.find('=');
        const bool inlineValue = eq != std::string_view::npos;
        if (inlineValue) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
        }
        const OptionRule* rule = findOption(arg);
        if (!rule) {
            return core::refuse(std::string(arg) + " is not an option (see --help).");
        }
        for (const std::string_view earlier : given) {
            if (earlier == rule->name || (rule->name == "-h" && earlier == "--help") ||
                (rule->name == "--help" && earlier == "-h")) {
                return core::refuse(std::string(arg) + " is given twice.");
            }
        }
        given.push_back(rule->name);
        if (!rule->takesValue) {
            if (inlineValue) {
                return core::refuse(std::string(arg) + " takes no value.");
            }
            setFlag(o, arg);
            continue;
        }
        if (!inlineValue) {
            if (i + 1 >= args.size()) {
                return core::refuse(std::string(arg) + ": the value is missing.");
            }
            value = args[++i];
            if (value.size() > 1 && value[0] == '-' &&
                (value[1] == '-' || findOption(value) != nullptr)) {
                return core::refuse(std::string(arg) + ": the value is missing (" +
                                    core::quoteText(value) + " is an option).");
            }
        }
        if (const core::Status s = setValue(o, arg, value); !s) {
            return core::refuse(s.refusal());
        }
    }
    if (o.help || o.command == Command::None) {
        return o;
    }
    if (const core::Status s = checkRequired(o, given); !s) {
        return core::refuse(s.refusal());
    }
    return o;
}

bool asksForJson(const std::vector<std::string>& args) {
    return std::find(args.begin(), args.end(), "--json") != args.end();
}

std::string commandName(Command command) {
    for (const auto& [name, c] : kCommands) {
        if (c == command) {
            return std::string(name);
        }
    }
    return "mx4815cal-cli";
}

} // namespace cli
