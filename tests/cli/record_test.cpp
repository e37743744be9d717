// The calibration record of calibrate: its schema, seal, history, the meter's due date and the
// decision rules at work; the card fingerprint.
#include "cli/record.h"
#include "cli_rig.h"
#include "record/fingerprint.h"
#include "record/seal.h"
#include "support/schema_check.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>

#include <cmath>

namespace {

QJsonObject schema() {
    QFile file(QStringLiteral(MXCAL_SOURCE_DIR "/docs/calibration-record-v3.schema.json"));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return QJsonDocument::fromJson(file.readAll()).object();
}

journal::Settings benchStation(const std::string& meterDue) {
    journal::Settings s;
    s.station.laboratoryName = "Bench Lab";
    s.station.operatorName = "A. Technician";
    record::ReferenceMeter m;
    // A meter good enough that the guard band leaves room to accept: with 35 + 5 ppm the
    // reference alone takes about 1.4 of the 2 counts, and most end points fail as left.
    m.make = "Keysight";
    m.model = "3458A";
    m.serialNumber = "1234567";
    m.dueDate = record::parseDate(meterDue);
    m.uncertainty = record::MeterUncertainty{4, 0.5, 10, 2};
    s.station.meter = m;
    return s;
}

TEST(CalibrationRecord, FitsVersion3IsSealedAndIsKeptInTheHistoryWithoutASave) {
    cli_testing::CliRig rig;
    rig.keepHistory(benchStation("2025-01-31"));
    auto args = rig.calibrate();
    args.insert(args.end(), {"--record", "r.json", "--repeats", "4", "--temperature", "23.1",
                             "--meter-past-due"});
    const auto o = rig.run(args);
    ASSERT_EQ(o.code, 0) << o.err;
    const QJsonObject r = rig.json("r.json");
    const QJsonObject s = schema();
    EXPECT_EQ(testing_support::SchemaCheck(s).check(r, s, ""), "");
    EXPECT_TRUE(record::verifySeal(r)) << record::verifySeal(r).refusal();
    EXPECT_EQ(r["laboratory"].toObject()["name"].toString(), "Bench Lab");
    EXPECT_FALSE(r["traceability"].toObject()["referenceMeter"].toObject()["usedPastDue"].toBool())
        << "a meter in date was not used past its due date, whatever was said";
    EXPECT_EQ(r["environment"].toObject()["temperatureCelsius"].toDouble(), 23.1);
    EXPECT_EQ(r["environment"].toObject()["relativeHumidityPercent"].toString(), "not recorded");
    EXPECT_EQ(r["calibrated"].toObject()["endPoints"].toInt(), 16);
    // Every point of both passes read four times, with the meter's term in the budget of the
    // points the references scale.
    int meterTerms = 0;
    for (const char* kind : {"outputs", "inputs"}) {
        const QJsonArray points = r[kind].toArray();
        EXPECT_EQ(points.size(), std::string(kind) == "outputs" ? 16 : 12);
        for (const QJsonValue v : points) {
            for (const char* pass : {"asFound", "asLeft"}) {
                const QJsonObject p = v.toObject()[pass].toObject();
                EXPECT_EQ(p["readingsCounts"].toArray().size(), 4) << kind << " " << pass;
                for (const QJsonValue t : p["uncertainty"].toObject()["terms"].toArray()) {
                    meterTerms += t.toObject()["name"].toString() == "referenceMeter";
                }
            }
        }
    }
    EXPECT_GE(meterTerms, 2 * 12);
    // The history keeps the same record, as a calibration that wrote nothing.
    const auto records = rig.records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].ending.outcome, history::Outcome::NotWritten);
    EXPECT_EQ(records[0].change.source, history::Source::AutomaticRun);
    const QJsonObject kept =
        QJsonDocument::fromJson(QByteArray::fromStdString(records[0].change.recordJson)).object();
    EXPECT_EQ(kept["seal"], r["seal"]);
    EXPECT_EQ(rig.cards.eepromWrites(0), 0);
}

