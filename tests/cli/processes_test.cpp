// The command-line program as programs run it: real processes on the simulated cards (their
// time run fast with MXCAL_SIM_SPEED), real signals, each test in a data folder of its own.
#include "sim/simulated_driver.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

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

private:
    int speed_;
};

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

} // namespace
