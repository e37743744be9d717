#pragma once

#include "core/result.h"
#include "history/history.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

// One connection to the history's database, and the store's only words of SQL that differ
// between the engines. Every failure is a core::Kind::File refusal naming the history.
namespace history::detail {

using Binds = std::vector<std::pair<QString, QVariant>>;

class Connection {
public:
    // Connects and sets the connection up: SQLite in WAL mode, full synchronous commits and
    // a busy timeout; PostgreSQL with a connect and a lock timeout.
    static core::Result<std::unique_ptr<Connection>> open(const Location& location);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    const Location& location() const { return location_; }
    bool sqlite() const { return location_.engine == Location::Engine::SQLite; }

    // "The calibration history at ... could not <what>: <error>."
    core::Refusal refusal(const std::string& what, const std::string& why) const;

    // Runs one statement with its values bound by name; the query is positioned before its
    // first row.
    core::Result<QSqlQuery> run(const QString& sql, const Binds& binds, const std::string& what);

    // Runs work in one transaction that writes (SQLite: BEGIN IMMEDIATE, so that two
    // programs never both hold a read lock they must upgrade); commits when work succeeds,
    // rolls back otherwise. A PostgreSQL connection that was lost is opened again first.
    core::Status inWriteTransaction(const std::string& what,
                                    const std::function<core::Status()>& work);
    // A lost PostgreSQL connection opened again; nothing for SQLite.
    core::Status ready(const std::string& what);

private:
    Connection(Location location, QString name)
        : location_(std::move(location)), name_(std::move(name)) {}
    QSqlDatabase db() const { return QSqlDatabase::database(name_, false); }
    core::Status setUp();

    Location location_;
    QString name_;
    std::vector<QSqlQuery> failed_; // kept until their transaction has ended
};

// The text of a database error, without the driver's trailing line breaks.
std::string errorText(const QSqlError& error);

} // namespace history::detail
