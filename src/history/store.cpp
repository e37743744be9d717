#include "history/store.h"

#include "history/connection.h"
#include "history/rows.h"
#include "history/schema.h"

#include <QStringList>
#include <QUuid>

#include <algorithm>
#include <cmath>
#include <functional>

namespace history {

using detail::Binds;
using detail::Connection;

std::string describe(const Location& l) {
    if (l.engine == Location::Engine::SQLite) {
        return "calibration history at " + l.path;
    }
    if (l.engine == Location::Engine::Odbc) {
        return "calibration history through ODBC \"" + l.odbc + "\"";
    }
    return "calibration history in database \"" + l.database + "\" on " +
           (l.host.empty() ? std::string("localhost") : l.host) + ":" + std::to_string(l.port) +
           " (user " + l.user + ")";
}

namespace {

bool isHex(const std::string& s) {
    return std::all_of(s.begin(), s.end(), [](char ch) {
        return (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f');
    });
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](char ch) {
        return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch + 32) : ch;
    });
    return s;
}

// A text as the database gives it back (UTF-8, an invalid sequence replaced), so that the
// seal written is the seal read; false for a text the database cannot hold.
bool asStored(std::string& s) {
    if (s.find('\0') != std::string::npos) {
        return false;
    }
    s = QString::fromStdString(s).toStdString();
    return true;
}

// The change as it will be stored, or what is wrong with it.
std::string normalize(Change& c) {
    for (std::string* s :
         {&c.program, &c.programVersion, &c.computer, &c.operatorName, &c.cardFingerprint,
          &c.driver, &c.sourceFile, &c.sourceSha256, &c.restoredFrom, &c.recordJson}) {
        if (!asStored(*s)) {
            return "a text holds a NUL character";
        }
    }
    for (const auto& r : {c.reference10V, c.reference5V}) {
        if (r && !std::isfinite(*r)) {
            return "a reference is not a number";
        }
    }
    if (c.source == Source::ImportedFile) {
        c.sourceSha256 = lower(c.sourceSha256);
        if (c.sourceFile.empty() || c.sourceSha256.size() != 64 || !isHex(c.sourceSha256)) {
            return "an imported file needs its name and its SHA-256 (64 hexadecimal digits)";
        }
    } else {
        c.sourceFile.clear();
        c.sourceSha256.clear();
    }
    if (c.source == Source::Restore) {
        c.restoredFrom = lower(c.restoredFrom);
        if (c.restoredFrom.empty()) {
            return "a restore needs the id of the record it puts back";
        }
    } else {
        c.restoredFrom.clear();
    }
    c.started = std::chrono::floor<std::chrono::milliseconds>(c.started);
    return "";
}

// A refusal of what the caller asked for rather than of the history.
core::Refusal input(core::Refusal r) {
    r.kind = core::Kind::Input;
    return r;
}

Binds only(const Binds& all, std::initializer_list<const char*> names) {
    Binds some;
    for (const char* n : names) {
        for (const auto& b : all) {
            if (b.first == QString(":") + n) {
                some.push_back(b);
            }
        }
    }
    return some;
}

QString insertSql(const Binds& binds) {
    QStringList names;
    for (const auto& b : binds) {
        names << b.first;
    }
    return "INSERT INTO eeprom_changes (" + detail::columns() + ") VALUES (" + names.join(", ") +
           ")";
}

} // namespace

Store::Store(std::unique_ptr<Connection> connection, int version)
    : c_(std::move(connection)), version_(version) {}
Store::Store(Store&&) noexcept = default;
Store& Store::operator=(Store&&) noexcept = default;
Store::~Store() = default;

const Location& Store::location() const {
    return c_->location();
}

core::Result<Store> Store::open(const Location& location, int schemaVersion) {
    core::Result<std::unique_ptr<Connection>> c = Connection::open(location);
    if (!c) {
        return c.failure();
    }
    core::Result<int> version = detail::migrate(**c, schemaVersion);
    if (!version) {
        return version.failure();
    }
    return Store(std::move(*c), *version);
}

