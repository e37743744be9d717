#include "record/budget.h"

#include <cmath>

namespace record {

namespace {

const double kSqrt3 = std::sqrt(3.0);

UncertaintyTerm term(std::string_view name, std::string_view evaluation, double counts,
                     double vpc) {
    return UncertaintyTerm{std::string(name), std::string(evaluation), counts, counts * vpc};
}

// The type A term of the read-backs, or its name among those not evaluated.
void addRepeatability(const ReadBacks& r, double vpc, std::vector<UncertaintyTerm>& terms,
                      std::vector<std::string>& notEvaluated) {
    if (r.standardDeviationOfMeanCounts) {
        terms.push_back(term(kRepeatabilityTerm, "type A", *r.standardDeviationOfMeanCounts, vpc));
    } else {
        notEvaluated.emplace_back(kRepeatabilityTerm);
    }
}

} // namespace

double voltsPerCount(card::Gain g) {
    return card::fullScaleOfGain(card::code(g)).value_or(0.0) / 32768.0;
}

double nominalSlope(const card::OutputRangeFacts& range) {
    return (range.high - range.low) / 65536.0 / voltsPerCount(range.readBack);
}

const card::OutputRangeFacts& rangeOf(const EndPointSetup& p) {
    return card::kOutputBoxes[static_cast<std::size_t>(p.box)].rangeFacts();
}

card::Int16 targetOf(const EndPointSetup& p) {
    return autocal::targetOf(p.targets, rangeOf(p), p.upper);
}

double voltsPerCount(const EndPointSetup& p) {
    return voltsPerCount(rangeOf(p).readBack);
}

double referenceSpanCounts(const EndPointSetup& p) {
    const card::OutputRangeFacts& range = rangeOf(p);
    if (!p.upper && !range.bipolar()) {
        return 0.0;
    }
    const bool ten = range.reference == card::Reference::Ref10V;
    const double plus = ten ? p.targets.plus10 : p.targets.plus5;
    const double zero = ten ? p.targets.zero10 : p.targets.zero5;
    return std::abs(plus - zero);
}

UncertaintyBudget endPointBudget(const EndPointSetup& p, const ReadBacks& readBacks,
                                 const std::optional<MeterUncertainty>& meter) {
    const double vpc = voltsPerCount(p);
    const double span = referenceSpanCounts(p);
    const double v = rangeOf(p).reference == card::Reference::Ref10V ? p.ref10Volts : p.ref5Volts;
    std::vector<UncertaintyTerm> terms;
    std::vector<std::string> notEvaluated;
    if (span == 0.0) {
        terms.push_back(term(kReferenceMeterTerm, "type B, normal", 0.0, vpc));
    } else if (meter && v != 0.0) {
        const double uRef = standardVolts(*meter, v);
        terms.push_back(
            term(kReferenceMeterTerm, "type B, normal", span * uRef / std::abs(v), vpc));
    } else {
        notEvaluated.emplace_back(kReferenceMeterTerm);
    }
    terms.push_back(term(kAdResolutionTerm, "type B, rectangular", 0.5 / kSqrt3, vpc));
    const double slope = p.slopeCountsPerCode.value_or(nominalSlope(rangeOf(p)));
    terms.push_back(
        term(kDaResolutionTerm, "type B, rectangular", 0.5 * std::abs(slope) / kSqrt3, vpc));
    addRepeatability(readBacks, vpc, terms, notEvaluated);
    return combine(std::move(terms), std::move(notEvaluated), vpc);
}

UncertaintyBudget inputPointBudget(card::Gain g, const ReadBacks& readBacks) {
    const double vpc = voltsPerCount(g);
    std::vector<UncertaintyTerm> terms;
    std::vector<std::string> notEvaluated;
    terms.push_back(term(kAdResolutionTerm, "type B, rectangular", 0.5 / kSqrt3, vpc));
    addRepeatability(readBacks, vpc, terms, notEvaluated);
    return combine(std::move(terms), std::move(notEvaluated), vpc);
}

UncertaintyBudget combine(std::vector<UncertaintyTerm> terms, std::vector<std::string> notEvaluated,
                          double vpc) {
    UncertaintyBudget b;
    double squares = 0.0;
    for (const UncertaintyTerm& t : terms) {
        squares += t.counts * t.counts;
    }
    b.terms = std::move(terms);
    b.notEvaluated = std::move(notEvaluated);
    b.combinedCounts = std::sqrt(squares);
    b.combinedVolts = b.combinedCounts * vpc;
    b.expandedCounts = b.coverageFactor * b.combinedCounts;
    b.expandedVolts = b.expandedCounts * vpc;
    return b;
}

} // namespace record
