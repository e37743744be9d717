#pragma once

// Every history test runs on SQLite (a file in a temporary folder) and on PostgreSQL (a
// database of its own on the server that tools/test starts); the store's own tests also on
// that server through ODBC (psqlODBC), the way a Windows station reaches it.
#include "history/store.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace testing_support {

using Engine = history::Location::Engine;

class HistoryTest : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override;
    void TearDown() override;

    // A PostgreSQL server, through Qt's PostgreSQL driver or through ODBC.
    bool postgres() const { return GetParam() != Engine::SQLite; }
    history::Store open();
    // A statement run on the history's database from outside the store, as a person with
    // SQL could; gives the database's error text, empty on success.
    std::string sql(const std::string& statement);
    // The first value a query gives, as text ("error: ..." when it fails).
    std::string value(const std::string& query);
    // A PostgreSQL role that may read the history but not write it (created here, dropped
    // with the test's database).
    history::Location readOnlyRole();

    history::Location location;
    std::filesystem::path folder; // the test's own temporary folder (both engines)

private:
    std::string role_;
};

// A change with every field set: board, fingerprint and start as given.
history::Change sampleChange(int board = 0, const std::string& fingerprint = "fp-a",
                             history::Time started = history::Time::clock::now());

// The ODBC connection string of a PostgreSQL location (psqlODBC; a socket folder as server).
std::string odbcString(const history::Location& l);

std::string engineName(const ::testing::TestParamInfo<Engine>& info);

} // namespace testing_support
