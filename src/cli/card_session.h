#pragma once

#include "caldata/table.h"
#include "card/register_acquisition.h"
#include "cli/cli.h"
#include "platform/prompts.h"
#include "session/context.h"
#include "session/form_state.h"

#include <array>
#include <functional>
#include <ostream>
#include <string>

namespace cli {

// The calibration table of the command line, in memory, with the window's start texts.
// Setting an output box to a new text runs its change handling, as the window's boxes do.
class CliTable : public caldata::CalibrationTable {
public:
    CliTable();
    std::string text(caldata::Field f) const override;
    void setText(caldata::Field f, const std::string& text) override;

    std::function<void(caldata::Field)> onChange;

private:
    std::string& slot(caldata::Field f);
    std::array<std::string, 2 * caldata::kOutputBoxes> outputs_;
    std::array<std::string, 2 * caldata::kInputBoxes> inputs_;
    std::string ref10_ = "10.0";
    std::string ref5_ = "5.0";
};

// The prompts of the command line: SAVE's confirmation is answered by --save; there are no
// other prompts, and a message goes to stderr.
class CliPrompts : public platform::Prompts {
public:
    CliPrompts(bool confirmed, std::ostream& err) : confirmed_(confirmed), err_(err) {}
    void message(const std::string& text) override { err_ << text << "\n"; }
    bool confirm(const std::string&, const std::string&) override { return confirmed_; }
    std::optional<std::string> chooseOpenFile(const std::string&, const std::string&) override {
        return std::nullopt;
    }

private:
    bool confirmed_;
    std::ostream& err_;
};

// One board worked on from the command line: the form-level state, the table (whose output
// boxes drive the card as the window's do), the context with the board as "Active Board",
// and the acquisition of the auto-calibration readings.
class CardSession {
public:
    CardSession(Services& services, platform::EventPump& pump, platform::Prompts& prompts,
                card::Int16 board);
    CardSession(const CardSession&) = delete;
    CardSession& operator=(const CardSession&) = delete;

    card::Int16 board() const { return board_; }

    session::FormState state;
    CliTable table;
    session::Context ctx;
    card::RegisterAcquisition acquisition;

private:
    card::Int16 board_;
};

} // namespace cli
