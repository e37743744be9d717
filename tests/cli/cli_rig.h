#pragma once

// The command line over the simulated cards on virtual time, with files in memory.

#include "calfile/calfile_ops.h"
#include "cli/cli.h"
#include "journal/history_journal.h"
#include "sim/simulated_driver.h"
#include "support/fakes.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace cli_testing {

class MemoryFiles : public calfile::FileStore {
public:
    calfile::FileContent read(const std::string& name) override {
        calfile::FileContent c;
        const auto it = files.find(name);
        if (it == files.end()) {
            c.problem = "does not exist";
            return c;
        }
        c.state = calfile::FileContent::State::Read;
        c.bytes = it->second;
        return c;
    }
    core::Status write(const std::string& name, const std::string& bytes) override {
        files[name] = bytes;
        return {};
    }
    std::map<std::string, std::string> files;
};

struct Outcome {
    int code = -1;
    std::string out;
    std::string err;
};

struct CliRig {
    explicit CliRig(int cardCount = 2) : cards(sim::SimOptions{cardCount, 1}) {}

    Outcome run(const std::vector<std::string>& args) {
        cli::Services services{cards, clock, pump, files, terminal, [this] { return now; }, "test"};
        services.journal = journal ? &*journal : nullptr;
        services.stationFile = folder.filePath("station.json").toStdString();
        std::ostringstream out;
        std::ostringstream err;
        Outcome o;
        o.code = cli::runCli(args, services, out, err);
        o.out = out.str();
        o.err = err.str();
        return o;
    }

    // calibrate with the references the technician measures: the card's true voltages.
    std::vector<std::string> calibrate(int board = 0) const {
        return {"calibrate",
                "--board",
                std::to_string(board),
                "--ref10",
                std::to_string(cards.reference10V(board)),
                "--ref5",
                std::to_string(cards.reference5V(board))};
    }

    QJsonObject json(const std::string& name) const {
        return QJsonDocument::fromJson(QByteArray::fromStdString(files.files.at(name))).object();
    }

    sim::SimulatedDriver cards;
    // The date and time of now in UTC, as the records carry it.
    std::string now = "2024-05-01T12:00:00Z";
    testing_support::VirtualClock clock;
    testing_support::ScriptedPump pump;
    // Keeps the calibration history in an SQLite file of the rig's folder, with the station
    // of settings.
    void keepHistory(journal::Settings settings = {}) {
        settings.history = history::sqliteAt(folder.filePath("history.sqlite").toStdString());
        journal.emplace(journal::Maker{"mx4815cal-cli test", "test", "simulated card"}, settings);
    }
    // The records of the history, newest first.
    std::vector<history::Entry> records() {
        auto store = journal->store();
        return store ? (*store)->list().optional().value_or(std::vector<history::Entry>{})
                     : std::vector<history::Entry>{};
    }

    MemoryFiles files;
    bool terminal = false;
    QTemporaryDir folder;
    std::optional<journal::HistoryJournal> journal;
};

} // namespace cli_testing
