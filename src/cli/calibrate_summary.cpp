// calibrate's summary table: every point's residual, uncertainty and verdict as found and
// as left, and the statement of conformity.
#include "caldata/conversions.h"
#include "cli/record.h"

#include <cstdio>
#include <ostream>

namespace cli {

namespace {

// "  8008  +0.33 ±0.62 pass" or dashes for a point not measured.
std::string pointText(const std::optional<card::Int16>& code,
                      const std::optional<record::PointResult>& p) {
    char text[96];
    if (!p) {
        std::snprintf(text, sizeof text, "  %5s %7s %6s %-16s",
                      code ? caldata::hexText16(*code).c_str() : "-", "-", "-", "");
    } else {
        std::snprintf(text, sizeof text, "  %5s %+7.2f %6.2f %-16s",
                      code ? caldata::hexText16(*code).c_str() : "-", p->residualCounts,
                      p->budget.expandedCounts,
                      std::string(record::verdictName(p->conformity.verdict)).c_str());
    }
    return text;
}

std::string trimmed(std::string line) {
    line.erase(line.find_last_not_of(' ') + 1);
    return line;
}

} // namespace

void printSummary(std::ostream& out, const Record& r, const record::CalibrationRecord& c) {
    out << "Board " << r.board << ", register base " << hex32(r.registerBase) << ", references "
        << caldata::formatReference(r.ref10) << " V and " << caldata::formatReference(r.ref5)
        << " V, tolerance " << r.tolerance << " counts, " << r.repeats << " read-backs a point, "
        << record::ruleName(r.rule) << "\n";
    out << "Residuals and expanded uncertainties (k = 2) in counts of the read-back range.\n";
    out << "end point                      target   found   resid      U verdict            "
           "left   resid      U verdict\n";
    const auto row = [&out](const caldata::Field f, const std::string& target, const auto& p) {
        char head[64];
        std::snprintf(head, sizeof head, "%-30s %6s", caldata::describe(f).c_str(), target.c_str());
        out << trimmed(head + pointText(p.codeFound, p.asFound) + pointText(p.codeLeft, p.asLeft))
            << "\n";
    };
    for (const record::OutputPoint& p : c.outputs) {
        row(endPointField(2 * p.box + (p.upper ? 0 : 1)),
            p.targetCode ? std::to_string(*p.targetCode) : "-", p);
    }
    out << "input point                           found   resid      U verdict            "
           "left   resid      U verdict\n";
    for (const record::InputPoint& p : c.inputs) {
        row(inputPointField(2 * p.range + (p.upper ? 0 : 1)), "", p);
    }
    if (r.targets) {
        out << record::conformity(c).statement << " ";
    } else {
        out << "Not judged: the automatic calibration did not form its targets. ";
    }
    out << (r.saved ? "Saved into the EEPROM." : "Not saved.") << "\n";
    if (r.outcome != kCompleted) {
        out << "Outcome: " << r.outcome << ". " << r.message << "\n";
    }
}

} // namespace cli
