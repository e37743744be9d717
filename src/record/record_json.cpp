#include "record/record_json.h"

#include "caldata/conversions.h"
#include "caldata/table.h"
#include "record/seal.h"

#include <QJsonArray>

#include <cmath>
#include <cstdio>

namespace record {

namespace {

QString text(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QJsonValue figureOrNotRecorded(const std::optional<double>& v) {
    return v ? QJsonValue(*v) : QJsonValue(text(kNotRecorded));
}

QJsonValue number(double v) {
    return std::isfinite(v) ? QJsonValue(v) : QJsonValue::Null;
}

QJsonValue codeJson(const std::optional<card::Int16>& code) {
    return code ? QJsonValue(text(caldata::hexText16(*code))) : QJsonValue::Null;
}

QJsonArray words(const card::EepImage& image) {
    QJsonArray a;
    for (std::size_t w = 0; w < card::kEepromWords; ++w) {
        a.append(static_cast<int>(image[w] & 0xFFFF));
    }
    return a;
}

QJsonObject budgetJson(const UncertaintyBudget& b) {
    QJsonArray terms;
    for (const UncertaintyTerm& t : b.terms) {
        terms.append(QJsonObject{{"name", text(t.name)},
                                 {"evaluation", text(t.evaluation)},
                                 {"counts", t.counts},
                                 {"volts", t.volts}});
    }
    QJsonArray missing;
    for (const std::string& name : b.notEvaluated) {
        missing.append(text(name));
    }
    return QJsonObject{{"terms", terms},
                       {"notEvaluated", missing},
                       {"combinedCounts", b.combinedCounts},
                       {"combinedVolts", b.combinedVolts},
                       {"coverageFactor", b.coverageFactor},
                       {"expandedCounts", b.expandedCounts},
                       {"expandedVolts", b.expandedVolts}};
}

QJsonArray countsJson(const std::vector<card::Int16>& counts) {
    QJsonArray a;
    for (const card::Int16 c : counts) {
        a.append(c);
    }
    return a;
}

QJsonValue resultJson(const std::optional<PointResult>& p) {
    return p ? QJsonValue(pointResultJson(*p)) : QJsonValue::Null;
}

QJsonArray outputsJson(const CalibrationRecord& r) {
    QJsonArray a;
    for (const OutputPoint& p : r.outputs) {
        const card::OutputBoxFacts& box = card::kOutputBoxes[static_cast<std::size_t>(p.box)];
        const card::OutputRangeFacts& range = box.rangeFacts();
        const caldata::Field f = p.upper ? caldata::aoMax(p.box) : caldata::aoMin(p.box);
        a.append(
            QJsonObject{{"endPoint", text(caldata::describe(f))},
                        {"channel", box.channel},
                        {"range", text(range.caption)},
                        {"point", p.upper ? "upper" : "lower"},
                        {"nominalVolts", p.upper ? range.high : range.low},
                        {"targetCode", p.targetCode ? QJsonValue(*p.targetCode) : QJsonValue()},
                        {"codeFound", codeJson(p.codeFound)},
                        {"codeLeft", codeJson(p.codeLeft)},
                        {"asFound", resultJson(p.asFound)},
                        {"asLeft", resultJson(p.asLeft)},
                        {"readingsFoundCounts", countsJson(p.readingsFound)},
                        {"readingsLeftCounts", countsJson(p.readingsLeft)}});
    }
    return a;
}

QJsonArray inputsJson(const CalibrationRecord& r) {
    QJsonArray a;
    for (const InputPoint& p : r.inputs) {
        const card::InputRangeFacts& range = card::kInputRanges[static_cast<std::size_t>(p.range)];
        a.append(QJsonObject{{"range", text(range.caption)},
                             {"point", p.upper ? "upper" : "zero"},
                             {"label", text(p.upper ? range.upperLabel : card::kInputLowerLabel)},
                             {"codeFound", codeJson(p.codeFound)},
                             {"codeLeft", codeJson(p.codeLeft)},
                             {"asFound", resultJson(p.asFound)},
                             {"asLeft", resultJson(p.asLeft)}});
    }
    return a;
}

QJsonObject uncertaintyJson(const MeterUncertainty& u) {
    return QJsonObject{{"ppmOfReading", u.ppmOfReading},
                       {"ppmOfRange", u.ppmOfRange},
                       {"rangeVolts", u.rangeVolts},
                       {"coverageFactor", u.coverageFactor}};
}

QJsonValue meterJson(const CalibrationRecord& r) {
    if (!r.station.meter) {
        return text(kNotRecorded);
    }
    const ReferenceMeter& m = *r.station.meter;
    const std::optional<Date> day = dateOfUtc(r.startUtc);
    const DueState due = day ? dueState(r.station, *day) : DueState::NotRecorded;
    return QJsonObject{
        {"make", text(orNotRecorded(m.make))},
        {"model", text(orNotRecorded(m.model))},
        {"serialNumber", text(orNotRecorded(m.serialNumber))},
        {"certificateNumber", text(orNotRecorded(m.certificateNumber))},
        {"dueDate", text(m.dueDate ? formatDate(*m.dueDate) : std::string(kNotRecorded))},
        {"uncertainty", m.uncertainty ? QJsonValue(uncertaintyJson(*m.uncertainty))
                                      : QJsonValue(text(kNotRecorded))},
        {"pastDue", due == DueState::NotRecorded ? QJsonValue(text(kNotRecorded))
                                                 : QJsonValue(due == DueState::PastDue)},
        {"usedPastDue", r.meterUsedPastDue}};
}

QJsonObject tolerancesJson(const Tolerances& t) {
    const auto one = [](std::string_view range, const Tolerance& tol) {
        return QJsonObject{
            {"range", text(range)}, {"value", tol.value}, {"unit", text(unitName(tol.unit))}};
    };
    QJsonArray outputs;
    for (std::size_t i = 0; i < card::kOutputRanges.size(); ++i) {
        outputs.append(one(card::kOutputRanges[i].caption, t.outputRanges[i]));
    }
    QJsonArray inputs;
    for (std::size_t j = 0; j < card::kInputRanges.size(); ++j) {
        inputs.append(one(card::kInputRanges[j].caption, t.inputRanges[j]));
    }
    return QJsonObject{{"outputRanges", outputs}, {"inputRanges", inputs}};
}

QJsonObject conformityJson(const CalibrationRecord& r) {
    const ConformitySummary s = conformity(r);
    const auto pass = [](const PassCount& c) {
        return QJsonObject{{"measured", c.measured}, {"notAccepted", c.notAccepted}};
    };
    return QJsonObject{
        {"statement", text(s.statement)},       {"outputsAsFound", pass(s.outputsFound)},
        {"outputsAsLeft", pass(s.outputsLeft)}, {"inputsAsFound", pass(s.inputsFound)},
        {"inputsAsLeft", pass(s.inputsLeft)},   {"noAcceptancePossible", s.noAcceptancePossible},
        {"budgetsComplete", s.budgetsComplete}, {"endPointsAccepted", s.endPointsAccepted}};
}

std::string hex32(std::uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", v);
    return buf;
}

} // namespace

QJsonObject pointResultJson(const PointResult& p) {
    QJsonArray readings;
    for (const card::Int16 x : p.readBacks.readings) {
        readings.append(x);
    }
    const ReadBacks& rb = p.readBacks;
    const Limits& l = p.limits;
    const bool asLeft = p.pass == Pass::AsLeft;
    QJsonObject o{
        {"readingsCounts", readings},
        {"meanCounts", rb.meanCounts},
        {"standardDeviationCounts",
         rb.standardDeviationCounts ? QJsonValue(*rb.standardDeviationCounts) : QJsonValue()},
        {"standardDeviationOfMeanCounts", rb.standardDeviationOfMeanCounts
                                              ? QJsonValue(*rb.standardDeviationOfMeanCounts)
                                              : QJsonValue()},
        {"targetCode", p.targetCode},
        {"residualCounts", p.residualCounts},
        {"residualVolts", p.residualVolts()},
        {"voltsPerCount", p.voltsPerCount},
        {"uncertainty", budgetJson(p.budget)},
        {"toleranceCounts", l.toleranceCounts},
        {"toleranceVolts", l.toleranceCounts * p.voltsPerCount},
        {"guardBandCounts", l.guardBandCounts},
        {"acceptanceLimitCounts", l.acceptanceLimitCounts},
        {"acceptanceLimitVolts", l.acceptanceLimitCounts * p.voltsPerCount},
        {"acceptancePossible", l.acceptancePossible},
        {"testUncertaintyRatio", number(l.testUncertaintyRatio)},
        {"judgedAgainst", asLeft ? "acceptance limit" : "tolerance"},
        {"limitCounts", p.conformity.limitCounts},
        {"accepted", p.conformity.accepted},
        {"verdict", text(verdictName(p.conformity.verdict))}};
    if (const std::string note = limitsNote(p.rule, l); !note.empty()) {
        o["note"] = text(note);
    }
    return o;
}

QJsonObject recordJson(const CalibrationRecord& r) {
    const Station& st = r.station;
    QJsonObject o{
        {"recordVersion", kRecordVersion},
        {"title", "Calibration record"},
        {"id", text(r.id)},
        {"outcome", text(r.outcome)},
        {"calibrated", QJsonObject{{"endPoints", r.calibratedEndPoints},
                                   {"inputPoints", r.calibratedInputPoints}}},
        {"laboratory", QJsonObject{{"name", text(orNotRecorded(st.laboratoryName))},
                                   {"address", text(orNotRecorded(st.laboratoryAddress))}}},
        {"operator", text(orNotRecorded(st.operatorName))},
        {"item", QJsonObject{{"model", "MX-4815"},
                             {"board", r.board},
                             {"registerBase", text(hex32(r.registerBase))},
                             {"cardFingerprint", text(r.cardFingerprint)}}},
        {"method", QJsonObject{{"procedure", text(orNotRecorded(r.procedure))},
                               {"procedureVersion", text(orNotRecorded(r.procedureVersion))},
                               {"program", text(r.program)},
                               {"programVersion", text(r.programVersion)},
                               {"repeats", r.repeats}}},
        {"dates", QJsonObject{{"startUtc", text(r.startUtc)}, {"endUtc", text(r.endUtc)}}},
        {"environment",
         QJsonObject{{"temperatureCelsius", figureOrNotRecorded(r.environment.temperatureCelsius)},
                     {"relativeHumidityPercent",
                      figureOrNotRecorded(r.environment.relativeHumidityPercent)}}},
        {"traceability", QJsonObject{{"referenceMeter", meterJson(r)},
                                     {"references", QJsonObject{{"ref10V", r.ref10Volts},
                                                                {"ref5V", r.ref5Volts}}}}},
        {"decisionRule",
         QJsonObject{{"name", text(ruleName(r.rule))},
                     {"guardBand", r.rule == DecisionRule::Simple ? "w = 0" : "w = U"},
                     {"coverageFactor", kCoverageFactor}}},
        {"tolerances", tolerancesJson(r.tolerances)},
        {"outputs", outputsJson(r)},
        {"inputs", inputsJson(r)},
        {"conformity", conformityJson(r)},
        {"scope", "The results relate only to the item calibrated."},
        {"saved", r.saved},
        {"eepromBefore", words(r.eepromBefore)},
        {"eepromAfter", r.eepromAfter ? QJsonValue(words(*r.eepromAfter)) : QJsonValue()}};
    if (!r.message.empty()) {
        o["message"] = text(r.message);
    }
    return o;
}

QJsonObject sealedRecordJson(const CalibrationRecord& r) {
    return sealed(recordJson(r));
}

QJsonObject stationJson(const Station& s) {
    QJsonObject o;
    const auto put = [](QJsonObject& to, const char* key, const std::string& value) {
        if (!value.empty()) {
            to[key] = text(value);
        }
    };
    put(o, "laboratoryName", s.laboratoryName);
    put(o, "laboratoryAddress", s.laboratoryAddress);
    put(o, "operator", s.operatorName);
    if (s.meter) {
        const ReferenceMeter& m = *s.meter;
        QJsonObject mo;
        put(mo, "make", m.make);
        put(mo, "model", m.model);
        put(mo, "serialNumber", m.serialNumber);
        put(mo, "certificateNumber", m.certificateNumber);
        if (m.dueDate) {
            mo["dueDate"] = text(formatDate(*m.dueDate));
        }
        if (m.uncertainty) {
            mo["uncertainty"] = uncertaintyJson(*m.uncertainty);
        }
        o["referenceMeter"] = mo;
    }
    return o;
}

namespace {

// A text member: absent is empty; anything but a string is refused.
core::Result<std::string> textMember(const QJsonObject& o, const char* key) {
    const QJsonValue v = o.value(key);
    if (v.isUndefined()) {
        return std::string();
    }
    if (!v.isString()) {
        return core::refuse(std::string("the station's \"") + key + "\" is not a text");
    }
    return v.toString().toStdString();
}

core::Result<MeterUncertainty> uncertaintyFromJson(const QJsonValue& v) {
    MeterUncertainty u;
    const QJsonObject o = v.toObject();
    const std::pair<const char*, double*> figures[] = {{"ppmOfReading", &u.ppmOfReading},
                                                       {"ppmOfRange", &u.ppmOfRange},
                                                       {"rangeVolts", &u.rangeVolts},
                                                       {"coverageFactor", &u.coverageFactor}};
    for (const auto& [key, to] : figures) {
        const QJsonValue f = o.value(key);
        if (!f.isDouble()) {
            return core::refuse(std::string("the meter's uncertainty has no number \"") + key +
                                "\"");
        }
        *to = f.toDouble();
    }
    if (!plausible(u)) {
        return core::refuse("the meter's uncertainty is not plausible (figures below 0, or a "
                            "range or coverage factor of 0)");
    }
    return u;
}

core::Result<ReferenceMeter> meterFromJson(const QJsonObject& o) {
    ReferenceMeter m;
    const std::pair<const char*, std::string*> texts[] = {
        {"make", &m.make},
        {"model", &m.model},
        {"serialNumber", &m.serialNumber},
        {"certificateNumber", &m.certificateNumber}};
    for (const auto& [key, to] : texts) {
        auto t = textMember(o, key);
        if (!t) {
            return t.failure();
        }
        *to = *t;
    }
    if (o.contains("dueDate")) {
        const auto due = parseDate(o.value("dueDate").toString().toStdString());
        if (!due) {
            return core::refuse("the meter's due date is not a date YYYY-MM-DD");
        }
        m.dueDate = *due;
    }
    if (o.contains("uncertainty")) {
        auto u = uncertaintyFromJson(o.value("uncertainty"));
        if (!u) {
            return u.failure();
        }
        m.uncertainty = *u;
    }
    return m;
}

} // namespace

core::Result<Station> stationFromJson(const QJsonObject& o) {
    Station s;
    const std::pair<const char*, std::string*> texts[] = {
        {"laboratoryName", &s.laboratoryName},
        {"laboratoryAddress", &s.laboratoryAddress},
        {"operator", &s.operatorName}};
    for (const auto& [key, to] : texts) {
        auto t = textMember(o, key);
        if (!t) {
            return t.failure();
        }
        *to = *t;
    }
    if (o.contains("referenceMeter")) {
        if (!o.value("referenceMeter").isObject()) {
            return core::refuse("the station's \"referenceMeter\" is not an object");
        }
        auto m = meterFromJson(o.value("referenceMeter").toObject());
        if (!m) {
            return m.failure();
        }
        s.meter = *m;
    }
    return s;
}

} // namespace record
