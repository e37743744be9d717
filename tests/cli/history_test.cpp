// The station and the history from the command line: settings kept and refused, a restore of
// another card's calibration refused, and a history that cannot keep a record.
#include "cli_rig.h"

#include <gmock/gmock.h>

#include <QFile>

using testing::HasSubstr;

namespace {

TEST(CliStation, SettingsAreKeptAndABadOneChangesNothing) {
    cli_testing::CliRig rig;
    const auto set = rig.run({"station", "--laboratory", "Bench Lab", "--meter-make", "Keysight",
                              "--meter-due", "2027-06-30", "--meter-uncertainty", "35,5",
                              "--history", "postgresql://bench3@%2Ftmp%2Fpg:5433/lab"});
    ASSERT_EQ(set.code, 0) << set.err;
    const auto shown = rig.run({"station", "--json"});
    const QJsonObject s = QJsonDocument::fromJson(QByteArray::fromStdString(shown.out)).object();
    EXPECT_EQ(s["laboratoryName"].toString(), "Bench Lab");
    const QJsonObject meter = s["referenceMeter"].toObject();
    EXPECT_EQ(meter["dueDate"].toString(), "2027-06-30");
    EXPECT_EQ(meter["uncertainty"].toObject()["ppmOfReading"].toDouble(), 35);
    EXPECT_EQ(meter["uncertainty"].toObject()["rangeVolts"].toDouble(), 10);
    EXPECT_EQ(s["history"].toObject()["description"].toString(),
              "calibration history in database \"lab\" on /tmp/pg:5433 (user bench3)");

    QFile file(rig.folder.filePath("station.json"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray kept = file.readAll();
    file.close();
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"station", "--meter-due", "2027-02-30"},
          {"station", "--meter-uncertainty", "35,-5"},
          {"station", "--history", "postgresql://lab"},
          {"station", "--history", "odbc:DSN=lab;PWD=secret"}}) {
        const auto refused = rig.run(bad);
        EXPECT_EQ(refused.code, 1) << bad[2];
        EXPECT_THAT(refused.err, HasSubstr(bad[1] + ": \"" + bad[2] + "\""));
        EXPECT_THAT(refused.err, HasSubstr("The station was not changed."));
    }
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), kept);
}

TEST(CliHistory, AnotherCardsCalibrationIsNotPutBack) {
    cli_testing::CliRig rig;
    rig.keepHistory();
    ASSERT_EQ(rig.run({"read", "--board", "1", "--out", "one.ini"}).code, 0);
    const auto written = rig.run({"write", "--board", "1", "--in", "one.ini", "--save"});
    ASSERT_EQ(written.code, 0) << written.err;
    const std::string id = rig.records().at(0).id;
    const auto refused = rig.run({"write", "--board", "0", "--from-history", id, "--save"});
    EXPECT_EQ(refused.code, 1);
    EXPECT_THAT(refused.err,
                HasSubstr("A calibration belongs to its own card. Nothing was saved."));
    EXPECT_EQ(rig.cards.eepromWrites(0), 0);
    EXPECT_EQ(rig.run({"write", "--board", "1", "--from-history", "nosuchid", "--save"}).code, 1);
}

TEST(CliHistory, AHistoryThatCannotKeepTheRecordStopsASaveButNotTheRecordFile) {
    cli_testing::CliRig rig;
    QFile blocker(rig.folder.filePath("not-a-folder"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    journal::Settings settings;
    settings.history =
        history::sqliteAt(rig.folder.filePath("not-a-folder/h.sqlite").toStdString());
    rig.journal.emplace(journal::Maker{"mx4815cal-cli test", "test", "simulated card"}, settings);

    auto args = rig.calibrate();
    args.insert(args.end(), {"--save", "--record", "r.json"});
    const auto o = rig.run(args);
    EXPECT_EQ(o.code, 7);
    EXPECT_THAT(o.err, HasSubstr("SAVE was refused: The calibration history at"));
    EXPECT_EQ(rig.cards.eepromWrites(0), 0);
    EXPECT_EQ(rig.json("r.json")["outcome"].toString(), "failed");
    EXPECT_EQ(rig.json("r.json")["conformity"].toObject()["outputsAsLeft"].toObject()["measured"],
              16);

    ASSERT_EQ(rig.run({"read", "--board", "0", "--out", "zero.ini"}).code, 0);
    const auto write = rig.run({"write", "--board", "0", "--in", "zero.ini", "--save"});
    EXPECT_EQ(write.code, 7);
    EXPECT_EQ(rig.cards.eepromWrites(0), 0);
}

} // namespace
