// calibrate --boards: several boards calibrated at the same time, each by a program of its own
// (the same command line as `calibrate --board N`), with a progress line per board, a record
// per board and one summary table.
#include "calfile/calfile_ops.h"
#include "cli/invocation.h"
#include "core/text.h"
#include "session/board.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <cstdio>
#include <map>
#include <sstream>

namespace cli {

namespace {

// "{board}" in a file name replaced by the board's number.
std::string forBoard(std::string name, card::Int16 board) {
    for (std::size_t at = name.find("{board}"); at != std::string::npos;
         at = name.find("{board}", at)) {
        name.replace(at, 7, std::to_string(board));
    }
    return name;
}

struct BoardReferences {
    std::string ref10;
    std::string ref5;
};

// The file of --refs: one line a board, "BOARD REF10 REF5" (blanks or commas between), blank
// lines and lines starting with '#' left out.
core::Result<std::map<card::Int16, BoardReferences>> readReferences(const Invocation& inv) {
    const std::string& name = inv.options.refs;
    const calfile::FileContent content = inv.services.files.read(name);
    if (content.state != calfile::FileContent::State::Read) {
        return core::refuse("--refs: " + core::quoteText(name) + ": the file " + content.problem +
                            ".");
    }
    std::map<card::Int16, BoardReferences> refs;
    std::istringstream lines(content.bytes);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        std::replace(line.begin(), line.end(), ',', ' ');
        std::istringstream words(line);
        std::string board;
        BoardReferences r;
        std::string extra;
        if (!(words >> board) || board[0] == '#') {
            continue;
        }
        const auto b = session::parseBoardNumber(board);
        if (!b || !(words >> r.ref10 >> r.ref5) || (words >> extra)) {
            return core::refuse("--refs: " + core::quoteText(name) + ", line " +
                                std::to_string(number) + ": " + core::quoteText(line) +
                                " is not \"BOARD REF10 REF5\".");
        }
        if (!refs.emplace(*b, r).second) {
            return core::refuse("--refs: " + core::quoteText(name) + " gives board " +
                                std::to_string(*b) + " twice.");
        }
    }
    return refs;
}

// Each board's own command line, checked as its program will check it, so that nothing
// starts when one board's references or files are refused.
core::Result<std::vector<std::vector<std::string>>> commandLines(const Invocation& inv) {
    const auto refs = readReferences(inv);
    if (!refs) {
        return refs.failure();
    }
    const Options& o = inv.options;
    std::vector<std::vector<std::string>> lines;
    for (const card::Int16 b : o.boards) {
        const auto r = refs->find(b);
        if (r == refs->end()) {
            return core::refuse("--refs: " + core::quoteText(o.refs) + " has no line for board " +
                                std::to_string(b) + ".");
        }
        std::vector<std::string> args;
        if (o.simulate) {
            args.insert(args.end(), {"--cards", std::to_string(o.cards)});
        }
        args.insert(args.end(), {"calibrate", "--board", std::to_string(b), "--ref10",
                                 r->second.ref10, "--ref5", r->second.ref5, "--tolerance",
                                 std::to_string(o.tolerance), "--json"});
        args.insert(args.end(), {"--repeats", std::to_string(o.repeats), "--decision", o.decision});
        for (const auto& [option, value] :
             {std::pair{"--temperature", o.temperature}, {"--humidity", o.humidity}}) {
            if (value) {
                char text[32];
                std::snprintf(text, sizeof text, "%.10g", *value);
                args.insert(args.end(), {option, text});
            }
        }
        if (o.meterPastDue) {
            args.push_back("--meter-past-due");
        }
        if (o.save) {
            args.push_back("--save");
        }
        for (const auto& [option, name] : {std::pair{"--record", o.record}, {"--out", o.out}}) {
            if (!name.empty()) {
                args.insert(args.end(), {option, forBoard(name, b)});
                if (const core::Status s = checkOutputFile(inv, option, forBoard(name, b)); !s) {
                    return s.failure();
                }
            }
        }
        const auto parsed = parseOptions(args);
        if (!parsed) {
            return core::reword(parsed.failure(),
                                "Board " + std::to_string(b) + ": " + parsed.refusal());
        }
        lines.push_back(std::move(args));
    }
    return lines;
}

// Without programs of their own, the boards one after another in this program.
std::vector<Services::Child> runHere(const Invocation& inv,
                                     const std::vector<std::vector<std::string>>& lines,
                                     const Services::ErrLine& onErrLine) {
    std::vector<Services::Child> children;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::ostringstream out;
        std::ostringstream err;
        Services::Child c;
        c.exitCode = runCli(lines[i], inv.services, out, err);
        c.out = out.str();
        std::istringstream errLines(err.str());
        for (std::string line; std::getline(errLines, line);) {
            onErrLine(i, line);
        }
        children.push_back(c);
    }
    return children;
}

