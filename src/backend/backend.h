#pragma once

#include "card/driver.h"
#include "core/result.h"
#include "session/board_lock.h"

#include <memory>
#include <string>
#include <string_view>

// What a front end works on, built the same way for the window and the command line: the
// driver (Dravex.dll, or the simulated cards with their file) and the board locks.
namespace backend {

// The simulated cards a program may be started with.
inline constexpr int kMaxSimulatedCards = 1024;

// The value of --cards: a whole number of cards from 0 to 1024, or the refusal naming it.
core::Result<int> parseCardCount(std::string_view text);

struct Choice {
    bool simulate = false; // always so outside Windows
    int cards = 1;
};

class Backend {
public:
    virtual ~Backend() = default;

    // The driver the front end calls.
    virtual card::Driver& driver() = 0;
    virtual bool simulated() const = 0;
    // The boards this program holds, shared with every other program of the machine.
    virtual session::BoardLocks& locks() = 0;
    // A problem found while opening that the user must hear of once (a damaged simulated
    // cards' file), or empty.
    virtual const std::string& notice() const = 0;
    // Whether path is one of the backend's own files (the simulated cards' file, its lock
    // files), which no export, record or other output may write over.
    virtual bool ownsFile(const std::string& path) const = 0;
    // "simulated card", or the driver library's path.
    virtual std::string driverDescription() const = 0;
    // The day the simulated cards live at when MXCAL_SIM_DATE names it ("2026-07-01"), which
    // is then the program's day too; empty otherwise (the real driver never reads it).
    virtual std::string simulatedDate() const = 0;
};

// The environment variable that sets the simulated cards' day for tests, YYYY-MM-DD.
inline constexpr const char* kSimDateVariable = "MXCAL_SIM_DATE";

// Opens the backend for a program ("mx4815cal", "mx4815cal-cli calibrate": the name the
// board locks show to other programs). Refused, with the reason, when the driver library or
// one of its entry points is missing, or when MXCAL_SIM_DATE is set for the simulated cards
// but is no date (Kind::Input); nothing has touched a card then. The simulated cards live at
// the day MXCAL_SIM_DATE names, else at today's date (UTC): their outputs drift on with the
// days since their first SAVE (sim::SimulatedDriver::setToday).
core::Result<std::unique_ptr<Backend>> open(const Choice& choice, const std::string& program);

} // namespace backend
