// Several boards calibrated at once by the command line: `calibrate --boards 0-3` against
// `calibrate --board 0`, both in real time on the simulated cards, each in a data folder of
// its own so that no file of the user's is touched.
#include "scenarios.h"

#include "sim/simulated_driver.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <cstdio>
#include <ostream>

namespace bench {

namespace {

constexpr int kBoards = 4;
constexpr double kRatioGoal = 1.15;

struct Timed {
    double seconds = 0.0;
    int exitCode = -1;
    QByteArray out;
};

Timed runCli(const QTemporaryDir& data, const QStringList& args) {
    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), data.path());
    env.remove(QStringLiteral("MXCAL_SIM_SPEED"));
    cli.setProcessEnvironment(env);
    cli.setProcessChannelMode(QProcess::SeparateChannels);
    cli.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    cli.start(QStringLiteral(MXCAL_CLI_PATH), QStringList{"--cards", "4", "--quiet"} + args);
    cli.waitForFinished(-1);
    Timed t;
    t.seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    t.exitCode = cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1;
    t.out = cli.readAllStandardOutput();
    return t;
}

QString reference(double volts) {
    return QString::number(volts, 'f', 4);
}

} // namespace

bool boardsScenario(std::ostream& out) {
    const sim::SimulatedDriver cards(sim::SimOptions{kBoards});
    QTemporaryDir one;
    QTemporaryDir four;
    QFile refs(four.filePath(QStringLiteral("refs.txt")));
    if (!one.isValid() || !four.isValid() || !refs.open(QIODevice::WriteOnly)) {
        out << "no temporary folder\n";
        return false;
    }
    for (int b = 0; b < kBoards; ++b) {
        refs.write(QStringLiteral("%1 %2 %3\n")
                       .arg(b)
                       .arg(reference(cards.reference10V(b)), reference(cards.reference5V(b)))
                       .toUtf8());
    }
    refs.close();
    const Timed single =
        runCli(one, {"calibrate", "--board", "0", "--ref10", reference(cards.reference10V(0)),
                     "--ref5", reference(cards.reference5V(0)), "--json"});
    const Timed several =
        runCli(four, {"calibrate", "--boards", "0-3", "--refs", refs.fileName(), "--json"});
    const QJsonArray boards = QJsonDocument::fromJson(several.out).object()["boards"].toArray();
    int completed = 0;
    for (const QJsonValue b : boards) {
        completed += b.toObject()["outcome"].toString() == "completed" ? 1 : 0;
    }
    const double ratio = several.seconds / single.seconds;
    char line[200];
    std::snprintf(line, sizeof line,
                  "one board: %.1f s (exit %d); %d boards at once: %.1f s (exit %d, %d of %d "
                  "completed); ratio %.3f (goal at most %.2f)\n",
                  single.seconds, single.exitCode, kBoards, several.seconds, several.exitCode,
                  completed, kBoards, ratio, kRatioGoal);
    out << line;
    return single.exitCode == 0 && several.exitCode == 0 && completed == kBoards &&
           ratio <= kRatioGoal;
}

} // namespace bench
