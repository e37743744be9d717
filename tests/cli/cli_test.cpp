// Each command end to end on the simulated cards, on virtual time.
#include "caldata/eeprom_ops.h"
#include "calfile/calfile_ops.h"
#include "cli_rig.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QJsonArray>

namespace {

using cli_testing::CliRig;
using testing::HasSubstr;
using testing::StartsWith;

TEST(CliList, ListsEveryCardWithItsRegisterBase) {
    CliRig rig(3);
    const auto text = rig.run({"list"});
    EXPECT_EQ(text.code, 0) << text.err;
    EXPECT_THAT(text.out, HasSubstr("3 cards found"));
    EXPECT_THAT(text.out, HasSubstr("    2  0xFEB02000"));
    const auto json = rig.run({"list", "--json"});
    const QJsonObject doc = QJsonDocument::fromJson(QByteArray::fromStdString(json.out)).object();
    EXPECT_EQ(doc["cardsFound"].toInt(), 3);
    EXPECT_EQ(doc["cards"].toArray()[1].toObject()["registerBase"].toString(), "0xFEB01000");
    // The driver's records hold 32 cards: the list says so rather than stopping silently.
    const auto many = CliRig(40).run({"list"});
    EXPECT_THAT(many.out, HasSubstr("40 cards found\nOnly boards 0 to 31 are listed"));
}

TEST(CliRead, PrintsTheTableAndExportsItByteForByteAsTheWindowsExport) {
    CliRig rig;
    const std::string other = "[Notes]\r\nline=kept\r\n";
    rig.files.files["cli.ini"] = other;
    rig.files.files["window.ini"] = other;
    const auto read = rig.run({"read", "--board", "1", "--out", "cli.ini"});
    ASSERT_EQ(read.code, 0) << read.err;
    EXPECT_THAT(read.out, HasSubstr("Board 1, register base 0xFEB01000"));

    // What the window's RELOAD and Export of the same board give.
    testing_support::Rig window(rig.cards);
    window.activeBoard = "1";
    testing_support::MemoryTable table;
    auto ctx = window.context();
    ASSERT_TRUE(caldata::Reload(ctx, table));
    ASSERT_TRUE(calfile::exportCalibration(table, rig.files, "window.ini"));
    EXPECT_EQ(rig.files.files["cli.ini"], rig.files.files["window.ini"]);
    EXPECT_THAT(read.out, HasSubstr(table.text(caldata::aoMax(3))));
}

TEST(CliCalibrate, ADriftedCardIsOutOfToleranceAsFoundAndWithinItAsLeft) {
    CliRig rig;
    const auto before = rig.cards.eeprom(0);
    auto args = rig.calibrate();
    args.insert(args.end(), {"--record", "r.json"});
    const auto o = rig.run(args);
    ASSERT_EQ(o.code, 0) << o.err;
    const QJsonObject r = rig.json("r.json");
    const QJsonObject conformity = r["conformity"].toObject();
    EXPECT_GE(conformity["outputsAsFound"].toObject()["notAccepted"].toInt(), 12);
    EXPECT_EQ(conformity["outputsAsLeft"].toObject()["notAccepted"].toInt(), 0);
    EXPECT_TRUE(conformity["endPointsAccepted"].toBool());
    int changed = 0;
    for (const QJsonValue v : r["outputs"].toArray()) {
        const QJsonObject p = v.toObject();
        const QJsonObject left = p["asLeft"].toObject();
        EXPECT_LE(std::abs(left["residualCounts"].toDouble()),
                  left["acceptanceLimitCounts"].toDouble());
        changed += p["codeFound"] != p["codeLeft"];
    }
    EXPECT_GE(changed, 12);
    // Without --save the card keeps its EEPROM, and the record says so.
    EXPECT_EQ(rig.cards.eeprom(0), before);
    EXPECT_EQ(rig.cards.eepromWrites(0), 0);
    EXPECT_FALSE(r["saved"].toBool());
    EXPECT_EQ(r["eepromBefore"].toArray(), r["eepromAfter"].toArray());
    EXPECT_EQ(r["eepromBefore"].toArray()[127].toInt(), before[127]);
    // The same waits as the window's run plus one for each end point as found and as left.
    EXPECT_GT(rig.clock.time, 22.0 + 32.0);
    EXPECT_THAT(o.out, HasSubstr("As left, 16 of 16 output end points"));
    // --json prints the record itself.
    EXPECT_EQ(rig.run([&] {
                     auto a = rig.calibrate(1);
                     a.push_back("--json");
                     return a;
                 }())
                  .code,
              0);
}

TEST(CliCalibrate, SaveWritesTheAsLeftCodesAndKeepsEveryOtherWord) {
    CliRig rig;
    const auto before = rig.cards.eeprom(0);
    auto args = rig.calibrate();
    args.insert(args.end(), {"--save", "--record", "r.json", "--out", "left.ini"});
    const auto o = rig.run(args);
    ASSERT_EQ(o.code, 0) << o.err;
    EXPECT_EQ(rig.cards.eepromWrites(0), 1);
    const QJsonObject r = rig.json("r.json");
    EXPECT_TRUE(r["saved"].toBool());
    const auto after = rig.cards.eeprom(0);
    const QJsonArray outputs = r["outputs"].toArray();
    for (int i = 0; i < 16; ++i) {
        const QString code = outputs[i].toObject()["codeLeft"].toString();
        EXPECT_EQ(after[static_cast<std::size_t>(8 + i)], code.toUInt(nullptr, 16)) << i;
    }
    for (std::size_t w : {0u, 1u, 2u, 3u, 26u, 27u, 42u, 47u, 50u, 100u, 127u}) {
        EXPECT_EQ(after[w], before[w]) << w;
    }
    EXPECT_EQ(r["eepromAfter"].toArray()[8].toInt(), after[8]);
    EXPECT_THAT(rig.files.files["left.ini"],
                HasSubstr(outputs[0].toObject()["codeLeft"].toString().toStdString()));
}

TEST(CliCalibrate, AFailingSaveIsACardFailure) {
    CliRig rig;
    rig.cards.setStatus(sim::EntryPoint::WriteEEP, 9);
    auto args = rig.calibrate();
    args.push_back("--save");
    const auto o = rig.run(args);
    EXPECT_EQ(o.code, 2);
    EXPECT_THAT(o.err, HasSubstr("Error Code=9"));
}

TEST(CliWrite, AFileGoesIntoTheEepromAndABadOneChangesNothing) {
    CliRig rig;
    ASSERT_EQ(rig.run({"read", "--board", "0", "--out", "good.ini"}).code, 0);
    std::string bytes = rig.files.files["good.ini"];
    const std::string key = "UNI5V_POS_5V=";
    const std::size_t at = bytes.find(key) + key.size();
    bytes.replace(at, bytes.find('\r', at) - at, "FF00");
    rig.files.files["good.ini"] = bytes;
    auto bad = bytes;
    bad.replace(at, 4, "XYZ!");
    rig.files.files["bad.ini"] = bad;
    rig.files.files["partial.ini"] = "[REF]\r\n10V=10\r\n";

    const auto before = rig.cards.eeprom(0);
    const auto refused = rig.run({"write", "--board", "0", "--in", "bad.ini", "--save"});
    EXPECT_EQ(refused.code, 1);
    EXPECT_THAT(refused.err, HasSubstr("[AOCH0] UNI5V_POS_5V"));
    const auto partial = rig.run({"write", "--board", "0", "--in", "partial.ini", "--save"});
    EXPECT_EQ(partial.code, 1);
    EXPECT_THAT(partial.err, HasSubstr("[REF] 5V"));
    EXPECT_EQ(rig.run({"write", "--board", "0", "--in", "good.ini"}).code, 1); // no --save
    EXPECT_EQ(rig.cards.eeprom(0), before);
    EXPECT_EQ(rig.cards.eepromWrites(0), 0);

    // A value that the profile read would cut (past 254 characters, or at a NUL) stands
    // nowhere in the file: refused naming the entry.
    for (const std::string& cut : {std::string(296, '0') + "FFBF", std::string("FF\0AB", 5)}) {
        auto longer = bytes;
        longer.replace(at, 4, cut);
        rig.files.files["cut.ini"] = longer;
        const auto o = rig.run({"write", "--board", "0", "--in", "cut.ini", "--save"});
        EXPECT_EQ(o.code, 1);
        EXPECT_THAT(o.err, HasSubstr("[AOCH0] UNI5V_POS_5V"));
        EXPECT_THAT(o.err, HasSubstr("cannot be read whole"));
    }
    EXPECT_EQ(rig.cards.eepromWrites(0), 0);

    const auto written = rig.run({"write", "--board", "0", "--in", "good.ini", "--save"});
    ASSERT_EQ(written.code, 0) << written.err;
    EXPECT_EQ(rig.cards.eeprom(0)[8], 0xFF00);
    EXPECT_EQ(rig.cards.eeprom(0)[9], before[9]);
}

TEST(CliRecover, RestoresTheFactoryBackup) {
    CliRig rig;
    auto words = rig.cards.eeprom(1);
    words[8] = 0x1234;
    rig.cards.setEeprom(1, words);
    const auto o = rig.run({"recover", "--board", "1"});
    EXPECT_EQ(o.code, 0) << o.err;
    EXPECT_EQ(rig.cards.eeprom(1), rig.cards.factoryBackup(1));
    rig.cards.setStatus(sim::EntryPoint::RecoverEEP, 12);
    const auto failed = rig.run({"recover", "--board", "1", "--json"});
    EXPECT_EQ(failed.code, 2);
    EXPECT_THAT(failed.err, HasSubstr("Error Code=12"));
    EXPECT_THAT(failed.out, HasSubstr("\"exitCode\": 2"));
}

TEST(CliRefusals, BadInputIsOneLineExitCodeOneAndNothingReachesTheCard) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"read", "--board", "5"}, "--board"},
        {{"read", "--board", "x"}, "--board"},
        {{"read"}, "--board"},
        {{"recover", "--board", "2"}, "--board"},
        {{"calibrate", "--board", "0", "--ref10", "abc", "--ref5", "5"}, "--ref10"},
        {{"calibrate", "--board", "0", "--ref10", "20", "--ref5", "5"}, "--ref10"},
        {{"calibrate", "--board", "0", "--ref10", "10"}, "--ref5"},
        {{"calibrate", "--board", "0", "--ref10", "10", "--ref5", "5", "--tolerance", "-1"},
         "--tolerance"},
        {{"calibrate", "--board", "0", "--ref10", "10", "--ref5", "5", "--record",
          "/no/such/folder/r.json"},
         "--record"},
        {{"write", "--board", "0", "--in", "missing.ini", "--save"}, "--in"},
        {{"read", "--board", "0", "--in", "x.ini"}, "--in"},
        {{"read", "--board", "0", "--cards", "2000"}, "--cards"},
        {{"frobnicate"}, "frobnicate"},
        {{"list", "--bogus"}, "--bogus"},
        {{"read", "--board", "0", "--board", "1"}, "--board is given twice"},
        {{"read", "--board", "0", "--out", "--json"}, "--out: the value is missing"},
        {{"calibrate", "--boards", "0-3"}, "--refs"},
        {{"calibrate", "--boards", "3-1", "--refs", "r.txt"}, "--boards"},
        {{"calibrate", "--boards", "0,1,0", "--refs", "r.txt"}, "names board 0 twice"},
        {{"calibrate", "--boards", "0-1", "--refs", "r.txt", "--record", "r.json"}, "{board}"},
        {{"calibrate", "--boards", "0-1", "--refs", "missing.txt"}, "--refs"},
        {{"read", "--board", "0", "--jobs", "2"}, "--jobs"},
    };
    for (const auto& [args, named] : cases) {
        CliRig rig;
        const auto before = rig.cards.eeprom(0);
        const auto o = rig.run(args);
        SCOPED_TRACE(args.front() + " " + named);
        EXPECT_EQ(o.code, 1);
        EXPECT_THAT(o.err, StartsWith("mx4815cal-cli: "));
        EXPECT_THAT(o.err, HasSubstr(named));
        EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << o.err;
        EXPECT_EQ(rig.cards.eeprom(0), before);
        EXPECT_EQ(rig.cards.eepromWrites(0), 0);
        EXPECT_EQ(rig.cards.conversions(), 0);
    }
}