// One line of the summary: board, outcome, end points out of tolerance as found and not
// accepted as left, saved, exit code.
QJsonObject summaryOf(card::Int16 board, const Services::Child& c) {
    const QJsonObject doc = QJsonDocument::fromJson(QByteArray::fromStdString(c.out)).object();
    QJsonObject s{{"board", board}, {"exitCode", c.exitCode}};
    if (doc.contains("outcome")) {
        s["outcome"] = doc["outcome"];
        // Judged only when the run formed its targets.
        if (!doc["outputs"].toArray().first().toObject()["targetCode"].isNull()) {
            const QJsonObject c = doc["conformity"].toObject();
            s["asFoundOutOfTolerance"] = c["outputsAsFound"].toObject()["notAccepted"];
            s["asLeftNotAccepted"] = c["outputsAsLeft"].toObject()["notAccepted"];
        }
        s["saved"] = doc["saved"];
    } else {
        s["outcome"] = c.exitCode == kBoardBusy ? "not started (board in use)"
                       : c.exitCode == kStopped ? "not started (stopped)"
                                                : "not started";
        s["saved"] = false;
    }
    if (doc.contains("message") || doc.contains("error")) {
        s["message"] = doc.contains("message") ? doc["message"] : doc["error"];
    }
    s["record"] = doc;
    return s;
}

void printSummary(std::ostream& out, const QJsonArray& boards) {
    out << "board  outcome                      found out  left not accepted  saved  exit\n";
    for (const QJsonValue& v : boards) {
        const QJsonObject s = v.toObject();
        const auto count = [&](const char* key) {
            return s.contains(key) ? std::to_string(s[key].toInt()) : std::string("-");
        };
        char line[160];
        std::snprintf(line, sizeof line, "%5d  %-28s %9s %18s  %-5s  %4d", s["board"].toInt(),
                      s["outcome"].toString().toStdString().c_str(),
                      count("asFoundOutOfTolerance").c_str(), count("asLeftNotAccepted").c_str(),
                      s["saved"].toBool() ? "yes" : "no", s["exitCode"].toInt());
        out << line << "\n";
        if (s.contains("message")) {
            out << "       " << s["message"].toString().toStdString() << "\n";
        }
    }
}

} // namespace

int runCalibrateSeveral(const Invocation& inv) {
    const auto lines = commandLines(inv);
    if (!lines) {
        return fail(inv, lines.failure());
    }
    const std::vector<card::Int16>& boards = inv.options.boards;
    BoardProgress progress(inv.err, boards, inv.options.quiet, inv.services.stderrIsTerminal);
    const Services::ErrLine onErrLine = [&](std::size_t i, const std::string& line) {
        progress.line(i, line);
    };
    const int jobs = inv.options.jobs > 0 ? inv.options.jobs : static_cast<int>(boards.size());
    const std::vector<Services::Child> children =
        inv.services.runChildren ? inv.services.runChildren(*lines, jobs, onErrLine)
                                 : runHere(inv, *lines, onErrLine);
    progress.finish();
    QJsonArray summary;
    int code = kSuccess;
    const bool stopped = inv.services.stopRequested && inv.services.stopRequested();
    for (std::size_t i = 0; i < boards.size(); ++i) {
        Services::Child c = i < children.size() ? children[i] : Services::Child{};
        if (c.exitCode < 0 && stopped) {
            c.exitCode = kStopped; // never started, or ended by the stop
        }
        summary.append(summaryOf(boards[i], c));
        if (code == kSuccess && c.exitCode != kSuccess) {
            code = c.exitCode < 0 ? kCardFailure : c.exitCode;
        }
    }
    if (inv.options.json) {
        printJson(inv, QJsonObject{{"boards", summary}, {"exitCode", code}});
    } else {
        printSummary(inv.out, summary);
    }
    return code;
}

core::Result<std::vector<card::Int16>> parseBoardList(std::string_view text) {
    std::vector<card::Int16> boards;
    const auto badList = [&] {
        return core::refuse("--boards: " + core::quoteText(text) +
                            " is not a list of boards from 0 to 31 such as 0-3 or 0,2,5.");
    };
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const std::string_view item = text.substr(start, comma - start);
        const std::size_t dash = item.find('-');
        const auto first = session::parseBoardNumber(item.substr(0, dash));
        const auto last = dash == std::string_view::npos
                              ? first
                              : session::parseBoardNumber(item.substr(dash + 1));
        if (item.empty() || !first || !last || *last < *first) {
            return badList();
        }
        for (int b = *first; b <= *last; ++b) {
            if (std::find(boards.begin(), boards.end(), b) != boards.end()) {
                return core::refuse("--boards: " + core::quoteText(text) + " names board " +
                                    std::to_string(b) + " twice.");
            }
            boards.push_back(static_cast<card::Int16>(b));
        }
        start = comma + 1;
    }
    return boards;
}

} // namespace cli
