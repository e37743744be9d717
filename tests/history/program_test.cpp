// The program and its history on each engine: the station names the history, every change
// of the EEPROM is found in it, a restore puts an earlier calibration back, and a record
// changed behind the program's back is caught.
#include "history_fixture.h"

#include <gmock/gmock.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

using testing::HasSubstr;
using testing_support::HistoryTest;

namespace {

struct Ran {
    int code = -1;
    std::string out;
    std::string err;
    QJsonObject json() const {
        return QJsonDocument::fromJson(QByteArray::fromStdString(out)).object();
    }
};

// The history as the station sets it: sqlite:PATH, postgresql://USER@HOST:PORT/DATABASE
// with a socket folder's slashes as %2F, or odbc:CONNECTION.
std::string historyUrl(const history::Location& l) {
    if (l.engine == history::Location::Engine::SQLite) {
        return "sqlite:" + l.path;
    }
    if (l.engine == history::Location::Engine::Odbc) {
        return "odbc:" + l.odbc;
    }
    std::string host = l.host;
    for (std::size_t at = host.find('/'); at != std::string::npos; at = host.find('/')) {
        host.replace(at, 1, "%2F");
    }
    return "postgresql://" + l.user + "@" + host + ":" + std::to_string(l.port) + "/" + l.database;
}

} // namespace

using HistoryProgram = HistoryTest;

TEST_P(HistoryProgram, EveryChangeIsFoundARestorePutsACalibrationBackAndTamperingIsCaught) {
    const auto run = [this](const QStringList& args) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_HOME", QString::fromStdString((folder / "data").string()));
        p.setProcessEnvironment(env);
        p.start(MXCAL_CLI_PATH, args);
        p.waitForFinished(60000);
        return Ran{p.exitCode(), p.readAllStandardOutput().toStdString(),
                   p.readAllStandardError().toStdString()};
    };
    const QString ini = QString::fromStdString((folder / "table.ini").string());
    ASSERT_EQ(run({"station", "--history", QString::fromStdString(historyUrl(location)),
                   "--operator", "A. Technician"})
                  .code,
              0);
    ASSERT_EQ(run({"read", "--board", "0", "--out", ini}).code, 0);
    const Ran written = run({"write", "--board", "0", "--in", ini, "--save"});
    ASSERT_EQ(written.code, 0) << written.err;
    ASSERT_EQ(run({"recover", "--board", "0"}).code, 0);

    QJsonArray records = run({"history", "--json"}).json()["records"].toArray();
    ASSERT_EQ(records.size(), 2);
    const QJsonObject recovered = records[0].toObject();
    const QJsonObject imported = records[1].toObject();
    EXPECT_EQ(recovered["source"].toString(), "RECOVER");
    EXPECT_EQ(imported["source"].toString(), "imported file");
    EXPECT_EQ(imported["sourceFile"].toString(), ini);
    EXPECT_EQ(imported["sourceSha256"].toString().size(), 64);
    EXPECT_EQ(imported["operator"].toString(), "A. Technician");
    EXPECT_EQ(imported["outcome"].toString(), "written");
    EXPECT_EQ(imported["eepromAfter"].toArray().size(), 128);

    // The calibration of the import is put back over RECOVER's factory values.
    const std::string id = imported["id"].toString().toStdString();
    const Ran restored = run({"write", "--board", "0", "--from-history",
                              QString::fromStdString(id.substr(0, 8)), "--save"});
    ASSERT_EQ(restored.code, 0) << restored.err;
    records = run({"history", "--json", "--board", "0"}).json()["records"].toArray();
    ASSERT_EQ(records.size(), 3);
    EXPECT_EQ(records[0].toObject()["source"].toString(), "restore");
    EXPECT_EQ(records[0].toObject()["restoredFrom"].toString().toStdString(), id);
    EXPECT_EQ(records[0].toObject()["eepromAfter"], imported["eepromAfter"]);
    EXPECT_EQ(run({"history", "--board", "1"}).out, "0 records\n");

    EXPECT_EQ(run({"history", "verify"}).code, 0);
    ASSERT_EQ(sql("UPDATE eeprom_changes SET board = 5 WHERE id = '" + id + "'"), "");
    const Ran verified = run({"history", "verify"});
    EXPECT_EQ(verified.code, 7);
    EXPECT_THAT(verified.out, HasSubstr(id));
    // A record that does not match its seal is not put back.
    const Ran refused =
        run({"write", "--board", "0", "--from-history", QString::fromStdString(id), "--save"});
    EXPECT_EQ(refused.code, 1);
    EXPECT_THAT(refused.err, HasSubstr("does not match its seal"));
}

INSTANTIATE_TEST_SUITE_P(Engines, HistoryProgram,
                         ::testing::Values(history::Location::Engine::SQLite,
                                           history::Location::Engine::PostgreSQL,
                                           history::Location::Engine::Odbc),
                         testing_support::engineName);