TEST(CliRefusals, ArgumentErrorsAnswerInJsonWhenAskedTo) {
    CliRig rig;
    const auto o = rig.run({"read", "--json", "--board"});
    EXPECT_EQ(o.code, 1);
    const QJsonObject doc = QJsonDocument::fromJson(QByteArray::fromStdString(o.out)).object();
    EXPECT_EQ(doc["kind"].toString(), "input");
    EXPECT_THAT(doc["error"].toString().toStdString(), HasSubstr("--board"));
}

TEST(CliCalibrate, AFailedCalibrationLeavesARecordOfWhatItMeasured) {
    CliRig rig;
    rig.cards.setBusyForever(true); // every reading times out
    auto args = rig.calibrate();
    args.insert(args.end(), {"--save", "--record", "r.json", "--out", "o.ini"});
    const auto o = rig.run(args);
    EXPECT_EQ(o.code, 2);
    const QJsonObject r = rig.json("r.json");
    EXPECT_EQ(r["outcome"].toString(), "failed");
    EXPECT_THAT(r["message"].toString().toStdString(), HasSubstr("As-found reading failed"));
    EXPECT_TRUE(r["outputs"].toArray()[0].toObject()["asFound"].isNull());
    EXPECT_FALSE(r["saved"].toBool());
    EXPECT_EQ(rig.files.files.count("o.ini"), 0u) << "no table of an unfinished run";
    EXPECT_EQ(rig.cards.eepromWrites(0), 0);
}

