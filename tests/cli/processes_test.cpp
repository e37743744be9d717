// The command-line program as programs run it: real processes on the simulated cards (their
// time run fast with MXCAL_SIM_SPEED), real signals, each test in a data folder of its own.
#include "card/facts.h"
#include "sim/simulated_driver.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <cmath>
#include <csignal>
#include <memory>

namespace {

using testing::HasSubstr;

struct Ended {
    int code = -1;
    QByteArray out;
    QByteArray err;
    QJsonObject json() const { return QJsonDocument::fromJson(out).object(); }
};

class Cli {
public:
    // speed: how much faster than real time the simulated cards' time runs.
    explicit Cli(int speed = 1000) : speed_(speed) {}

    std::unique_ptr<QProcess> start(const QStringList& args, int speed = 0) const {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_HOME", data.path());
        env.insert("MXCAL_SIM_SPEED", QString::number(speed > 0 ? speed : speed_));
        if (!date.isEmpty()) {
            env.insert("MXCAL_SIM_DATE", date);
        }
        p->setProcessEnvironment(env);
        p->start(QStringLiteral(MXCAL_CLI_PATH), QStringList{"--cards", "4"} + args);
        EXPECT_TRUE(p->waitForStarted());
        return p;
    }
    static Ended finish(QProcess& p) {
        EXPECT_TRUE(p.waitForFinished(60000));
        Ended e;
        e.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        e.out = p.readAllStandardOutput();
        e.err = p.readAllStandardError();
        return e;
    }
    Ended run(const QStringList& args) const { return finish(*start(args)); }
    // Waits until the program's stderr holds text (the progress shows where it is).
    static bool waitFor(QProcess& p, const QByteArray& text, QByteArray& seen) {
        p.setReadChannel(QProcess::StandardError);
        while (!seen.contains(text)) {
            if (!p.waitForReadyRead(20000)) {
                return false;
            }
            seen += p.readAllStandardError();
        }
        return true;
    }
    QString file(const QString& name) const { return data.filePath(name); }
    // The EEPROM words of a board as `read --json` shows its table.
    QJsonObject table(int board) const {
        return run({"read", "--board", QString::number(board), "--json"})
            .json()["table"]
            .toObject();
    }
    // calibrate with the references the technician measures: the card's true voltages.
    static QStringList calibrate(int board) {
        static const sim::SimulatedDriver cards(sim::SimOptions{4});
        return {"calibrate",
                "--board",
                QString::number(board),
                "--ref10",
                QString::number(cards.reference10V(board), 'f', 6),
                "--ref5",
                QString::number(cards.reference5V(board), 'f', 6)};
    }

