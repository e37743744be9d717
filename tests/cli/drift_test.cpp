// history --drift on the simulated card (its days set by the test) and the interval's station
// setting.
#include "cli_rig.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>

using testing::HasSubstr;
using testing::Not;
using namespace std::chrono;

namespace {

// The card and the records live at this day (noon UTC).
void liveAt(cli_testing::CliRig& rig, year_month_day day) {
    rig.cards.setToday(sys_days{day});
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT12:00:00Z", static_cast<int>(day.year()),
                  static_cast<unsigned>(day.month()), static_cast<unsigned>(day.day()));
    rig.now = text;
}

std::vector<std::string> withSave(std::vector<std::string> args) {
    args.push_back("--save");
    return args;
}

TEST(CliDrift, AnotherWriteBetweenCalibrationsBreaksTheSpanAndTheStartOfAFingerprintNamesTheCard) {
    cli_testing::CliRig rig;
    rig.keepHistory();
    liveAt(rig, 2024y / 5 / 1);
    ASSERT_EQ(rig.run(withSave(rig.calibrate())).code, 0);
    liveAt(rig, 2024y / 10 / 30); // 182 days on
    ASSERT_EQ(rig.run(withSave(rig.calibrate())).code, 0);
    ASSERT_EQ(rig.run({"recover", "--board", "0"}).code, 0);
    liveAt(rig, 2025y / 1 / 30);
    ASSERT_EQ(rig.run(rig.calibrate()).code, 0) << "not saved";
    const std::string card = rig.records().front().change.cardFingerprint;

    const auto text = rig.run({"history", "--drift", "--card", card.substr(0, 12)});
    ASSERT_EQ(text.code, 0) << text.err;
    EXPECT_THAT(text.out, HasSubstr("Card " + card +
                                    ": 3 calibrations in the calibration "
                                    "history at "));
    EXPECT_THAT(text.out, HasSubstr("No drift from 2 to 3: RECOVER (written) on "));
    EXPECT_THAT(text.out, Not(HasSubstr("2->3")));
    EXPECT_THAT(text.out, HasSubstr("  3  2025-01-30 12:00      0  "));

    const QJsonObject d =
        QJsonDocument::fromJson(QByteArray::fromStdString(
                                    rig.run({"history", "--drift", "--card", card, "--json"}).out))
            .object();
    const QJsonArray calibrations = d["calibrations"].toArray();
    ASSERT_EQ(calibrations.size(), 3);
    EXPECT_FALSE(calibrations[2].toObject()["saved"].toBool());
    EXPECT_THAT(calibrations[2].toObject()["changedBefore"].toString().toStdString(),
                HasSubstr("RECOVER (written) on "));
    // The third found the factory codes RECOVER put back, and kept them: what the card holds
    // from it on is that as-found result.
    const QJsonObject third =
        QJsonDocument::fromJson(QByteArray::fromStdString(rig.records().front().change.recordJson))
            .object();
    const QJsonArray outputs = third["outputs"].toArray();
    const QJsonArray endPoints = d["endPoints"].toArray();
    ASSERT_EQ(endPoints.size(), 16);
    for (int i = 0; i < 16; ++i) {
        const QJsonObject e = endPoints[i].toObject();
        const QJsonArray spans = e["spans"].toArray();
        ASSERT_EQ(spans.size(), 1);
        EXPECT_EQ(spans[0].toObject()["from"].toInt(), 1);
        EXPECT_EQ(spans[0].toObject()["days"].toDouble(), 182.0);
        EXPECT_NEAR(e["asLeftMV"].toDouble(),
                    outputs[i].toObject()["asFound"].toObject()["residualVolts"].toDouble() * 1000,
                    1e-9);
    }

    const auto none = rig.run({"history", "--drift", "--card", "0123456789ab"});
    EXPECT_EQ(none.code, 1);
    EXPECT_THAT(none.err, HasSubstr("holds no completed calibration of card 0123456789ab."));
}

