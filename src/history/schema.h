#pragma once

#include "core/result.h"
#include "history/connection.h"

// The history's schema, one numbered step at a time, and the table schema_version that
// says which steps a database has had.
namespace history::detail {

// The version the database is at: 0 when it has no schema yet.
core::Result<int> schemaVersion(Connection& c);

// Brings the database to version target, creating it at first use: every missing step in
// one transaction, which other programs opening the same history at the same moment wait
// for. A database at a later version than target (made by a newer program) is refused.
// Gives the version the database is at afterwards.
core::Result<int> migrate(Connection& c, int target);

} // namespace history::detail
