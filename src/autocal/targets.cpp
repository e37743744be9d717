// The six A/D targets of the run, from the reference voltages typed in and the readings of
// the 10.24V and 5.12V input ranges.
#include "autocal/run.h"

#include "caldata/conversions.h"
#include "caldata/messages.h"
#include "core/text.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace autocal {

namespace {

using card::Int16;
using card::Long;

bool fits16(double v) {
    return v >= std::numeric_limits<Int16>::min() && v <= std::numeric_limits<Int16>::max();
}

} // namespace

core::Result<Int16> codeOf(const caldata::CalibrationTable& table, caldata::Field f) {
    const std::string text = table.text(f);
    auto parsed = caldata::parseCode(text);
    if (!parsed) {
        return core::refuse(runFailure(caldata::textRefusal(f, text, parsed.refusal())));
    }
    return *parsed;
}

core::Result<PointTargets> pointTargets(double nominal, float reference, Int16 m, Int16 z) {
    if (reference == 0.0f || !std::isfinite(reference)) {
        return core::refuse("the reference is not a finite non-zero number");
    }
    const long span = long{m} - long{z};
    if (!fits16(static_cast<double>(span))) {
        return core::refuse("the readings " + std::to_string(m) + " and " + std::to_string(z) +
                            " differ by more than a 16-bit code");
    }
    // Double precision throughout; nearbyint rounds halves to even.
    const double scaled =
        std::nearbyint(nominal / static_cast<double>(reference) * static_cast<double>(span));
    if (!fits16(scaled)) {
        return core::refuse("the scaled span " + std::to_string(scaled) +
                            " leaves the 16-bit range");
    }
    const double plus = z + scaled;
    const double minus = z - plus;
    if (!fits16(plus) || !fits16(minus)) {
        return core::refuse("the targets " + std::to_string(static_cast<long>(plus)) + " and " +
                            std::to_string(static_cast<long>(minus)) + " leave the 16-bit range");
    }
    return PointTargets{static_cast<Int16>(plus), z, static_cast<Int16>(minus)};
}

namespace {

// The targets of one reference: from its box and the readings of its input row.
core::Result<PointTargets> referenceTargets(const caldata::CalibrationTable& table,
                                            card::Reference which) {
    const card::ReferenceFacts& ref = card::facts(which);
    const caldata::Field box = caldata::referenceBox(which);
    const std::string refText = table.text(box);
    const auto reference = caldata::parseReference(refText);
    if (!reference) {
        return core::refuse(runFailure(caldata::textRefusal(box, refText, reference.refusal())));
    }
    if (*reference == 0.0f) {
        return core::refuse(runFailure(caldata::textRefusal(box, refText, "is zero")));
    }
    const caldata::Field upper = caldata::aiMax(ref.targetRow);
    const caldata::Field lower = caldata::aiMin(ref.targetRow);
    const auto m = codeOf(table, upper);
    if (!m) {
        return m.failure();
    }
    const auto z = codeOf(table, lower);
    if (!z) {
        return z.failure();
    }
    auto t = pointTargets(ref.nominal, *reference, *m, *z);
    if (!t) {
        const auto quoted = [&](caldata::Field f) {
            return caldata::describe(f) + " " + core::quoteText(table.text(f));
        };
        return core::refuse(runFailure("the +" + std::to_string(static_cast<int>(ref.nominal)) +
                                       " V target from " + quoted(box) + ", " + quoted(upper) +
                                       " and " + quoted(lower) +
                                       " cannot be formed: " + t.refusal() + "."));
    }
    return t;
}

} // namespace

core::Result<Targets> computeTargets(const caldata::CalibrationTable& table) {
    // The 10 V targets first, then the 5 V ones.
    const auto ten = referenceTargets(table, card::Reference::Ref10V);
    if (!ten) {
        return ten.failure();
    }
    const auto five = referenceTargets(table, card::Reference::Ref5V);
    if (!five) {
        return five.failure();
    }
    Targets t;
    t.plus10 = ten->plus;
    t.zero10 = ten->zero;
    t.minus10 = ten->minus;
    t.plus5 = five->plus;
    t.zero5 = five->zero;
    t.minus5 = five->minus;
    return t;
}

Int16 targetOf(const Targets& t, const card::OutputRangeFacts& range, bool upper) {
    const bool ten = range.reference == card::Reference::Ref10V;
    if (upper) {
        return ten ? t.plus10 : t.plus5;
    }
    if (range.bipolar()) {
        return ten ? t.minus10 : t.minus5;
    }
    return ten ? t.zero10 : t.zero5;
}

Long scaledCode(Int16 code, double factor) {
    const double unsignedCode = static_cast<std::uint16_t>(code);
    return static_cast<Long>(std::nearbyint(unsignedCode * factor));
}

} // namespace autocal
