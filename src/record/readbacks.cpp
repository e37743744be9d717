#include "record/readbacks.h"

#include <cmath>

namespace record {

std::optional<ReadBacks> summarise(std::vector<card::Int16> readings) {
    if (readings.empty()) {
        return std::nullopt;
    }
    ReadBacks r;
    r.readings = std::move(readings);
    const double n = static_cast<double>(r.readings.size());
    double sum = 0.0;
    for (const card::Int16 x : r.readings) {
        sum += x;
    }
    r.meanCounts = sum / n;
    if (r.readings.size() >= 2) {
        // Two passes: the squares of the deviations from the mean, not of the readings.
        double squares = 0.0;
        for (const card::Int16 x : r.readings) {
            squares += (x - r.meanCounts) * (x - r.meanCounts);
        }
        const double s = std::sqrt(squares / (n - 1.0));
        r.standardDeviationCounts = s;
        r.standardDeviationOfMeanCounts = s / std::sqrt(n);
    }
    return r;
}

} // namespace record
