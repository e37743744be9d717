// The calibration record: the card fingerprint and the record against its JSON Schema.
#include "cli/record.h"
#include "record/fingerprint.h"
#include "cli_rig.h"
#include "support/schema_check.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>

#include <cmath>

namespace {

using testing_support::SchemaCheck;

QJsonObject schema() {
    QFile file(QStringLiteral(MXCAL_SOURCE_DIR "/docs/calibration-record.schema.json"));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return QJsonDocument::fromJson(file.readAll()).object();
}

TEST(CalibrationRecord, FitsItsSchemaAndTheCheckCatchesWhatDoesNot) {
    cli_testing::CliRig rig;
    auto args = rig.calibrate();
    args.insert(args.end(), {"--record", "r.json"});
    ASSERT_EQ(rig.run(args).code, 0);
    const QJsonObject s = schema();
    ASSERT_FALSE(s.isEmpty());
    const SchemaCheck check(s);
    QJsonObject record = rig.json("r.json");
    EXPECT_EQ(check.check(record, s, ""), "");

    QJsonObject missing = record;
    missing.remove("cardFingerprint");
    EXPECT_EQ(check.check(missing, s, ""), ": cardFingerprint is missing");
    QJsonObject wrong = record;
    QJsonArray outputs = wrong["outputs"].toArray();
    QJsonObject first = outputs[0].toObject();
    QJsonObject found = first["asFound"].toObject();
    found["reading"] = 1.5;
    first["asFound"] = found;
    outputs[0] = first;
    wrong["outputs"] = outputs;
    EXPECT_EQ(check.check(wrong, s, ""), "/outputs/0/asFound/reading: not of type integer");
    QJsonObject shortImage = record;
    QJsonArray image = shortImage["eepromAfter"].toArray();
    image.removeLast();
    shortImage["eepromAfter"] = image;
    EXPECT_EQ(check.check(shortImage, s, ""), "/eepromAfter: wrong number of items");
}

TEST(CalibrationRecord, ResidualsAreReadingMinusTargetInCountsAndMillivolts) {
    cli_testing::CliRig rig;
    auto args = rig.calibrate();
    args.insert(args.end(), {"--record", "r.json", "--tolerance", "0.5"});
    const auto o = rig.run(args);
    const QJsonObject r = rig.json("r.json");
    EXPECT_EQ(r["toleranceCounts"].toDouble(), 0.5);
    int failing = 0;
    for (const QJsonValue v : r["outputs"].toArray()) {
        const QJsonObject p = v.toObject();
        const QJsonObject left = p["asLeft"].toObject();
        const int residual = left["reading"].toInt() - p["targetCode"].toInt();
        EXPECT_EQ(left["residualCounts"].toInt(), residual);
        const double scale = p["range"].toString().contains("10V") ? 10.24 : 5.12;
        EXPECT_NEAR(left["residualMillivolts"].toDouble(), residual * scale * 1000 / 32768, 1e-4);
        EXPECT_EQ(left["pass"].toBool(), residual == 0);
        failing += residual == 0 ? 0 : 1;
    }
    // A stricter tolerance than the search reaches: exit code 3 as soon as one fails.
    EXPECT_EQ(o.code, failing > 0 ? 3 : 0);
    EXPECT_EQ(r["asLeftOutOfTolerance"].toInt(), failing);
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
