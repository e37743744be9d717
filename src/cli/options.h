#pragma once

#include "card/types.h"
#include "core/result.h"

#include <optional>
#include <string>
#include <vector>

namespace cli {

enum class Command { None, List, Read, Calibrate, Write, Recover };

// One command line, checked for form: every value is of its kind, every option belongs to
// the command. Whether the board exists and the files can be read is checked later.
struct Options {
    Command command = Command::None;
    bool help = false;
    bool simulate = false;
    int cards = 1;
    bool json = false;
    bool quiet = false;
    bool save = false;
    std::optional<card::Int16> board;
    std::optional<float> ref10;
    std::optional<float> ref5;
    std::string out;
    std::string in;
    std::string record;
    double tolerance = 2.0; // read-back counts
};

// The options of a command line (without the program name), or a refusal naming the
// argument and what is wrong with it.
core::Result<Options> parseOptions(const std::vector<std::string>& args);

// The help text of a command (Command::None: of the program).
std::string helpText(Command command);

// "calibrate", ...
std::string commandName(Command command);

} // namespace cli
