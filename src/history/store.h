#pragma once

#include "core/result.h"
#include "history/history.h"

#include <memory>
#include <string>
#include <vector>

namespace history {

namespace detail {
class Connection;
}

// The calibration history: every change a program makes to a card's EEPROM, recorded as
// pending before the write and completed after it, each record sealed. Several programs may
// use one history at once (SQLite in WAL mode, each change in a transaction of its own;
// PostgreSQL transactions). Every failure is a core::Kind::File refusal that names the
// history (an id or a record that the caller got wrong: core::Kind::Input); nothing throws.
// A Store is used from the thread that opened it.
class Store {
public:
    // Connects, and creates or brings the schema up to schemaVersion (kSchemaVersion; a
    // lower one only to test a migration). Refused when the history cannot be reached, is
    // damaged, or was made by a newer program.
    static core::Result<Store> open(const Location& location, int schemaVersion = kSchemaVersion);
    Store(Store&&) noexcept;
    Store& operator=(Store&&) noexcept;
    ~Store();

    const Location& location() const;
    int schemaVersion() const { return version_; }

    // Records the change as pending, before the EEPROM is written; gives its id (a new
    // UUID). Refused (and nothing recorded) when the history cannot keep it: the write must
    // then not happen.
    core::Result<std::string> beginChange(const Change& change);
    // Completes the pending record id with how the write ended (Written or Failed; ended,
    // when not given, is now) and seals it again. Refused for a record that is not pending
    // or whose content was changed since it was written.
    core::Status complete(const std::string& id, const Ending& ending);

    // The records that filter lets through, newest first.
    core::Result<std::vector<Entry>> list(const Filter& filter = {});
    // The record whose id is idOrPrefix, or the one record whose id starts with it.
    core::Result<Entry> get(const std::string& idOrPrefix);
    // Every record's seal checked against its content.
    core::Result<Verification> verify();
    // Records that approvedBy approved the certificate of the completed record id, now. Refused
    // for a record that does not exist or is still pending, and for an empty name.
    core::Status approve(const std::string& id, const std::string& approvedBy);
    // The approvals of record id, oldest first.
    core::Result<std::vector<Approval>> approvals(const std::string& id);
    // The records still pending, newest first: left by a program that ended between the
    // record and the write, or being written now.
    core::Result<std::vector<Entry>> pending();

private:
    Store(std::unique_ptr<detail::Connection> connection, int version);

    std::unique_ptr<detail::Connection> c_;
    int version_ = 0;
};

} // namespace history
