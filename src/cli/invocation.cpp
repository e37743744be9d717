#include "cli/invocation.h"

#include "caldata/eeprom_ops.h"
#include "calfile/entries.h"
#include "card/facts.h"
#include "core/text.h"
#include "session/startup.h"

#include <QJsonDocument>

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace cli {

namespace {

Progress::Mode progressMode(const Invocation& inv) {
    if (inv.options.quiet) {
        return Progress::Mode::Off;
    }
    return inv.services.stderrIsTerminal ? Progress::Mode::InPlace : Progress::Mode::Lines;
}

std::string cardsFound(int boards) {
    if (boards == 0) {
        return "no card was found";
    }
    if (boards == 1) {
        return "1 card was found (board 0)";
    }
    return std::to_string(boards) + " cards were found (boards 0 to " +
           std::to_string(std::min(boards, card::kMaxBoards) - 1) + ")";
}

} // namespace

int exitCode(core::Kind kind) {
    switch (kind) {
    case core::Kind::Input:
        return kInputRefused;
    case core::Kind::Card:
        return kCardFailure;
    case core::Kind::File:
        return kFileFailure;
    case core::Kind::Tolerance:
        return kOutOfTolerance;
    case core::Kind::Stopped:
        return kStopped;
    case core::Kind::Busy:
        return kBoardBusy;
    case core::Kind::History:
        return kHistoryFailure;
    }
    return kCardFailure;
}

core::Refusal savedFailure(const core::Refusal& failure) {
    return failure.text.rfind("SAVE", 0) == 0
               ? failure
               : core::reword(failure, "SAVE failed: " + failure.text);
}

std::string kindName(core::Kind kind) {
    switch (kind) {
    case core::Kind::Input:
        return "input";
    case core::Kind::Card:
        return "card";
    case core::Kind::File:
        return "file";
    case core::Kind::Tolerance:
        return "tolerance";
    case core::Kind::Stopped:
        return "stopped";
    case core::Kind::Busy:
        return "busy";
    case core::Kind::History:
        return "history";
    }
    return "card";
}

int fail(const Invocation& inv, const core::Refusal& failure) {
    // A command that writes the EEPROM says in its JSON that it did not.
    QJsonObject extra;
    if (inv.options.command == Command::Write || inv.options.command == Command::Calibrate) {
        extra["saved"] = false;
    } else if (inv.options.command == Command::Recover) {
        extra["recovered"] = false;
    }
    return failWith(inv.out, inv.err, inv.options.json, failure, extra);
}

int failWith(std::ostream& out, std::ostream& err, bool json, const core::Refusal& failure,
             QJsonObject doc) {
    err << "mx4815cal-cli: " << failure.text << "\n";
    const int code = exitCode(failure.kind);
    if (json) {
        doc["error"] = QString::fromStdString(failure.text);
        doc["kind"] = QString::fromStdString(kindName(failure.kind));
        doc["exitCode"] = code;
        if (failure.kind == core::Kind::Card && failure.status != 0) {
            doc["status"] = failure.status;
        }
        out << QJsonDocument(doc).toJson(QJsonDocument::Indented).toStdString();
    }
    return code;
}

void printJson(const Invocation& inv, const QJsonObject& document) {
    inv.out << QJsonDocument(document).toJson(QJsonDocument::Indented).toStdString();
}

Workbench::Workbench(const Invocation& inv, double mandatedSeconds)
    : prompts(inv.options.save, inv.err),
      progress(inv.err, inv.services.clock, progressMode(inv), mandatedSeconds),
      pump(inv.services.pump, progress),
      card(inv.services, pump, prompts, inv.options.board.value_or(0)) {}

core::Status findBoard(const Invocation& inv, Workbench& bench) {
    const session::FoundCards found = session::findCards(bench.card.ctx);
    const card::Int16 board = bench.card.board();
    if (board >= std::min<int>(found.boards, card::kMaxBoards)) {
        return core::refuse("--board: there is no board " + std::to_string(board) + ": " +
                            cardsFound(found.boards) + ".");
    }
    if (const card::Int16 status = found.statusOf(board); status != 0) {
        return core::refuse(core::Kind::Card,
                            "Get Card Information Err: board " + std::to_string(board) +
                                " gave status " + std::to_string(status) + ".",
                            status);
    }
    if (inv.services.locks != nullptr) {
        return inv.services.locks->take(board);
    }
    return {};
}

core::Status reloadBoard(const Invocation& inv, Workbench& bench) {
    if (const core::Status found = findBoard(inv, bench); !found) {
        return found;
    }
    const core::Status reloaded = caldata::Reload(bench.card.ctx, bench.card.table);
    if (!reloaded) {
        return core::reword(reloaded.failure(), "RELOAD of board " +
                                                    std::to_string(bench.card.board()) +
                                                    " failed: " + reloaded.refusal());
    }
    return {};
}

core::Status checkOutputFile(const Invocation& inv, const std::string& option,
                             const std::string& name) {
    if (name.empty()) {
        return {};
    }
    const calfile::FileContent content = inv.services.files.read(name);
    if (content.state == calfile::FileContent::State::Unreadable) {
        return core::refuse(option + ": " + core::quoteText(name) + ": the file " +
                            content.problem + ".");
    }
    if (inv.services.backendFile && inv.services.backendFile(name)) {
        return core::refuse(option + ": " + core::quoteText(name) +
                            " is one of the program's own files (the simulated cards' EEPROMs "
                            "or a board lock): choose another file.");
    }
    const std::filesystem::path folder = std::filesystem::path(name).parent_path();
    std::error_code ec;
    if (!folder.empty() && !std::filesystem::is_directory(folder, ec)) {
        return core::refuse(option + ": " + core::quoteText(name) + ": the folder " +
                            core::quoteText(folder.string()) + " does not exist.");
    }
    if (const core::Status probed = inv.services.files.probe(name); !probed) {
        return core::refuse(option + ": " + core::quoteText(name) +
                            " cannot be written: " + probed.refusal() + ".");
    }
    return {};
}

void printTable(std::ostream& out, const caldata::CalibrationTable& table) {
    for (const calfile::Entry& e : calfile::kEntries) {
        char line[128];
        std::snprintf(line, sizeof line, "%-30s %s", caldata::describe(e.field).c_str(),
                      table.text(e.field).c_str());
        out << line << "\n";
    }
}

QJsonObject tableJson(const caldata::CalibrationTable& table) {
    QJsonObject sections;
    for (const calfile::Entry& e : calfile::kEntries) {
        const QString section = QString::fromUtf8(e.section.data(), e.section.size());
        QJsonObject entries = sections.value(section).toObject();
        entries[QString::fromUtf8(e.key.data(), e.key.size())] =
            QString::fromStdString(table.text(e.field));
        sections[section] = entries;
    }
    return sections;
}

} // namespace cli
