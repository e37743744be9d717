#include "record/decision.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace record {

std::string_view unitName(Unit u) {
    return u == Unit::Counts ? "counts" : "volts";
}

double toleranceCounts(const Tolerance& t, double voltsPerCount) {
    return t.unit == Unit::Counts ? t.value : t.value / voltsPerCount;
}

std::string_view ruleName(DecisionRule r) {
    return r == DecisionRule::Simple ? "simple" : "ilac-g8-guard-band";
}

std::optional<DecisionRule> parseDecisionRule(std::string_view text) {
    for (const DecisionRule r : {DecisionRule::Simple, DecisionRule::GuardBand}) {
        if (text == ruleName(r)) {
            return r;
        }
    }
    return std::nullopt;
}

std::string_view verdictName(Verdict v) {
    switch (v) {
    case Verdict::Pass:
        return "pass";
    case Verdict::ConditionalPass:
        return "conditional pass";
    case Verdict::ConditionalFail:
        return "conditional fail";
    case Verdict::Fail:
        break;
    }
    return "fail";
}

Limits limitsFor(DecisionRule rule, double t, double u) {
    Limits l;
    l.toleranceCounts = t;
    l.expandedUncertaintyCounts = u;
    l.guardBandCounts = rule == DecisionRule::GuardBand ? u : 0.0;
    l.acceptanceLimitCounts = t - l.guardBandCounts;
    l.testUncertaintyRatio =
        u > 0.0 ? (2.0 * t) / (2.0 * u) : std::numeric_limits<double>::infinity();
    l.acceptancePossible = rule == DecisionRule::Simple || l.acceptanceLimitCounts > 0.0;
    return l;
}

namespace {

std::string figure(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3g", v);
    return buf;
}

} // namespace

std::string limitsNote(DecisionRule rule, const Limits& l) {
    const double t = l.toleranceCounts;
    const double u = l.expandedUncertaintyCounts;
    if (!l.acceptancePossible) {
        return "U = " + figure(u) + " counts is not smaller than T = " + figure(t) +
               " counts: no result can be accepted under the " + std::string(ruleName(rule)) +
               " rule.";
    }
    if (!(l.testUncertaintyRatio < 4.0)) {
        return {};
    }
    const std::string tur = "TUR " + figure(l.testUncertaintyRatio) + " is below 4: ";
    if (rule == DecisionRule::GuardBand) {
        return tur + "the guard band takes " + figure(100.0 * u / t) + " % of the tolerance.";
    }
    return tur + "under simple acceptance a result near the limit runs up to a 50 % risk of a "
                 "false pass.";
}

Verdict verdictOf(double r, const Limits& l) {
    const double a = std::abs(r);
    const double t = l.toleranceCounts;
    const double u = l.expandedUncertaintyCounts;
    if (t - u > 0.0 && a <= t - u) {
        return Verdict::Pass;
    }
    if (a <= t) {
        return Verdict::ConditionalPass;
    }
    if (a <= t + u) {
        return Verdict::ConditionalFail;
    }
    return Verdict::Fail;
}

Conformity judge(Pass pass, double r, const Limits& l) {
    Conformity c;
    c.verdict = verdictOf(r, l);
    if (pass == Pass::AsFound) {
        c.limitCounts = l.toleranceCounts;
        c.accepted = std::abs(r) <= l.toleranceCounts;
    } else {
        c.limitCounts = l.acceptanceLimitCounts;
        c.accepted = l.acceptancePossible && std::abs(r) <= l.acceptanceLimitCounts;
    }
    return c;
}

} // namespace record
