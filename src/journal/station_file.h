#pragma once

#include "core/result.h"
#include "history/history.h"
#include "record/station.h"
#include "trend/interval.h"

#include <QJsonObject>

#include <optional>
#include <string>

// The bench's settings as the station file in the program's data folder keeps them: the
// station's facts (laboratory, operator, reference meter) and where the calibration history
// lives. Both programs read it at start; `mx4815cal-cli station` shows and sets it.
namespace journal {

struct Settings {
    record::Station station;
    // Where the history lives; nothing: the SQLite database in the data folder.
    std::optional<history::Location> history;
    // The staircase of the calibration interval; nothing: trend::IntervalPolicy's defaults.
    std::optional<trend::IntervalPolicy> interval;
    // The customer agreed that certificates state the recommended next calibration.
    bool intervalOnCertificate = false;
};

// The program's data folder (created when missing).
std::string dataFolder();
// The station file: station.json in the data folder.
std::string stationPath();
// The default history: calibration-history.sqlite in the data folder.
history::Location defaultHistory();

// The settings of the file at path: none set when there is no file. A file that cannot be
// read or is not a station file is refused (Kind::Input) naming the file and what is wrong.
core::Result<Settings> loadSettings(const std::string& path);
// Writes the settings atomically; a refusal (Kind::File) names the file.
core::Status saveSettings(const std::string& path, const Settings& settings);

// The history that settings name.
history::Location historyOf(const Settings& settings);
// The interval's staircase that settings name.
trend::IntervalPolicy intervalOf(const Settings& settings);
// The interval's settings as the station file keeps them: startDays, extendFactor,
// shortenFactor, minDays, maxDays, withinFraction.
QJsonObject intervalJson(const trend::IntervalPolicy& policy);
// The operator: the station's, or else the logged-in user; empty when neither is known.
std::string operatorOf(const Settings& settings);
// The name of this computer.
std::string computerName();

} // namespace journal
