#pragma once

#include "card/types.h"

#include <optional>
#include <vector>

// Repeated read-backs of one settled point.
namespace record {

struct ReadBacks {
    std::vector<card::Int16> readings; // A/D counts, in the order taken
    double meanCounts = 0.0;
    // The experimental standard deviation s (n - 1 in the denominator) and that of the mean,
    // s / sqrt(n); nothing with a single reading, where no spread can be estimated.
    std::optional<double> standardDeviationCounts;
    std::optional<double> standardDeviationOfMeanCounts;

    int count() const { return static_cast<int>(readings.size()); }
};

// The mean and spreads of the readings; nothing when there is none.
std::optional<ReadBacks> summarise(std::vector<card::Int16> readings);

} // namespace record
