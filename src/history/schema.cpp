#include "history/schema.h"

#include <QStringList>

namespace history::detail {

namespace {

// Version 1: the records, one row each.
const QStringList kVersion1{
    "CREATE TABLE schema_version ("
    " version INTEGER PRIMARY KEY,"
    " applied_utc TEXT NOT NULL)",
    "CREATE TABLE eeprom_changes ("
    " id TEXT PRIMARY KEY,"
    " started_utc TEXT NOT NULL,"
    " program TEXT NOT NULL,"
    " program_version TEXT NOT NULL,"
    " computer TEXT NOT NULL,"
    " operator_name TEXT NOT NULL,"
    " board INTEGER NOT NULL,"
    " card_fingerprint TEXT NOT NULL,"
    " driver TEXT NOT NULL,"
    " eeprom_before TEXT NOT NULL,"
    " reference_10v TEXT,"
    " reference_5v TEXT,"
    " source TEXT NOT NULL,"
    " source_file TEXT,"
    " source_sha256 TEXT,"
    " restored_from TEXT,"
    " record_json TEXT,"
    " outcome TEXT NOT NULL,"
    " status INTEGER NOT NULL,"
    " message TEXT NOT NULL,"
    " ended_utc TEXT,"
    " eeprom_after TEXT,"
    " seal TEXT NOT NULL)",
};

// Version 2: the listings' filters (board, card, date, pending) served by indexes.
const QStringList kVersion2{
    "CREATE INDEX eeprom_changes_by_board ON eeprom_changes (board, started_utc)",
    "CREATE INDEX eeprom_changes_by_card ON eeprom_changes (card_fingerprint, started_utc)",
    "CREATE INDEX eeprom_changes_by_start ON eeprom_changes (started_utc)",
    "CREATE INDEX eeprom_changes_by_outcome ON eeprom_changes (outcome)",
};

// Version 3: who approved a calibration's certificate, and when; a record may be approved
// more than once (a certificate issued again).
const QStringList kVersion3{
    "CREATE TABLE approvals ("
    " record_id TEXT NOT NULL,"
    " approved_by TEXT NOT NULL,"
    " approved_utc TEXT NOT NULL)",
    "CREATE INDEX approvals_by_record ON approvals (record_id, approved_utc)",
};

const QStringList& step(int version) {
    return version == 1 ? kVersion1 : version == 2 ? kVersion2 : kVersion3;
}

core::Result<bool> hasVersionTable(Connection& c) {
    const QString sql =
        c.sqlite() ? "SELECT COUNT(*) FROM sqlite_master"
                     " WHERE type = 'table' AND name = 'schema_version'"
                   : "SELECT COUNT(*) FROM information_schema.tables"
                     " WHERE table_schema = current_schema() AND table_name = 'schema_version'";
    core::Result<QSqlQuery> q = c.run(sql, {}, "be read");
    if (!q) {
        return q.failure();
    }
    return q->next() && q->value(0).toInt() > 0;
}

core::Status apply(Connection& c, int version) {
    const std::string what = "be brought to schema version " + std::to_string(version);
    for (const QString& sql : step(version)) {
        if (core::Result<QSqlQuery> q = c.run(sql, {}, what); !q) {
            return q.failure();
        }
    }
    core::Result<QSqlQuery> q =
        c.run("INSERT INTO schema_version (version, applied_utc) VALUES (:v, :t)",
              {{":v", version}, {":t", QString::fromStdString(utcText(Time::clock::now()))}}, what);
    return q ? core::Status() : core::Status(q.failure());
}

core::Refusal newer(Connection& c, int found, int target) {
    return c.refusal("be used", "it was made by a newer program (schema version " +
                                    std::to_string(found) + "; this program knows up to " +
                                    std::to_string(target) + ")");
}

} // namespace

core::Result<int> schemaVersion(Connection& c) {
    core::Result<bool> exists = hasVersionTable(c);
    if (!exists || !*exists) {
        return exists ? core::Result<int>(0) : core::Result<int>(exists.failure());
    }
    core::Result<QSqlQuery> q = c.run("SELECT MAX(version) FROM schema_version", {}, "be read");
    if (!q) {
        return q.failure();
    }
    return q->next() ? q->value(0).toInt() : 0;
}

core::Result<int> migrate(Connection& c, int target) {
    core::Result<int> found = schemaVersion(c);
    if (!found || *found == target) {
        return found;
    }
    if (*found > target) {
        return newer(c, *found, target);
    }
    int version = 0;
    core::Status s = c.inWriteTransaction("be brought up to date", [&]() -> core::Status {
        if (!c.sqlite()) {
            // The programs that find the database out of date take their turns here.
            if (auto q = c.run("SELECT pg_advisory_xact_lock(48152020)", {}, "be locked"); !q) {
                return q.failure();
            }
        }
        core::Result<int> now = schemaVersion(c);
        if (!now) {
            return now.failure();
        }
        if (*now > target) {
            return newer(c, *now, target);
        }
        for (version = *now; version < target; ++version) {
            if (core::Status applied = apply(c, version + 1); !applied) {
                return applied;
            }
        }
        return {};
    });
    if (!s) {
        return s.failure();
    }
    return version;
}

} // namespace history::detail
