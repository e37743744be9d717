// A card's calibrations as the trend reads them from the records of the history.
#include "record/seal.h"
#include "trend/calibrations.h"
#include "trend_fixtures.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

using namespace trend;
using history::Outcome;

QJsonObject result(double residual, double scale = 0.3125e-3) {
    return QJsonObject{{"residualCounts", residual},
                       {"voltsPerCount", scale},
                       {"toleranceCounts", 2.0},
                       {"verdict", "pass"}};
}

// A calibration record of version 3 with one end point and one input point, sealed.
QJsonObject document(const QString& start, const QString& outcome = "completed",
                     bool saved = true) {
    const QJsonArray outputs{QJsonObject{{"endPoint", "CH0 Bipolar 10V upper"},
                                         {"asFound", result(3.5)},
                                         {"asLeft", result(0.5)}},
                             QJsonObject{{"endPoint", "CH0 Bipolar 10V lower"},
                                         {"asFound", QJsonValue()},
                                         {"asLeft", result(-1.0, 0.0)}}};
    const QJsonArray inputs{QJsonObject{
        {"range", "10.24V"}, {"point", "zero"}, {"asFound", result(1.0)}, {"asLeft", result(0.0)}}};
    return record::sealed(QJsonObject{{"recordVersion", 3},
                                      {"id", "cal-" + start},
                                      {"outcome", outcome},
                                      {"dates", QJsonObject{{"startUtc", start}}},
                                      {"saved", saved},
                                      {"outputs", outputs},
                                      {"inputs", inputs}});
}

history::Entry entry(const std::string& id, int minute, Outcome outcome,
                     const QJsonObject& record = {},
                     history::Source source = history::Source::AutomaticRun) {
    history::Entry e;
    e.id = id;
    e.change.started = history::Time{} + std::chrono::minutes{minute};
    e.change.source = source;
    e.ending.outcome = outcome;
    if (!record.isEmpty()) {
        e.change.recordJson = QJsonDocument(record).toJson(QJsonDocument::Compact).toStdString();
    }
    return e;
}

TEST(CardCalibrations, CompletedVersionThreeRecordsInTheHistorysOrderWithTheirFigures) {
    const CardCalibrations read = calibrationsOf({
        entry("cccc0003", 30, Outcome::NotWritten,
              document("2026-01-02T08:00:00Z", "completed", false)),
        entry("aaaa0001", 10, Outcome::Written, document("2025-01-02T08:00:00Z")),
        entry("bbbb0002", 20, Outcome::NotWritten, document("2025-07-02T08:00:00Z", "stopped")),
        entry("dddd0004", 40, Outcome::Pending, document("2026-02-02T08:00:00Z")),
        entry("eeee0005", 50, Outcome::NotWritten,
              QJsonObject{{"recordVersion", 2}, {"outcome", "completed"}}),
    });
    ASSERT_EQ(read.calibrations.size(), 2u);
    const Calibration& first = read.calibrations[0];
    EXPECT_EQ(first.recordId, "aaaa0001");
    EXPECT_EQ(first.calibrationId, "cal-2025-01-02T08:00:00Z");
    EXPECT_EQ(first.start, trend_testing::at(2025, 1, 2));
    EXPECT_TRUE(first.saved);
    ASSERT_EQ(first.endPoints.size(), 2u);
    EXPECT_EQ(first.endPoints[0].name, "CH0 Bipolar 10V upper");
    EXPECT_DOUBLE_EQ(first.endPoints[0].asFound->volts(), 3.5 * 0.3125e-3);
    EXPECT_DOUBLE_EQ(first.endPoints[0].asLeft->toleranceVolts(), 2.0 * 0.3125e-3);
    EXPECT_FALSE(first.endPoints[1].asFound) << "not measured";
    EXPECT_FALSE(first.endPoints[1].asLeft) << "no scale: not a usable result";
    ASSERT_EQ(first.inputPoints.size(), 1u);
    EXPECT_EQ(first.inputPoints[0].name, "10.24V zero");
    EXPECT_EQ(read.calibrations[1].recordId, "cccc0003");
    EXPECT_FALSE(read.calibrations[1].saved);
    EXPECT_TRUE(read.calibrations[1].changedBefore.empty()) << "the stopped one wrote nothing";
    EXPECT_TRUE(read.leftOut.empty());
}

TEST(CardCalibrations, AnotherWriteBetweenTwoCalibrationsIsNamedAndBrokenSealsLeftOut) {
    QJsonObject tampered = document("2025-04-02T08:00:00Z");
    tampered["saved"] = false; // changed after it was sealed
    history::Entry broken =
        entry("ffff0006", 15, Outcome::Written, document("2025-03-02T08:00:00Z"));
    broken.intact = false;
    broken.problem = "its content does not match its seal";
    const CardCalibrations read = calibrationsOf({
        entry("0000000a", 5, Outcome::Written, {}, history::Source::Recover), // before any
        entry("aaaa0001", 10, Outcome::Written, document("2025-01-02T08:00:00Z")),
        broken,
        entry("bbbb0002", 20, Outcome::NotWritten, tampered),
        entry("cccc0003", 30, Outcome::Written, document("2025-07-02T08:00:00Z")),
        entry("dddd0004", 35, Outcome::Written, {}, history::Source::Recover),
        entry("eeee0005", 36, Outcome::Failed, {}, history::Source::Restore),
        entry("abcd0007", 40, Outcome::NotWritten,
              document("2026-01-02T08:00:00Z", "completed", false)),
    });
    ASSERT_EQ(read.calibrations.size(), 3u);
    EXPECT_TRUE(read.calibrations[0].changedBefore.empty()) << "nothing before it to break";
    // The calibration whose record was left out still wrote the EEPROM.
    EXPECT_EQ(read.calibrations[1].changedBefore, "automatic run (written) on 1970-01-01");
    EXPECT_EQ(read.calibrations[2].changedBefore, "RECOVER (written) on 1970-01-01");
    ASSERT_EQ(read.leftOut.size(), 2u);
    EXPECT_EQ(read.leftOut[0], "record ffff0006: its content does not match its seal");
    EXPECT_EQ(read.leftOut[1],
              "record bbbb0002: its calibration record does not match the record's own seal");
}

TEST(CardCalibrations, OnlyACompletedRecordOfVersionThreeWithAStartIsACalibration) {
    EXPECT_TRUE(calibrationOf(QJsonDocument(document("2025-01-02T08:00:00Z"))
                                  .toJson(QJsonDocument::Compact)
                                  .toStdString()));
    for (const QJsonObject& o :
         {document("2025-01-02T08:00:00Z", "out of tolerance"), document("not a time"),
          QJsonObject{{"recordVersion", 3}, {"outcome", "completed"}}}) {
        EXPECT_FALSE(calibrationOf(QJsonDocument(o).toJson().toStdString()));
    }
    EXPECT_FALSE(calibrationOf("{not json"));
    EXPECT_FALSE(calibrationOf(""));
}

} // namespace
