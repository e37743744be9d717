// The seal over the record's canonical form, and the record's and station's JSON forms.
#include "record/record_json.h"
#include "record/seal.h"
#include "record/sha256.h"
#include "support/schema_check.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

namespace {

using namespace record;

QJsonObject parse(const char* json) {
    return QJsonDocument::fromJson(QByteArray(json)).object();
}

TEST(Seal, CanonicalFormSortsMembersAndDropsWhitespace) {
    const QJsonObject o = parse(R"({ "b": [1, 2.0, true, null], "a": {"d": "x", "c": 1e2} })");
    EXPECT_EQ(canonicalJson(o), R"({"a":{"c":100,"d":"x"},"b":[1,2,true,null]})");
    // Names in the order of their UTF-16 code units: U+1F600 (D83D DE00) before U+FB01,
    // though its code point is the larger.
    const QJsonObject names{{QString::fromUtf8("\xef\xac\x81"), 1},
                            {QString::fromUtf8("\xf0\x9f\x98\x80"), 2}};
    EXPECT_EQ(canonicalJson(names), "{\"\xf0\x9f\x98\x80\":2,\"\xef\xac\x81\":1}");
    // The digest is SHA-256 of exactly those bytes, so anyone can recompute it.
    EXPECT_EQ(sealDigest(o), sha256Hex(R"({"a":{"c":100,"d":"x"},"b":[1,2,true,null]})"));
}

TEST(Seal, SurvivesReformattingAndCatchesAnyChange) {
    QJsonObject r = parse(R"({"recordVersion": 3, "outcome": "completed", "x": [0.25, -3]})");
    r = sealed(r);
    EXPECT_TRUE(verifySeal(r));
    EXPECT_EQ(r["seal"].toObject()["algorithm"].toString(), "SHA-256");
    // Stored indented and read back (as a database gives it back): the same seal holds.
    const QJsonObject stored =
        QJsonDocument::fromJson(QJsonDocument(r).toJson(QJsonDocument::Indented)).object();
    EXPECT_TRUE(verifySeal(stored));
    // One value changed: refused, naming both digests.
    QJsonObject changed = stored;
    changed["outcome"] = "out of tolerance";
    const core::Status s = verifySeal(changed);
    ASSERT_FALSE(s);
    EXPECT_EQ(s.kind(), core::Kind::File);
    EXPECT_NE(s.refusal().find(sealDigest(changed)), std::string::npos);
    changed.remove("seal");
    EXPECT_EQ(verifySeal(changed).refusal(), "the record has no seal");
}

TEST(RecordJson, ItemsOfTheCertificateAndEachPointsUncertainty) {
    CalibrationRecord r;
    r.id = "0b7f";
    r.outcome = "completed";
    r.startUtc = "2025-04-01T08:00:00Z";
    r.station.meter = ReferenceMeter{
        "Fluke", "8846A", "", "", parseDate("2025-03-31"), MeterUncertainty{35.0, 5.0, 10.0, 2.0}};
    r.meterUsedPastDue = true;
    OutputPoint p;
    p.box = 3;
    p.targetCode = 32000;
    ReadBacks rb = *summarise({32000, 32001});
    UncertaintyBudget b =
        combine({UncertaintyTerm{"adResolution", "type B, rectangular", 1.0, 0.3125e-3}},
                {"repeatability"}, 0.3125e-3);
    p.asLeft = assess(Pass::AsLeft, 32000, rb, b, 0.3125e-3, Tolerance{}, DecisionRule::Simple);
    r.outputs.push_back(p);
    const QJsonObject o = sealedRecordJson(r);
    EXPECT_TRUE(verifySeal(o));
    EXPECT_EQ(o["recordVersion"].toInt(), 3);
    EXPECT_EQ(o["laboratory"].toObject()["name"].toString(), "not recorded");
    EXPECT_EQ(o["environment"].toObject()["temperatureCelsius"].toString(), "not recorded");
    const QJsonObject meter = o["traceability"].toObject()["referenceMeter"].toObject();
    EXPECT_EQ(meter["serialNumber"].toString(), "not recorded");
    EXPECT_TRUE(meter["pastDue"].toBool());
    EXPECT_TRUE(meter["usedPastDue"].toBool());
    // U = 2 x 1 count; simple acceptance: A = T = 2; r = 0.5 accepted; TUR 1 noted.
    const QJsonObject left = o["outputs"].toArray()[0].toObject()["asLeft"].toObject();
    EXPECT_EQ(left["judgedAgainst"].toString(), "acceptance limit");
    EXPECT_DOUBLE_EQ(left["uncertainty"].toObject()["expandedVolts"].toDouble(), 0.625e-3);
    EXPECT_EQ(left["uncertainty"].toObject()["notEvaluated"].toArray()[0].toString(),
              "repeatability");
    EXPECT_EQ(left["verdict"].toString(), "conditional pass");
    EXPECT_TRUE(left["accepted"].toBool());
    EXPECT_TRUE(left.contains("note"));
    // One end point of sixteen measured: the end points are not all accepted.
    EXPECT_FALSE(o["conformity"].toObject()["endPointsAccepted"].toBool());
    EXPECT_EQ(o["outputs"].toArray()[0].toObject()["asFound"], QJsonValue::Null);
}

// A whole calibration: sixteen end points and twelve input points, as found and as left,
// each read back twice on target (r = 0.5 counts), on the issue's meter.
CalibrationRecord wholeCalibration(DecisionRule rule) {
    CalibrationRecord r;
    r.rule = rule;
    r.id = "3f2a";
    r.outcome = "completed";
    r.startUtc = "2025-04-01T08:00:00Z";
    r.endUtc = "2025-04-01T08:20:00Z";
    r.repeats = 2;
    r.station.meter = ReferenceMeter{"Fluke",
                                     "8846A",
                                     "1234567",
                                     "C-88",
                                     parseDate("2026-01-15"),
                                     MeterUncertainty{35.0, 5.0, 10.0, 2.0}};
    r.environment.temperatureCelsius = 23.1;
    EndPointSetup setup;
    setup.targets = {32000, 0, -32000, 32000, 0, -32000};
    for (int box = 0; box < card::kOutputBoxCount; ++box) {
        for (const bool upper : {true, false}) {
            setup.box = box;
            setup.upper = upper;
            const card::Int16 t = targetOf(setup);
            ReadBacks rb = *summarise({t, static_cast<card::Int16>(t + 1)});
            OutputPoint p{box, upper, t, card::Int16{0x1234}, card::Int16{0x1235}, {}, {}, {}, {}};
            for (const Pass pass : {Pass::AsFound, Pass::AsLeft}) {
                (pass == Pass::AsFound ? p.asFound : p.asLeft) =
                    assess(pass, t, rb, endPointBudget(setup, rb, r.station.meter->uncertainty),
                           voltsPerCount(setup), Tolerance{}, r.rule);
            }
            r.outputs.push_back(p);
        }
    }
    for (int j = 0; j < card::kInputRangeCount; ++j) {
        for (const bool upper : {true, false}) {
            const card::Gain g = card::kInputRanges[static_cast<std::size_t>(j)].gain;
            ReadBacks rb = *summarise({100, 101});
            InputPoint p{j, upper, card::Int16{100}, card::Int16{100}, {}, {}};
            p.asFound = assess(Pass::AsFound, 100, rb, inputPointBudget(g, rb), voltsPerCount(g),
                               Tolerance{}, r.rule);
            p.asLeft = assess(Pass::AsLeft, 100, rb, inputPointBudget(g, rb), voltsPerCount(g),
                              Tolerance{}, r.rule);
            r.inputs.push_back(p);
        }
    }
    return r;
}

QJsonObject v3Schema() {
    QFile file(QStringLiteral(MXCAL_SOURCE_DIR "/docs/calibration-record-v3.schema.json"));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return QJsonDocument::fromJson(file.readAll()).object();
}

TEST(RecordJson, AWholeCalibrationFitsItsSchemaAndConforms) {
    const QJsonObject schema = v3Schema();
    ASSERT_FALSE(schema.isEmpty());
    const testing_support::SchemaCheck check(schema);
    const CalibrationRecord r = wholeCalibration(DecisionRule::GuardBand);
    const QJsonObject o = sealedRecordJson(r);
    EXPECT_EQ(check.check(o, schema, ""), "");
    // Its many computed figures come back from the text unchanged: the seal holds.
    EXPECT_TRUE(verifySeal(QJsonDocument::fromJson(QJsonDocument(o).toJson()).object()));
    // Readings t, t + 1: r = 0.5, s = 0.707107, s / sqrt(2) = 0.5 (u^2 0.25); A/D u^2
    // 0.083333; D/A u^2 0.079473 bipolar, 0.019868 unipolar (slope 0.48828125); meter u^2
    // 0.4096 at 10 V (0.64^2), 0.5184 at 5 V (0.72^2), none at a unipolar 0 V. As left:
    //   Unipolar 10V lower: u_c^2 = 0.353201, U = 1.188614, A = 0.811386: accepted;
    //   Unipolar 10V upper: u_c^2 = 0.762801, U = 1.746770, A = 0.253230: not accepted;
    //   Bipolar 10V: 0.822406, A = 0.186268; 5 V: A smaller still: not accepted.
    // So 2 of 8 per channel accepted. Inputs: u_c^2 = 0.333333, A = 0.845299: all accepted.
    // As found every 0.5 is within T = 2.
    const ConformitySummary s = conformity(r);
    EXPECT_EQ(s.outputsLeft.measured, 16);
    EXPECT_EQ(s.outputsLeft.notAccepted, 12);
    EXPECT_EQ(s.outputsFound.notAccepted, 0);
    EXPECT_EQ(s.inputsLeft.notAccepted, 0);
    EXPECT_TRUE(s.budgetsComplete);
    EXPECT_FALSE(s.endPointsAccepted);
    EXPECT_EQ(s.statement,
              "As left, 4 of 16 output end points and 12 of 12 input points conform to their "
              "tolerances under the binary rule of ILAC-G8:09/2019 with guard band w = U "
              "(acceptance limit A = T - U), U at k = 2. As found, 0 of 16 measured output end "
              "points and 0 of 12 measured input points were outside their tolerances.");
    // Under simple acceptance every 0.5 is within A = T = 2.
    EXPECT_TRUE(conformity(wholeCalibration(DecisionRule::Simple)).endPointsAccepted);
    QJsonObject broken = o;
    QJsonArray outputs = broken["outputs"].toArray();
    QJsonObject first = outputs[0].toObject();
    QJsonObject left = first["asLeft"].toObject();
    left["verdict"] = "indeterminate";
    first["asLeft"] = left;
    outputs[0] = first;
    broken["outputs"] = outputs;
    EXPECT_EQ(check.check(broken, schema, ""), "/outputs/0/asLeft/verdict: not one of the enum");
}

TEST(StationJson, RoundTripAndRefusals) {
    Station s;
    s.laboratoryName = "Bench 3";
    s.meter = ReferenceMeter{"Fluke",
                             "8846A",
                             "1234567",
                             "C-88",
                             parseDate("2026-01-15"),
                             MeterUncertainty{35.0, 5.0, 10.0, 2.0}};
    const auto back = stationFromJson(stationJson(s));
    ASSERT_TRUE(back) << back.refusal();
    EXPECT_EQ(back->laboratoryName, "Bench 3");
    EXPECT_TRUE(back->operatorName.empty());
    EXPECT_EQ(formatDate(*back->meter->dueDate), "2026-01-15");
    EXPECT_DOUBLE_EQ(back->meter->uncertainty->ppmOfReading, 35.0);
    EXPECT_EQ(stationFromJson(parse(R"({"referenceMeter": {"dueDate": "15.01.2026"}})")).refusal(),
              "the meter's due date is not a date YYYY-MM-DD");
    EXPECT_FALSE(stationFromJson(parse(R"({"operator": 7})")));
    EXPECT_FALSE(stationFromJson(parse(
        R"({"referenceMeter": {"uncertainty": {"ppmOfReading": 35, "ppmOfRange": 5,
            "rangeVolts": 10, "coverageFactor": 0}}})")));
}

} // namespace
