#pragma once

#include "cli/cli.h"

#include <functional>
#include <string>
#include <vector>

namespace cli {

// Services::runChildren for this program: each command line runs as the program at
// programPath (at most jobs at once), its stderr handed on line by line as it comes and its
// stdout kept. Once stopRequested says so, the programs still running are asked to stop
// (SIGTERM; on Windows they share the console's Ctrl-C) and are waited for.
std::vector<Services::Child> runChildren(const std::string& programPath,
                                         const std::vector<std::vector<std::string>>& lines,
                                         int jobs, const Services::ErrLine& onErrLine,
                                         const std::function<bool()>& stopRequested);

} // namespace cli