    QTemporaryDir data;
    QString date; // MXCAL_SIM_DATE when not empty

private:
    int speed_;
};

// A whole calibration of board 0 on a fixed day gives the codes kept in
// tests/reference-run.json. The Windows programs are held to the same file (through the
// simulated card's Dravex.dll and with --simulate), so every build gives the same codes.
TEST(CliProcesses, AWholeCalibrationGivesTheReferenceCodes) {
    QFile file(QStringLiteral(MXCAL_REFERENCE_RUN_PATH));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << MXCAL_REFERENCE_RUN_PATH;
    const QJsonObject reference = QJsonDocument::fromJson(file.readAll()).object();
    const QJsonObject run = reference["commandLine"].toObject();
    Cli cli(10000);
    cli.date = reference["date"].toString();
    QStringList args;
    for (const QJsonValue v : run["arguments"].toArray()) {
        args << v.toString();
    }
    const Ended e = cli.run(args + QStringList{"--json", "--quiet"});
    ASSERT_EQ(e.code, 0) << e.err.toStdString();
    QJsonArray codes;
    for (const char* points : {"outputs", "inputs"}) {
        for (const QJsonValue p : e.json()[points].toArray()) {
            codes.append(p.toObject()["codeLeft"]);
        }
    }
    EXPECT_EQ(codes, run["codes"].toArray()) << e.out.toStdString();
}

TEST(CliProcesses, ABoardIsHeldByOneProgramUntilItEndsHoweverItEnds) {
    Cli cli;
    auto holder = cli.start(Cli::calibrate(0), 20);
    QByteArray seen;
    ASSERT_TRUE(Cli::waitFor(*holder, "as found", seen));

    const Ended refused = cli.run({"recover", "--board", "0", "--json"});
    EXPECT_EQ(refused.code, 5);
    EXPECT_THAT(refused.err.toStdString(),
                HasSubstr("Board 0 is in use by mx4815cal-cli calibrate (process " +
                          std::to_string(holder->processId()) + ") since "));
    EXPECT_EQ(refused.json()["kind"].toString(), "busy");
    EXPECT_EQ(cli.run({"read", "--board", "1"}).code, 0) << "another board is free";
    EXPECT_EQ(cli.run({"list"}).code, 0) << "listing needs no board";

    // Killed outright, the holder leaves no lock behind.
    holder->kill();
    holder->waitForFinished();
    EXPECT_EQ(cli.run({"read", "--board", "0"}).code, 0);
}

TEST(CliProcesses, CtrlCAndTerminationStopAtTheNextPauseWithARecord) {
    Cli cli;
    const QJsonObject before = cli.table(0);
    for (const int signal : {SIGINT, SIGTERM}) {
        auto p = cli.start(
            Cli::calibrate(0) + QStringList{"--save", "--record", cli.file("r.json")}, 20);
        QByteArray seen;
        ASSERT_TRUE(Cli::waitFor(*p, "calibrating: CH0 Unipolar 10V", seen));
        ::kill(static_cast<pid_t>(p->processId()), signal);
        const Ended e = Cli::finish(*p);
        EXPECT_EQ(e.code, 4) << signal;
        EXPECT_THAT(e.err.toStdString(), HasSubstr("The automatic calibration was stopped."));
        QFile file(cli.file("r.json"));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QJsonObject record = QJsonDocument::fromJson(file.readAll()).object();
        EXPECT_EQ(record["outcome"].toString(), "stopped");
        EXPECT_GE(record["calibrated"].toObject()["endPoints"].toInt(), 2);
        EXPECT_FALSE(record["saved"].toBool());
        // Stopped before its targets were formed: the as-found read-backs are kept unjudged.
        const QJsonObject first = record["outputs"].toArray()[0].toObject();
        EXPECT_EQ(first["readingsFoundCounts"].toArray().size(), 2); // the default read-backs
        EXPECT_TRUE(first["asLeft"].isNull());
    }
    EXPECT_EQ(cli.table(0), before) << "a stopped calibration saves nothing";
}

TEST(CliProcesses, FilesAreProvenBeforeTheCardIsTouched) {
    Cli cli;
    ASSERT_EQ(cli.run({"recover", "--board", "3"}).code, 0); // the simulated cards' file
    const QJsonObject before = cli.table(0);
    ASSERT_TRUE(QDir(cli.data.path()).mkpath("folder.json"));
    const Ended folder =
        cli.run(Cli::calibrate(0) + QStringList{"--save", "--record", cli.file("folder.json")});
    EXPECT_EQ(folder.code, 1);
    EXPECT_THAT(folder.err.toStdString(), HasSubstr("--record: "));
    const QString cards = cli.file("mx4815cal/simulated-cards.dat");
    ASSERT_TRUE(QFile::exists(cards));
    for (const QStringList& args : {QStringList{"read", "--board", "0", "--out", cards},
                                    Cli::calibrate(0) + QStringList{"--save", "--record", cards}}) {
        const Ended own = cli.run(args);
        EXPECT_EQ(own.code, 1) << args.join(' ').toStdString();
        EXPECT_THAT(own.err.toStdString(), HasSubstr("one of the program's own files"));
    }
    EXPECT_EQ(cli.table(0), before);
}

TEST(CliProcesses, SeveralBoardsAtOnceComeOutAsOneAtATime) {
    Cli together;
    Cli alone;
    QFile refs(together.file("refs.txt"));
    ASSERT_TRUE(refs.open(QIODevice::WriteOnly));
    for (int b = 0; b < 4; ++b) {
        const QStringList c = Cli::calibrate(b);
        refs.write(QStringLiteral("%1 %2 %3\n").arg(b).arg(c[4], c[6]).toUtf8());
    }
    refs.close();
    const Ended all = together.run({"calibrate", "--boards", "0-3", "--refs", refs.fileName(),
                                    "--save", "--record", together.file("r{board}.json"), "--json",
                                    "--repeats", "3", "--temperature", "22.5"});
    ASSERT_EQ(all.code, 0) << all.err.toStdString();
    EXPECT_THAT(all.err.toStdString(), HasSubstr("board 3: [")) << "a progress line per board";
    const QJsonArray summary = all.json()["boards"].toArray();
    ASSERT_EQ(summary.size(), 4);
    for (int b = 0; b < 4; ++b) {
        EXPECT_EQ(summary[b].toObject()["outcome"].toString(), "completed");
        const Ended one = alone.run(Cli::calibrate(b) + QStringList{"--save", "--json", "--repeats",
                                                                    "3", "--temperature", "22.5"});
        ASSERT_EQ(one.code, 0);
        QFile file(together.file(QStringLiteral("r%1.json").arg(b)));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        QJsonObject record = QJsonDocument::fromJson(file.readAll()).object();
        QJsonObject single = one.json();
        for (QJsonObject* r : {&record, &single}) {
            for (const char* key : {"id", "dates", "seal", "exitCode"}) {
                r->remove(key);
            }
        }
        EXPECT_EQ(QJsonDocument(record).toJson().toStdString(),
                  QJsonDocument(single).toJson().toStdString())
            << "board " << b;
        EXPECT_EQ(QJsonDocument(together.table(b)).toJson().toStdString(),
                  QJsonDocument(alone.table(b)).toJson().toStdString())
            << "board " << b << ": every board keeps its own SAVE";
    }
}

// The output range's driver code of a caption ("Bipolar 10V": 3).
int rangeCode(const QString& caption) {
    for (const card::OutputRangeFacts& r : card::kOutputRanges) {
        if (caption.toStdString() == r.caption) {
            return r.rangeCode;
        }
    }
    ADD_FAILURE() << "no output range " << caption.toStdString();
    return 0;
}

TEST(CliProcesses, HalfAYearAfterASaveTheNextCalibrationShowsEachEndPointsDrift) {
    Cli cli;
    cli.date = "2025-01-02";
    ASSERT_EQ(cli.run(Cli::calibrate(0) + QStringList{"--save"}).code, 0);
    cli.date = "2025-07-03"; // 182 days on
    ASSERT_EQ(cli.run(Cli::calibrate(0) + QStringList{"--save"}).code, 0);
    QFile file(cli.file("mx4815cal/simulated-cards.dat"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_THAT(file.readAll().toStdString(),
                HasSubstr("\nsaved 2025-07-03 drift-from 2025-01-02\n"));

    const QJsonArray records = cli.run({"history", "--json"}).json()["records"].toArray();
    ASSERT_EQ(records.size(), 2);
    const QJsonObject first = records[1].toObject()["record"].toObject(); // newest first
    const QJsonObject second = records[0].toObject()["record"].toObject();
    const QDateTime start1 =
        QDateTime::fromString(first["dates"].toObject()["startUtc"].toString(), Qt::ISODate);
    const QDateTime start2 =
        QDateTime::fromString(second["dates"].toObject()["startUtc"].toString(), Qt::ISODate);
    EXPECT_EQ(start1.date(), QDate(2025, 1, 2)) << "the records carry the simulated day";
    EXPECT_EQ(start2.date(), QDate(2025, 7, 3));
    const double days = static_cast<double>(start1.secsTo(start2)) / 86400.0;

    const Ended ran = cli.run({"history", "--drift", "--board", "0", "--json"});
    ASSERT_EQ(ran.code, 0) << ran.err.toStdString();
    const QJsonObject d = ran.json();
    const QJsonArray calibrations = d["calibrations"].toArray();
    ASSERT_EQ(calibrations.size(), 2);
    // Both found the card out of tolerance (aged since the factory, then drifted): the year
    // to start with halved, 182.5 -> 183 days, and halved again, 91.5 -> 92 days.
    EXPECT_EQ(calibrations[0].toObject()["intervalDays"].toInt(), 183);
    EXPECT_EQ(calibrations[1].toObject()["asFound"].toString(), "out of tolerance");
    EXPECT_EQ(d["interval"].toObject()["days"].toInt(), 92);
    EXPECT_EQ(d["interval"].toObject()["nextDue"].toString(), "2025-10-03");

    static const sim::SimulatedDriver truth(sim::SimOptions{4});
    const QJsonArray outputs1 = first["outputs"].toArray();
    const QJsonArray outputs2 = second["outputs"].toArray();
    const QJsonArray endPoints = d["endPoints"].toArray();
    ASSERT_EQ(endPoints.size(), 16);
    int fast = 0;
    for (int i = 0; i < 16; ++i) {
        const QJsonObject o1 = outputs1[i].toObject();
        const QJsonObject o2 = outputs2[i].toObject();
        const QJsonObject e = endPoints[i].toObject();
        const std::string name = e["endPoint"].toString().toStdString();
        ASSERT_EQ(name, o1["endPoint"].toString().toStdString());
        const QJsonObject left1 = o1["asLeft"].toObject();
        const double found2 = o2["asFound"].toObject()["residualVolts"].toDouble();
        const double left2 = o2["asLeft"].toObject()["residualVolts"].toDouble();
        // As found against the as left before, over the days between, a year of 365.25 days.
        const double mVa = e["mVPerYear"].toDouble();
        EXPECT_NEAR(mVa, (found2 - left1["residualVolts"].toDouble()) * 1000 / days * 365.25, 1e-9)
            << name;
        EXPECT_NEAR(e["atDueMV"].toDouble(), left2 * 1000 + mVa * 92 / 365.25, 1e-9) << name;
        EXPECT_EQ(e["atRisk"].toBool(),
                  std::fabs(e["atDueMV"].toDouble()) > e["toleranceMV"].toDouble())
            << name;
        // ... and what the simulated card really did, within four counts of the read-back
        // range over the half year.
        const double rate =
            truth.outputDriftPerYear(0, o1["channel"].toInt(), rangeCode(o1["range"].toString()),
                                     o1["point"].toString() == "upper");
        EXPECT_NEAR(mVa, rate * 1000,
                    4 * left1["voltsPerCount"].toDouble() * 1000 / (days / 365.25))
            << name;
        fast += std::fabs(mVa) > 1.5;
    }
    EXPECT_GE(fast, 4) << "some end points drift faster than others";
    EXPECT_FALSE(d["atRisk"].toArray().isEmpty());

    const std::string text = cli.run({"history", "--drift", "--board", "0"}).out.toStdString();
    EXPECT_THAT(text, HasSubstr("At risk of leaving their tolerance by 2025-10-03: "));
    EXPECT_THAT(text, HasSubstr("Next due: 2025-10-03, 92 days after the calibration of "
                                "2025-07-03"));

    cli.date = "2025-02-30";
    const Ended refused = cli.run({"list"});
    EXPECT_EQ(refused.code, 1);
    EXPECT_THAT(refused.err.toStdString(),
                HasSubstr("MXCAL_SIM_DATE: \"2025-02-30\" is not a date YYYY-MM-DD."));
}

} // namespace