TEST(CalibrationRecord, AMeterPastDueStopsASaveUnlessUsedAnywayAndTheSaveIsRecorded) {
    cli_testing::CliRig rig; // the rig's day is 2024-05-01
    rig.keepHistory(benchStation("2024-04-30"));
    auto args = rig.calibrate();
    args.insert(args.end(), {"--save", "--record", "r.json"});
    const auto refused = rig.run(args);
    EXPECT_EQ(refused.code, 1);
    EXPECT_THAT(refused.err, testing::HasSubstr("2024-04-30"));
    EXPECT_THAT(refused.err, testing::HasSubstr("Keysight 3458A"));
    EXPECT_EQ(rig.cards.eepromWrites(0), 0);
    EXPECT_TRUE(rig.records().empty());

    args.push_back("--meter-past-due");
    const auto o = rig.run(args);
    ASSERT_EQ(o.code, 0) << o.err;
    const QJsonObject r = rig.json("r.json");
    EXPECT_TRUE(r["traceability"].toObject()["referenceMeter"].toObject()["usedPastDue"].toBool());
    const auto records = rig.records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].ending.outcome, history::Outcome::Written);
    // The history's record is the one SAVE completed: saved, with the image read back.
    const QJsonObject kept =
        QJsonDocument::fromJson(QByteArray::fromStdString(records[0].change.recordJson)).object();
    EXPECT_TRUE(kept["saved"].toBool());
    EXPECT_TRUE(record::verifySeal(kept));
    EXPECT_EQ(kept["eepromAfter"], r["eepromAfter"]);
}

TEST(CalibrationRecord, AsLeftIsJudgedAgainstTheAcceptanceLimitOfTheRuleChosen) {
    for (const char* rule : {"simple", "ilac-g8-guard-band"}) {
        cli_testing::CliRig rig;
        auto args = rig.calibrate();
        args.insert(args.end(), {"--record", "r.json", "--tolerance", "0.5", "--decision", rule});
        const auto o = rig.run(args);
        const QJsonObject r = rig.json("r.json");
        int notAccepted = 0;
        for (const QJsonValue v : r["outputs"].toArray()) {
            const QJsonObject left = v.toObject()["asLeft"].toObject();
            const double residual = left["residualCounts"].toDouble();
            EXPECT_NEAR(residual, left["meanCounts"].toDouble() - left["targetCode"].toInt(), 1e-9);
            const double limit =
                std::string(rule) == "simple"
                    ? 0.5
                    : 0.5 - left["uncertainty"].toObject()["expandedCounts"].toDouble();
            EXPECT_NEAR(left["acceptanceLimitCounts"].toDouble(), limit, 1e-9) << rule;
            EXPECT_EQ(left["accepted"].toBool(), limit > 0 && std::abs(residual) <= limit) << rule;
            notAccepted += left["accepted"].toBool() ? 0 : 1;
        }
        // A stricter tolerance than the search reaches: exit code 3 as soon as one fails.
        EXPECT_EQ(o.code, notAccepted > 0 ? 3 : 0) << rule;
        EXPECT_EQ(r["outcome"].toString(), notAccepted > 0 ? "out of tolerance" : "completed");
    }
}

TEST(CardFingerprint, HashesTheWordsTheProgramDoesNotOwnLowByteFirst) {
    card::EepImage image{};
    for (std::size_t w = 0; w < image.size(); ++w) {
        image[w] = static_cast<card::Long>((w * 257 + 3) & 0xFFFF);
    }
    EXPECT_EQ(record::cardFingerprint(image),
              "04cc15f4ade4176243dce6475fdb3c3953df5b82d0a4e243aa7ee63c31295074");
    card::EepImage calibrated = image;
    for (std::size_t w : {4u, 8u, 23u, 24u, 41u, 48u, 49u, 128u}) {
        calibrated[w] = 0x5A5A;
    }
    EXPECT_EQ(record::cardFingerprint(calibrated), record::cardFingerprint(image));
    for (std::size_t w : {0u, 26u, 43u, 50u, 127u}) {
        card::EepImage other = image;
        other[w] ^= 1;
        EXPECT_NE(record::cardFingerprint(other), record::cardFingerprint(image)) << w;
    }
}

} // namespace
