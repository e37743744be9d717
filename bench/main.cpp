// Real-time benchmarks on the simulated card. Never part of the test suite.
//   mxcal_bench                 every scenario
//   mxcal_bench <name>...       the named scenarios
//   mxcal_bench --list          the scenario names
//   mxcal_bench --check ...     exit status 1 when a scenario misses its goals
#include "scenarios.h"

#include <QApplication>

#include <iostream>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct Scenario {
    std::string_view name;
    std::string_view what;
    bool (*run)(std::ostream&);
};

constexpr Scenario kScenarios[] = {
    {"acquisition", "averaged readings of the input range points", bench::acquisitionScenario},
    {"autocal", "the whole automatic calibration (START)", bench::autocalScenario},
    {"memory", "resident memory over ten runs of START", bench::memoryScenario},
    {"boards", "four boards calibrated at once by the command line against one",
     bench::boardsScenario},
};

} // namespace

int main(int argc, char** argv) {
    // The window is built without a display (Qt's offscreen platform) unless one is chosen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    bool check = false;
    std::vector<std::string_view> chosen;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--list") {
            for (const Scenario& s : kScenarios) {
                std::cout << s.name << "  " << s.what << "\n";
            }
            return 0;
        }
        if (arg == "--check") {
            check = true;
            continue;
        }
        bool known = false;
        for (const Scenario& s : kScenarios) {
            known = known || s.name == arg;
        }
        if (!known) {
            std::cerr << "Unknown scenario \"" << arg << "\"; --list shows the names.\n";
            return 2;
        }
        chosen.push_back(arg);
    }

    bool allMet = true;
    for (const Scenario& s : kScenarios) {
        bool wanted = chosen.empty();
        for (std::string_view c : chosen) {
            wanted = wanted || c == s.name;
        }
        if (!wanted) {
            continue;
        }
        std::cout << "== " << s.name << ": " << s.what << "\n";
        const bool met = s.run(std::cout);
        std::cout << "== " << s.name << ": " << (met ? "goals met" : "GOALS MISSED") << "\n\n";
        allMet = allMet && met;
    }
    return check && !allMet ? 1 : 0;
}
