#pragma once

// A history's location as the arguments of history_writer and back:
// "sqlite PATH" or "postgresql HOST PORT DATABASE USER".
#include "history/history.h"

#include <string>
#include <vector>

namespace testing_support {

inline std::vector<std::string> locationArgs(const history::Location& l) {
    if (l.engine == history::Location::Engine::SQLite) {
        return {"sqlite", l.path};
    }
    return {"postgresql", l.host, std::to_string(l.port), l.database, l.user};
}

// The location from args[0..]; how many arguments it took in used.
inline history::Location locationFrom(const std::vector<std::string>& args, std::size_t& used) {
    history::Location l;
    if (!args.empty() && args[0] == "sqlite" && args.size() >= 2) {
        l.path = args[1];
        used = 2;
    } else if (!args.empty() && args[0] == "postgresql" && args.size() >= 5) {
        l.engine = history::Location::Engine::PostgreSQL;
        l.host = args[1];
        l.port = std::stoi(args[2]);
        l.database = args[3];
        l.user = args[4];
        used = 5;
    } else {
        used = 0;
    }
    return l;
}

} // namespace testing_support