TEST(CliFailures, AFailedReadOfTheEepromIsACardFailure) {
    CliRig rig;
    rig.cards.setStatus(sim::EntryPoint::ReadEEP, 7);
    const auto o = rig.run({"read", "--board", "0"});
    EXPECT_EQ(o.code, 2);
    EXPECT_THAT(o.err, HasSubstr("Error Code=7"));
}

TEST(CliProgress, OneLineAnEndPointOffATerminalInPlaceOnOneAndNoneWhenQuiet) {
    CliRig lines;
    const auto o = lines.run(lines.calibrate());
    EXPECT_THAT(o.err, HasSubstr("%] as found: CH0 Unipolar 5V +5V (Hex)\n"));
    EXPECT_THAT(o.err, HasSubstr("%] calibrating: CH1 Bipolar 10V -10V(Hex)\n"));
    EXPECT_THAT(o.err, HasSubstr("%] as left: CH1 Bipolar 10V -10V(Hex)\n"));
    EXPECT_EQ(o.err.find('\r'), std::string::npos);

    CliRig terminal;
    terminal.terminal = true;
    const auto t = terminal.run(terminal.calibrate());
    EXPECT_THAT(t.err, HasSubstr("\r[ "));
    EXPECT_THAT(t.err, HasSubstr("\x1b[K"));
    EXPECT_EQ(t.err.substr(t.err.size() - 4), "\r\x1b[K");

    CliRig quiet;
    auto args = quiet.calibrate();
    args.push_back("--quiet");
    EXPECT_EQ(quiet.run(args).err, "");
}

TEST(CliHelp, EveryCommandHasItsHelp) {
    CliRig rig;
    for (const std::string c : {"list", "read", "calibrate", "write", "recover"}) {
        const auto o = rig.run({c, "--help"});
        EXPECT_EQ(o.code, 0);
        EXPECT_THAT(o.out, HasSubstr("Usage: mx4815cal-cli " + c));
        EXPECT_THAT(o.out, HasSubstr("Exit codes"));
    }
    EXPECT_THAT(rig.run({"--help"}).out, HasSubstr("Commands:"));
    EXPECT_EQ(rig.run({}).code, 1);
}

} // namespace
