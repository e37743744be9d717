#include "record/calibration_record.h"

#include <cstdio>
#include <string>

namespace record {

PointResult assess(Pass pass, card::Int16 target, ReadBacks readBacks, UncertaintyBudget budget,
                   double voltsPerCount, const Tolerance& t, DecisionRule rule) {
    PointResult p;
    p.pass = pass;
    p.rule = rule;
    p.targetCode = target;
    p.residualCounts = readBacks.meanCounts - target;
    p.voltsPerCount = voltsPerCount;
    p.limits = limitsFor(rule, toleranceCounts(t, voltsPerCount), budget.expandedCounts);
    p.conformity = judge(pass, p.residualCounts, p.limits);
    p.readBacks = std::move(readBacks);
    p.budget = std::move(budget);
    return p;
}

namespace {

void count(const std::optional<PointResult>& p, PassCount& c, ConformitySummary& s) {
    if (!p) {
        return;
    }
    ++c.measured;
    c.notAccepted += p->conformity.accepted ? 0 : 1;
    s.budgetsComplete = s.budgetsComplete && p->budget.complete();
}

std::string ruleText(DecisionRule rule) {
    if (rule == DecisionRule::Simple) {
        return "simple acceptance (guard band w = 0, acceptance limit A = T)";
    }
    return "the binary rule of ILAC-G8:09/2019 with guard band w = U (acceptance limit "
           "A = T - U)";
}

std::string counted(const char* format, int a, int b) {
    char buf[160];
    std::snprintf(buf, sizeof buf, format, a, b);
    return buf;
}

} // namespace

ConformitySummary conformity(const CalibrationRecord& r) {
    ConformitySummary s;
    for (const OutputPoint& p : r.outputs) {
        count(p.asFound, s.outputsFound, s);
        count(p.asLeft, s.outputsLeft, s);
        s.noAcceptancePossible += p.asLeft && !p.asLeft->limits.acceptancePossible ? 1 : 0;
    }
    for (const InputPoint& p : r.inputs) {
        count(p.asFound, s.inputsFound, s);
        count(p.asLeft, s.inputsLeft, s);
        s.noAcceptancePossible += p.asLeft && !p.asLeft->limits.acceptancePossible ? 1 : 0;
    }
    constexpr int kAll = 2 * card::kOutputBoxCount;
    s.endPointsAccepted = s.outputsLeft.measured == kAll && s.outputsLeft.notAccepted == 0;
    const PassCount& ol = s.outputsLeft;
    const PassCount& il = s.inputsLeft;
    s.statement =
        counted("As left, %d of %d output end points", ol.measured - ol.notAccepted, kAll) +
        counted(" and %d of %d input points", il.measured - il.notAccepted,
                2 * card::kInputRangeCount) +
        " conform to their tolerances under " + ruleText(r.rule) + ", U at k = 2." +
        counted(" As found, %d of %d measured output end points", s.outputsFound.notAccepted,
                s.outputsFound.measured) +
        counted(" and %d of %d measured input points were outside their tolerances.",
                s.inputsFound.notAccepted, s.inputsFound.measured);
    if (s.noAcceptancePossible > 0) {
        s.statement += " At " + std::to_string(s.noAcceptancePossible) +
                       (s.noAcceptancePossible == 1 ? " point" : " points") +
                       " U is not smaller than T: no result there can be accepted under this "
                       "rule.";
    }
    if (!s.budgetsComplete) {
        s.statement += " Some uncertainties leave out terms that could not be evaluated (each "
                       "budget names them).";
    }
    return s;
}

} // namespace record