core::Result<std::string> Store::beginChange(const Change& change) {
    Entry e;
    e.change = change;
    const std::string what =
        "keep the record of the change to board " + std::to_string(change.board);
    if (const std::string wrong = normalize(e.change); !wrong.empty()) {
        return input(c_->refusal(what, wrong));
    }
    e.id = QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString();
    e.seal = sealOf(e);
    core::Status s = c_->inWriteTransaction(what, [&]() -> core::Status {
        if (e.change.source == Source::Restore) {
            auto q = c_->run("SELECT COUNT(*) FROM eeprom_changes WHERE id = :id",
                             {{":id", QString::fromStdString(e.change.restoredFrom)}}, what);
            if (!q) {
                return q.failure();
            }
            if (!q->next() || q->value(0).toInt() != 1) {
                return input(c_->refusal(what, "the record to restore, " + e.change.restoredFrom +
                                                   ", is not in it"));
            }
        }
        const Binds binds = detail::bindsOf(e);
        auto q = c_->run(insertSql(binds), binds, what);
        return q ? core::Status() : core::Status(q.failure());
    });
    if (!s) {
        return s.failure();
    }
    return e.id;
}

core::Status Store::complete(const std::string& id, const Ending& ending) {
    const std::string what = "complete the record " + id;
    Ending d = ending;
    if (d.outcome == Outcome::Pending || !asStored(d.message) || !asStored(d.recordJson)) {
        return input(c_->refusal(what, "a record is completed as written, failed or not "
                                       "written, with a message and a record free of NUL "
                                       "characters"));
    }
    d.ended = std::chrono::floor<std::chrono::milliseconds>(d.ended.value_or(Time::clock::now()));
    return c_->inWriteTransaction(what, [&]() -> core::Status {
        auto q = c_->run("SELECT " + detail::columns() + " FROM eeprom_changes WHERE id = :id" +
                             (c_->sqlite() ? "" : " FOR UPDATE"),
                         {{":id", QString::fromStdString(id)}}, what);
        if (!q) {
            return q.failure();
        }
        if (!q->next()) {
            return c_->refusal(what, "it holds no such record");
        }
        Entry e = detail::entryFrom(*q);
        q->finish();
        if (!e.intact) {
            return c_->refusal(what,
                               "the record was changed after it was written (" + e.problem + ")");
        }
        if (e.ending.outcome != Outcome::Pending) {
            return c_->refusal(what, "the record is " + outcomeName(e.ending.outcome) + " already");
        }
        if (!d.recordJson.empty()) {
            e.change.recordJson = d.recordJson;
        }
        e.ending = d;
        e.seal = sealOf(e);
        auto u = c_->run("UPDATE eeprom_changes SET outcome = :outcome, status = :status,"
                         " message = :message, ended_utc = :ended_utc,"
                         " eeprom_after = :eeprom_after, record_json = :record_json,"
                         " seal = :seal WHERE id = :id AND outcome = 'pending'",
                         only(detail::bindsOf(e), {"outcome", "status", "message", "ended_utc",
                                                   "eeprom_after", "record_json", "seal", "id"}),
                         what);
        if (!u) {
            return u.failure();
        }
        return u->numRowsAffected() == 1
                   ? core::Status()
                   : core::Status(c_->refusal(what, "the record is no longer pending"));
    });
}

namespace {

// Each row of q read into a record, handed to take.
void eachEntry(QSqlQuery& q, const std::function<void(Entry)>& take) {
    while (q.next()) {
        take(detail::entryFrom(q));
    }
}

} // namespace

core::Result<std::vector<Entry>> Store::list(const Filter& filter) {
    const std::string what = "be read";
    if (core::Status s = c_->ready(what); !s) {
        return s.failure();
    }
    QStringList where;
    Binds binds;
    if (filter.board) {
        where << "board = :board";
        binds.emplace_back(":board", *filter.board);
    }
    if (!filter.cardFingerprint.empty()) {
        // A fingerprint, or the start of one (listings show twelve characters of it).
        const QString card = QString::fromStdString(filter.cardFingerprint);
        where << QStringLiteral("substr(card_fingerprint, 1, %1) = :card").arg(card.size());
        binds.emplace_back(":card", card);
    }
    if (filter.since) {
        where << "started_utc >= :since";
        binds.emplace_back(":since", QString::fromStdString(utcText(*filter.since)));
    }
    if (filter.outcome) {
        where << "outcome = :outcome";
        binds.emplace_back(":outcome", QString::fromStdString(outcomeName(*filter.outcome)));
    }
    QString sql = "SELECT " + detail::columns() + " FROM eeprom_changes";
    if (!where.isEmpty()) {
        sql += " WHERE " + where.join(" AND ");
    }
    sql += " ORDER BY started_utc DESC, id DESC";
    if (filter.limit > 0) {
        sql += " LIMIT " + QString::number(filter.limit);
    }
    core::Result<QSqlQuery> q = c_->run(sql, binds, what);
    if (!q) {
        return q.failure();
    }
    std::vector<Entry> entries;
    eachEntry(*q, [&](Entry e) { entries.push_back(std::move(e)); });
    return entries;
}

