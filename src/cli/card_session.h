#pragma once

#include "caldata/memory_table.h"
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

// The calibration table of the command line: in memory, its output boxes' changes running
// their change handling as the window's boxes do.
using CliTable = caldata::MemoryTable;

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
