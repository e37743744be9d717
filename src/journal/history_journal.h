#pragma once

#include "history/store.h"
#include "journal/station_file.h"
#include "session/journal.h"

#include <optional>
#include <string>

namespace journal {

// Who makes the changes a journal records.
struct Maker {
    std::string program; // "mx4815cal", "mx4815cal-cli write"
    std::string version;
    std::string driver; // "simulated card", or the driver library's path
};

// The journal of a program: each EEPROM change recorded in the calibration history that the
// station names, opened at the first change and kept open. A station that could not be read
// (problem) refuses every change, so that nothing is written without its record.
class HistoryJournal : public session::Journal {
public:
    HistoryJournal(Maker maker, Settings settings, std::string problem = {});

    core::Result<std::string> begin(const session::ChangeStart& change) override;
    core::Status end(const std::string& id, const session::ChangeEnd& ending) override;

    const Settings& settings() const { return settings_; }
    // The history, opened on first use; a refusal (Kind::History) names it.
    core::Result<history::Store*> store();

private:
    Maker maker_;
    Settings settings_;
    std::string problem_;
    std::optional<history::Store> store_;
};

// The journal of a program started now: the station file read (a damaged one makes the
// journal refuse every change, and notice says why, for the program to tell once).
struct Opened {
    HistoryJournal journal;
    std::string notice;
};
Opened openJournal(Maker maker);

} // namespace journal