core::Result<Entry> Store::get(const std::string& idOrPrefix) {
    const std::string what = "be read";
    const std::string prefix = lower(idOrPrefix);
    const bool wellFormed =
        !prefix.empty() && prefix.size() <= 36 &&
        std::all_of(prefix.begin(), prefix.end(), [](char ch) { return ch == '-' || isHex({ch}); });
    if (!wellFormed) {
        return input(core::refuse("\"" + idOrPrefix + "\" is not the id of a record in the " +
                                  describe(location()) + "."));
    }
    if (core::Status s = c_->ready(what); !s) {
        return s.failure();
    }
    core::Result<QSqlQuery> q =
        c_->run("SELECT " + detail::columns() + " FROM eeprom_changes WHERE id LIKE :p" +
                    " ORDER BY id LIMIT 2",
                {{":p", QString::fromStdString(prefix + "%")}}, what);
    if (!q) {
        return q.failure();
    }
    std::vector<Entry> found;
    eachEntry(*q, [&](Entry e) { found.push_back(std::move(e)); });
    if (found.size() != 1) {
        return input(core::refuse("The " + describe(location()) +
                                  (found.empty() ? " has no record" : " has more than one record") +
                                  " whose id starts with " + prefix +
                                  (found.empty() ? "." : "; give more of the id.")));
    }
    return found.front();
}

core::Status Store::approve(const std::string& id, const std::string& approvedBy) {
    const std::string what = "keep the approval of the record " + id;
    std::string name = approvedBy;
    if (name.empty() || !asStored(name)) {
        return input(c_->refusal(what, "an approval needs a name free of NUL characters"));
    }
    const auto e = get(id);
    if (!e) {
        return e.failure();
    }
    if (e->ending.outcome == Outcome::Pending) {
        return input(c_->refusal(what, "the record is still pending"));
    }
    const auto now = std::chrono::floor<std::chrono::milliseconds>(Time::clock::now());
    return c_->inWriteTransaction(what, [&]() -> core::Status {
        auto q = c_->run("INSERT INTO approvals (record_id, approved_by, approved_utc)"
                         " VALUES (:id, :by, :t)",
                         {{":id", QString::fromStdString(e->id)},
                          {":by", QString::fromStdString(name)},
                          {":t", QString::fromStdString(utcText(now))}},
                         what);
        return q ? core::Status() : core::Status(q.failure());
    });
}

core::Result<std::vector<Approval>> Store::approvals(const std::string& id) {
    const std::string what = "be read";
    if (core::Status s = c_->ready(what); !s) {
        return s.failure();
    }
    auto q = c_->run("SELECT approved_by, approved_utc FROM approvals WHERE record_id = :id"
                     " ORDER BY approved_utc",
                     {{":id", QString::fromStdString(id)}}, what);
    if (!q) {
        return q.failure();
    }
    std::vector<Approval> out;
    while (q->next()) {
        Approval a;
        a.approvedBy = q->value(0).toString().toStdString();
        a.approved = parseUtcText(q->value(1).toString().toStdString()).value_or(Time{});
        out.push_back(a);
    }
    return out;
}

core::Result<Verification> Store::verify() {
    const std::string what = "be read";
    if (core::Status s = c_->ready(what); !s) {
        return s.failure();
    }
    core::Result<QSqlQuery> q = c_->run(
        "SELECT " + detail::columns() + " FROM eeprom_changes ORDER BY started_utc, id", {}, what);
    if (!q) {
        return q.failure();
    }
    Verification v;
    eachEntry(*q, [&](Entry e) {
        ++v.checked;
        if (!e.intact) {
            v.broken.push_back(std::move(e));
        }
    });
    return v;
}

core::Result<std::vector<Entry>> Store::pending() {
    Filter f;
    f.outcome = Outcome::Pending;
    return list(f);
}

} // namespace history
