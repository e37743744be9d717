#pragma once

// The benchmark's scenarios. Each runs in real time on the simulated card, prints its own
// table and tells whether it met its goals. A new scenario is one more function here and
// one more line in the table of main.cpp.

#include <iosfwd>

namespace bench {

// Averaged auto-calibration readings of the input range points: wall time against the
// 103 ms of mandated sleeps, and the longest gap between two yields to the window.
bool acquisitionScenario(std::ostream& out);

// The whole automatic calibration through the window: wall time against the 22 settling
// waits plus 103 ms per reading, the processor time, the longest gap between two processed
// events, the end points' true error.
bool autocalScenario(std::ostream& out);

// Ten runs of the automatic calibration through the window on virtual time: how much the
// resident memory grows.
bool memoryScenario(std::ostream& out);

// Four boards calibrated at once by the command line against one board alone, in real time:
// the ratio of the two wall times.
bool boardsScenario(std::ostream& out);

} // namespace bench
