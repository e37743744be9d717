#include "history/connection.h"

#include <QSqlError>
#include <QUuid>

#include <filesystem>

namespace history::detail {

namespace {

namespace fs = std::filesystem;

// How long a program waits for another one that is writing to the history.
constexpr int kBusyMilliseconds = 10000;
// How long a program waits for a server that does not answer.
constexpr int kConnectSeconds = 10;

// The SQLite file's folder made, and nothing but a regular file at its path.
std::string sqlitePathProblem(const std::string& path) {
    if (path.empty()) {
        return "no file is named";
    }
    const fs::path p(std::u8string(reinterpret_cast<const char8_t*>(path.data()), path.size()));
    std::error_code ec;
    if (p.has_parent_path() && !fs::is_directory(p.parent_path(), ec)) {
        fs::create_directories(p.parent_path(), ec);
        if (ec) {
            return "its folder cannot be made (" + ec.message() + ")";
        }
    }
    const fs::file_status status = fs::status(p, ec);
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        return "it is not a file";
    }
    return "";
}

QString driverName(const Location& location) {
    switch (location.engine) {
    case Location::Engine::SQLite:
        return "QSQLITE";
    case Location::Engine::Odbc:
        return "QODBC";
    case Location::Engine::PostgreSQL:
        break;
    }
    return "QPSQL";
}

} // namespace

std::string errorText(const QSqlError& error) {
    QString text = error.databaseText().trimmed();
    if (text.isEmpty()) {
        text = error.driverText().trimmed();
    }
    if (text.isEmpty()) {
        text = error.text().trimmed();
    }
    text.replace('\n', ' ');
    return text.isEmpty() ? "no reason given" : text.toStdString();
}

core::Result<std::unique_ptr<Connection>> Connection::open(const Location& location) {
    const bool sqlite = location.engine == Location::Engine::SQLite;
    const bool odbc = location.engine == Location::Engine::Odbc;
    const std::string prefix = "The " + describe(location) + " cannot be opened: ";
    if (sqlite) {
        if (const std::string problem = sqlitePathProblem(location.path); !problem.empty()) {
            return core::refuse(core::Kind::File, prefix + problem + ".");
        }
    } else if (odbc && location.odbc.empty()) {
        return core::refuse(core::Kind::File, prefix + "an ODBC connection string must be named.");
    } else if (!odbc && (location.database.empty() || location.user.empty())) {
        return core::refuse(core::Kind::File, prefix + "a database and a user must be named.");
    }
    if (!QSqlDatabase::isDriverAvailable(driverName(location))) {
        return core::refuse(core::Kind::File, prefix + "this program has no " +
                                                  (sqlite ? "SQLite"
                                                   : odbc ? "ODBC"
                                                          : "PostgreSQL") +
                                                  " driver (Qt SQL's " +
                                                  driverName(location).toStdString() + ").");
    }
    const QString name = "mx4815cal-history-" + QUuid::createUuid().toString(QUuid::WithoutBraces);
    std::unique_ptr<Connection> c(new Connection(location, name));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(driverName(location), name);
        if (sqlite) {
            db.setDatabaseName(QString::fromStdString(location.path));
            db.setConnectOptions("QSQLITE_BUSY_TIMEOUT=" + QString::number(kBusyMilliseconds));
        } else if (odbc) {
            db.setDatabaseName(QString::fromStdString(location.odbc));
            db.setConnectOptions("SQL_ATTR_LOGIN_TIMEOUT=" + QString::number(kConnectSeconds));
        } else {
            db.setHostName(QString::fromStdString(location.host));
            db.setPort(location.port);
            db.setDatabaseName(QString::fromStdString(location.database));
            db.setUserName(QString::fromStdString(location.user));
            if (!location.password.empty()) {
                db.setPassword(QString::fromStdString(location.password));
            }
            db.setConnectOptions("connect_timeout=" + QString::number(kConnectSeconds) +
                                 ";application_name=mx4815cal");
        }
        if (!db.open()) {
            return core::refuse(core::Kind::File, prefix + errorText(db.lastError()) + ".");
        }
    }
    if (core::Status s = c->setUp(); !s) {
        return core::reword(s.failure(), prefix + s.refusal() + ".");
    }
    return c;
}

Connection::~Connection() {
    failed_.clear();
    {
        QSqlDatabase d = db();
        d.close();
    }
    QSqlDatabase::removeDatabase(name_);
}

core::Status Connection::setUp() {
    QSqlDatabase d = db();
    QSqlQuery q(d);
    // Every write waits up to kBusyMilliseconds for another program's write to end.
    const std::vector<QString> statements =
        sqlite() ? std::vector<QString>{"PRAGMA journal_mode=WAL", "PRAGMA synchronous=FULL"}
                 : std::vector<QString>{"SET client_min_messages = warning",
                                        "SET lock_timeout = " + QString::number(kBusyMilliseconds)};
    for (const QString& sql : statements) {
        if (!q.exec(sql)) {
            return core::refuse(core::Kind::File, errorText(q.lastError()));
        }
    }
    if (sqlite()) {
        // A damaged file shows itself at its first read.
        if (!q.exec("SELECT COUNT(*) FROM sqlite_master") || !q.next()) {
            return core::refuse(core::Kind::File, errorText(q.lastError()));
        }
    }
    return {};
}

core::Refusal Connection::refusal(const std::string& what, const std::string& why) const {
    return core::refuse(core::Kind::File,
                        "The " + describe(location_) + " could not " + what + ": " + why + ".");
}

core::Result<QSqlQuery> Connection::run(const QString& sql, const Binds& binds,
                                        const std::string& what) {
    QSqlQuery q(db());
    q.setForwardOnly(true);
    // Without values the statement runs as it is: PostgreSQL cannot prepare a CREATE.
    if (binds.empty()) {
        if (!q.exec(sql)) {
            return refusal(what, errorText(q.lastError()));
        }
        return q;
    }
    if (!q.prepare(sql)) {
        return refusal(what, errorText(q.lastError()));
    }
    for (const auto& [name, value] : binds) {
        q.bindValue(name, value);
    }
    if (!q.exec()) {
        const std::string why = errorText(q.lastError());
        if (!sqlite()) {
            // PostgreSQL cannot free the prepared statement in the transaction that the
            // failure aborted: it is freed after the rollback.
            failed_.push_back(q);
        }
        return refusal(what, why);
    }
    return q;
}

core::Status Connection::ready(const std::string& what) {
    if (sqlite()) {
        return {};
    }
    QSqlDatabase d = db();
    {
        QSqlQuery probe(d);
        if (d.isOpen() && probe.exec("SELECT 1")) {
            return {};
        }
    }
    d.close();
    if (!d.open()) {
        return refusal(what, errorText(d.lastError()));
    }
    if (core::Status s = setUp(); !s) {
        return refusal(what, s.refusal());
    }
    return {};
}

core::Status Connection::inWriteTransaction(const std::string& what,
                                            const std::function<core::Status()>& work) {
    if (core::Status s = ready(what); !s) {
        return s;
    }
    QSqlQuery q(db());
    if (!q.exec(sqlite() ? "BEGIN IMMEDIATE" : "BEGIN")) {
        return refusal(what, errorText(q.lastError()));
    }
    core::Status done = work();
    if (done && q.exec("COMMIT")) {
        return {};
    }
    const std::string why = done ? errorText(q.lastError()) : "";
    QSqlQuery(db()).exec("ROLLBACK");
    failed_.clear();
    return done ? core::Status(refusal(what, why)) : done;
}

} // namespace history::detail
