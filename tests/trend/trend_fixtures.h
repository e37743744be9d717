#pragma once

// Calibrations written by hand for the trend's tests.
#include "trend/calibration.h"

#include <chrono>
#include <string>
#include <vector>

namespace trend_testing {

// 0.3125 mV a count: the read-back scale of the 10 V ranges; tolerance 2 counts = 0.625 mV.
inline constexpr double kScale10 = 0.3125e-3;

inline trend::TimePoint at(int y, unsigned m, unsigned d, int hour = 8) {
    using namespace std::chrono;
    return sys_days{year{y} / month{m} / day{d}} + hours{hour};
}

inline trend::Residual counts(double c, double tolerance = 2.0, double scale = kScale10) {
    return trend::Residual{c, scale, tolerance};
}

inline trend::Calibration calibration(trend::TimePoint start, bool saved,
                                      std::vector<trend::Point> endPoints,
                                      std::vector<trend::Point> inputPoints = {}) {
    trend::Calibration c;
    c.start = start;
    c.saved = saved;
    c.endPoints = std::move(endPoints);
    c.inputPoints = std::move(inputPoints);
    return c;
}

} // namespace trend_testing
