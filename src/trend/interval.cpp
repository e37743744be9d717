#include "trend/interval.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace trend {

core::Status checkPolicy(const IntervalPolicy& p) {
    if (!(p.minDays >= 1 && p.minDays <= p.startDays && p.startDays <= p.maxDays &&
          p.maxDays <= 3650)) {
        return core::refuse("the interval's days must satisfy 1 <= minimum <= start <= maximum "
                            "<= 3650");
    }
    if (!(p.extendFactor >= 1.0 && p.extendFactor <= 10.0)) {
        return core::refuse("the interval's extend factor must lie from 1 to 10");
    }
    if (!(p.shortenFactor > 0.0 && p.shortenFactor <= 1.0)) {
        return core::refuse("the interval's shorten factor must lie above 0 and at most 1");
    }
    if (!(p.withinFraction > 0.0 && p.withinFraction <= 1.0)) {
        return core::refuse("the fraction of the tolerance must lie above 0 and at most 1");
    }
    return {};
}

Judged judgeAsFound(const Calibration& c, double withinFraction) {
    Judged j;
    bool any = false;
    bool out = false;
    bool beyondFraction = false;
    for (const auto* points : {&c.endPoints, &c.inputPoints}) {
        for (const Point& p : *points) {
            if (!p.asFound) {
                continue;
            }
            const double r = std::fabs(p.asFound->counts);
            const double t = p.asFound->toleranceCounts;
            const double ratio = t > 0.0   ? r / t
                                 : r > 0.0 ? std::numeric_limits<double>::infinity()
                                           : 0.0;
            if (!any || ratio > j.worstRatio) {
                j.worstRatio = ratio;
                j.worstPoint = p.name;
            }
            any = true;
            out = out || r > t;
            beyondFraction = beyondFraction || r > withinFraction * t;
        }
    }
    j.finding = !any             ? Finding::NotJudged
                : out            ? Finding::OutOfTolerance
                : beyondFraction ? Finding::WithinTolerance
                                 : Finding::WithinFraction;
    return j;
}

std::optional<Schedule> schedule(const std::vector<Calibration>& calibrations,
                                 const IntervalPolicy& policy) {
    if (calibrations.empty()) {
        return std::nullopt;
    }
    Schedule s;
    int days = policy.startDays;
    for (const Calibration& c : calibrations) {
        Step step;
        step.judged = judgeAsFound(c, policy.withinFraction);
        const double factor = step.judged.finding == Finding::WithinFraction ? policy.extendFactor
                              : step.judged.finding == Finding::OutOfTolerance
                                  ? policy.shortenFactor
                                  : 1.0;
        // Halves up: 365 × 0.5 = 182.5 gives 183 days.
        const double moved = std::floor(days * factor + 0.5);
        days = static_cast<int>(std::clamp(moved, static_cast<double>(policy.minDays),
                                           static_cast<double>(policy.maxDays)));
        step.days = days;
        s.steps.push_back(step);
    }
    s.days = days;
    s.due = calibrations.back().start + std::chrono::days{days};
    return s;
}

std::string findingText(Finding f, double withinFraction) {
    switch (f) {
    case Finding::WithinFraction: {
        char text[64];
        std::snprintf(text, sizeof text, "within %g %% of its tolerance", withinFraction * 100.0);
        return text;
    }
    case Finding::WithinTolerance:
        return "within its tolerance";
    case Finding::OutOfTolerance:
        return "out of tolerance";
    case Finding::NotJudged:
        break;
    }
    return "not judged";
}

} // namespace trend