TEST(CliDrift, TheCardMustBeNamedOnceAndOnlyTheListingTakesDrift) {
    cli_testing::CliRig rig;
    rig.keepHistory();
    for (const auto& [args, why] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"history", "--drift"}, "--card or --board is missing"},
             {{"history", "--drift", "--board", "0", "--card", "ab"},
              "--card and --board: give one"},
             {{"history", "--drift", "--board", "0", "--since", "2024-01-01"},
              "--since is not an option of history --drift"},
             {{"history", "verify", "--drift"}, "--drift is not an option of history show"},
             {{"history", "--drift", "--board", "3"}, "holds no completed calibration of board 3."},
         }) {
        const auto o = rig.run(args);
        EXPECT_EQ(o.code, 1) << why;
        EXPECT_THAT(o.err, HasSubstr(why));
    }
}

TEST(CliDrift, TheStationsIntervalIsKeptShownAndUsed) {
    cli_testing::CliRig rig;
    const auto set = rig.run({"station", "--interval", "180,2,0.25,30,720"});
    ASSERT_EQ(set.code, 0) << set.err;
    EXPECT_THAT(set.out, HasSubstr("Interval:            staircase of ILAC-G24: 180 days to "
                                   "start, x 2 when every as-found point is within 80 % of its "
                                   "tolerance, x 0.25 when one is out of it, 30 to 720 days"));
    const auto loaded = journal::loadSettings(rig.folder.filePath("station.json").toStdString());
    ASSERT_TRUE(loaded);
    ASSERT_TRUE(loaded->interval);
    EXPECT_EQ(loaded->interval->startDays, 180);
    EXPECT_EQ(loaded->interval->shortenFactor, 0.25);

    for (const std::string bad :
         {"30,1.5,0.5", "365,1.5", "365,x,0.5", "365.5,1.5,0.5", "365,1.5,0"}) {
        const auto o = rig.run({"station", "--interval", bad});
        EXPECT_EQ(o.code, 1) << bad;
        EXPECT_THAT(o.err, HasSubstr("--interval: \"" + bad + "\" is not an interval")) << bad;
    }
    // A station file edited by hand is read only with an interval that can serve.
    for (const auto& [interval, why] : std::vector<std::pair<std::string, std::string>>{
             {R"({"startDays": 60})", "cannot serve: the interval's days"},
             {R"({"minDays": 30.5})", "\"minDays\" that is not a whole number of days"},
             {R"({"extendFactor": "2"})", "\"extendFactor\" that is not a number"},
             {"[]", "its \"interval\" is not an object"}}) {
        const std::string path = rig.folder.filePath("hand.json").toStdString();
        QFile hand(QString::fromStdString(path));
        ASSERT_TRUE(hand.open(QIODevice::WriteOnly));
        hand.write(QByteArray::fromStdString(R"({"interval": )" + interval + "}"));
        hand.close();
        const auto read = journal::loadSettings(path);
        ASSERT_FALSE(read) << interval;
        EXPECT_THAT(read.refusal(), HasSubstr(why));
    }
    const auto cleared = rig.run({"station", "--interval", "", "--json"});
    EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(cleared.out))
                  .object()["interval"]
                  .toObject()["startDays"]
                  .toInt(),
              365);

    // The history's drift uses the station's interval: one calibration that found the card
    // out of tolerance, 180 x 0.25 = 45 days on.
    rig.keepHistory(*loaded);
    liveAt(rig, 2024y / 5 / 1);
    ASSERT_EQ(rig.run(withSave(rig.calibrate())).code, 0);
    const auto one = rig.run({"history", "--drift", "--board", "0"});
    EXPECT_THAT(one.out, HasSubstr("Next due: 2024-06-15, 45 days after the calibration of "
                                   "2024-05-01"));
    EXPECT_THAT(one.out, HasSubstr("(no drift before a second calibration)"));
}

} // namespace
