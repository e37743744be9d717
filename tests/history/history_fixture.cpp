#include "history_fixture.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

#include <cstdlib>

namespace testing_support {

namespace {

namespace fs = std::filesystem;

std::string env(const char* name, const char* fallback) {
    const char* v = std::getenv(name);
    return v != nullptr && *v != '\0' ? v : fallback;
}

history::Location server(const std::string& database) {
    history::Location l;
    l.engine = Engine::PostgreSQL;
    l.host = env("MXCAL_TEST_PGHOST", "");
    l.port = std::stoi(env("MXCAL_TEST_PGPORT", "5432"));
    l.user = env("MXCAL_TEST_PGUSER", "mxcal");
    l.database = database;
    return l;
}

// One statement on a connection of its own; the error text, or empty. value: the first value
// it gives.
std::string runOn(const history::Location& l, const std::string& statement,
                  std::string* value = nullptr) {
    const QString name = QUuid::createUuid().toString();
    std::string error;
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(l.engine == Engine::SQLite ? "QSQLITE" : "QPSQL", name);
        if (l.engine == Engine::SQLite) {
            db.setDatabaseName(QString::fromStdString(l.path));
        } else {
            db.setHostName(QString::fromStdString(l.host));
            db.setPort(l.port);
            db.setDatabaseName(QString::fromStdString(l.database));
            db.setUserName(QString::fromStdString(l.user));
        }
        QSqlQuery q(db);
        if (!db.open()) {
            error = db.lastError().text().toStdString();
        } else if (!q.exec(QString::fromStdString(statement))) {
            error = q.lastError().text().toStdString();
        } else if (value != nullptr && q.next()) {
            *value = q.value(0).toString().toStdString();
        }
        q.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return error;
}

std::string uniqueName(const char* prefix) {
    return prefix + QUuid::createUuid().toString(QUuid::Id128).left(12).toStdString();
}

} // namespace

// The ODBC connection string of a PostgreSQL location (psqlODBC; a socket folder as server).
std::string odbcString(const history::Location& l) {
    return "Driver={PostgreSQL Unicode};Servername=" + l.host + ";Port=" + std::to_string(l.port) +
           ";Database=" + l.database + ";Username=" + l.user;
}

void HistoryTest::SetUp() {
    folder = fs::temp_directory_path() / uniqueName("mx4815cal-history-test-");
    fs::create_directories(folder);
    if (!postgres()) {
        location = history::sqliteAt((folder / "data" / "history.sqlite").string());
        return;
    }
    if (env("MXCAL_TEST_PGHOST", "").empty()) {
        GTEST_SKIP() << "No PostgreSQL server for the tests: tools/test starts one; by hand, "
                        "set MXCAL_TEST_PGHOST (a host or a socket folder), and MXCAL_TEST_PGPORT, "
                        "MXCAL_TEST_PGUSER (a role that may create databases and roles) and "
                        "MXCAL_TEST_PGDATABASE (a database it may connect to) where they are not "
                        "5432, mxcal and mxcal.";
    }
    if (GetParam() == Engine::Odbc && !QSqlDatabase::isDriverAvailable("QODBC")) {
        GTEST_SKIP() << "Qt's ODBC driver is missing (Debian's libqt6sql6-odbc; tools/setup "
                        "installs it with odbc-postgresql).";
    }
    location = server(uniqueName("mxcal_test_"));
    ASSERT_EQ(runOn(server(env("MXCAL_TEST_PGDATABASE", "mxcal")),
                    "CREATE DATABASE " + location.database),
              "");
    if (GetParam() == Engine::Odbc) {
        location.engine = Engine::Odbc;
        location.odbc = odbcString(location);
    }
}

void HistoryTest::TearDown() {
    if (postgres() && !location.database.empty()) {
        const history::Location admin = server(env("MXCAL_TEST_PGDATABASE", "mxcal"));
        EXPECT_EQ(runOn(admin, "DROP DATABASE IF EXISTS " + location.database + " WITH (FORCE)"),
                  "");
        if (!role_.empty()) {
            EXPECT_EQ(runOn(admin, "DROP ROLE " + role_), "");
        }
    }
    std::error_code ec;
    fs::remove_all(folder, ec);
}

history::Store HistoryTest::open() {
    core::Result<history::Store> store = history::Store::open(location);
    EXPECT_TRUE(store) << store.refusal();
    if (!store) {
        throw std::runtime_error(store.refusal());
    }
    return std::move(*store);
}

std::string HistoryTest::sql(const std::string& statement) {
    return runOn(location, statement);
}

std::string HistoryTest::value(const std::string& query) {
    std::string v;
    const std::string error = runOn(location, query, &v);
    return error.empty() ? v : "error: " + error;
}

history::Location HistoryTest::readOnlyRole() {
    role_ = uniqueName("mxcal_reader_");
    EXPECT_EQ(sql("CREATE ROLE " + role_ + " LOGIN"), "");
    EXPECT_EQ(sql("GRANT SELECT ON ALL TABLES IN SCHEMA public TO " + role_), "");
    history::Location reader = location;
    reader.user = role_;
    if (reader.engine == Engine::Odbc) {
        reader.odbc = odbcString(reader);
    }
    return reader;
}

history::Change sampleChange(int board, const std::string& fingerprint, history::Time started) {
    history::Change c;
    c.started = started;
    c.program = "mx4815cal-cli calibrate";
    c.programVersion = "1.0";
    c.computer = "bench-3";
    c.operatorName = "Zoë O'Brien";
    c.board = board;
    c.cardFingerprint = fingerprint;
    c.driver = "simulated card";
    for (int w = 0; w < 128; ++w) {
        c.eepromBefore.push_back(static_cast<std::uint16_t>(0xFF00 + w));
    }
    c.reference10V = 9.9995;
    c.reference5V = 4.9977;
    c.source = history::Source::AutomaticRun;
    c.recordJson = "{\"board\": 0,\n \"note\": \"tab\\there \u00b5V\"}";
    return c;
}

std::string engineName(const ::testing::TestParamInfo<Engine>& info) {
    return info.param == Engine::SQLite       ? "SQLite"
           : info.param == Engine::PostgreSQL ? "PostgreSQL"
                                              : "PostgreSQLThroughODBC";
}

} // namespace testing_support
