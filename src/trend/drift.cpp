#include "trend/drift.h"

#include <algorithm>
#include <cmath>

namespace trend {

std::optional<Residual> leftOnCard(const Point& p, bool saved) {
    return saved ? p.asLeft : p.asFound;
}

namespace {

const Point* find(const Calibration& c, const std::string& name) {
    const auto it = std::find_if(c.endPoints.begin(), c.endPoints.end(),
                                 [&name](const Point& p) { return p.name == name; });
    return it == c.endPoints.end() ? nullptr : &*it;
}

double daysBetween(TimePoint from, TimePoint to) {
    return std::chrono::duration<double, std::ratio<86400>>(to - from).count();
}

// The end points' names: the last calibration's in its order, then any only earlier ones had.
std::vector<std::string> names(const std::vector<Calibration>& calibrations) {
    std::vector<std::string> out;
    for (auto c = calibrations.rbegin(); c != calibrations.rend(); ++c) {
        for (const Point& p : c->endPoints) {
            if (std::find(out.begin(), out.end(), p.name) == out.end()) {
                out.push_back(p.name);
            }
        }
    }
    return out;
}

EndPointDrift endPointDrift(const std::vector<Calibration>& calibrations, const std::string& name,
                            std::optional<TimePoint> due) {
    EndPointDrift d;
    d.name = name;
    double change = 0.0;
    double days = 0.0;
    for (std::size_t i = 1; i < calibrations.size(); ++i) {
        const Calibration& before = calibrations[i - 1];
        const Calibration& after = calibrations[i];
        const Point* left = find(before, name);
        const Point* found = find(after, name);
        const double span = daysBetween(before.start, after.start);
        if (!after.changedBefore.empty() || left == nullptr || found == nullptr || span <= 0.0) {
            continue;
        }
        const std::optional<Residual> l = leftOnCard(*left, before.saved);
        if (!l || !found->asFound) {
            continue;
        }
        const double moved = found->asFound->volts() - l->volts();
        d.spans.push_back(
            {static_cast<int>(i - 1), static_cast<int>(i), span, moved / span * kDaysPerYear});
        change += moved;
        days += span;
    }
    if (days > 0.0) {
        d.voltsPerYear = change / days * kDaysPerYear;
    }
    const Calibration& last = calibrations.back();
    const Point* p = find(last, name);
    if (p == nullptr) {
        return d;
    }
    const std::optional<Residual> left = leftOnCard(*p, last.saved);
    const std::optional<Residual>& judged = p->asLeft ? p->asLeft : p->asFound;
    d.toleranceVolts = judged ? judged->toleranceVolts() : 0.0;
    if (left) {
        d.leftVolts = left->volts();
    }
    if (left && d.voltsPerYear && due) {
        d.atDueVolts =
            left->volts() + *d.voltsPerYear * daysBetween(last.start, *due) / kDaysPerYear;
        d.atRisk = std::fabs(*d.atDueVolts) > d.toleranceVolts;
    }
    return d;
}

} // namespace

Drift drift(const std::vector<Calibration>& calibrations, std::optional<TimePoint> due) {
    Drift out;
    if (calibrations.empty()) {
        return out;
    }
    for (const std::string& name : names(calibrations)) {
        out.endPoints.push_back(endPointDrift(calibrations, name, due));
        if (out.endPoints.back().atRisk) {
            out.atRisk.push_back(name);
        }
    }
    return out;
}

} // namespace trend
