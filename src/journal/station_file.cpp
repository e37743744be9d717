#include "journal/station_file.h"

#include "core/replace_file.h"
#include "record/record_json.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QSysInfo>

#include <cmath>
#include <cstdlib>
#include <filesystem>

namespace journal {

namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

QJsonObject locationJson(const history::Location& l) {
    if (l.engine == history::Location::Engine::SQLite) {
        return QJsonObject{{"engine", "sqlite"}, {"path", q(l.path)}};
    }
    if (l.engine == history::Location::Engine::Odbc) {
        return QJsonObject{{"engine", "odbc"}, {"connection", q(l.odbc)}};
    }
    // No password is kept in the file: the PostgreSQL client finds it in ~/.pgpass
    // (%APPDATA%\postgresql\pgpass.conf) or PGPASSWORD.
    return QJsonObject{{"engine", "postgresql"},
                       {"host", q(l.host)},
                       {"port", l.port},
                       {"database", q(l.database)},
                       {"user", q(l.user)}};
}

core::Result<history::Location> locationFromJson(const QJsonObject& o) {
    const QString engine = o.value("engine").toString();
    const auto text = [&o](const char* key) { return o.value(key).toString().toStdString(); };
    history::Location l;
    if (engine == "sqlite") {
        l.path = text("path");
        if (l.path.empty()) {
            return core::refuse("its \"history\" names no SQLite \"path\"");
        }
        return l;
    }
    if (engine == "odbc") {
        l.engine = history::Location::Engine::Odbc;
        l.odbc = text("connection");
        if (l.odbc.empty()) {
            return core::refuse("its ODBC \"history\" names no \"connection\"");
        }
        return l;
    }
    if (engine != "postgresql") {
        return core::refuse("its \"history\" has an \"engine\" that is not \"sqlite\", "
                            "\"postgresql\" or \"odbc\"");
    }
    l.engine = history::Location::Engine::PostgreSQL;
    l.host = text("host");
    l.database = text("database");
    l.user = text("user");
    const double port = o.value("port").toDouble(5432);
    if (port < 1 || port > 65535 || port != static_cast<int>(port)) {
        return core::refuse("its \"history\" has a \"port\" that is no port number (1 to 65535)");
    }
    l.port = static_cast<int>(port);
    if (l.host.empty() || l.database.empty() || l.user.empty()) {
        return core::refuse("its PostgreSQL \"history\" must name a \"host\", a \"database\" and "
                            "a \"user\"");
    }
    return l;
}

// The interval's settings; a member left out keeps its default.
core::Result<trend::IntervalPolicy> intervalFromJson(const QJsonObject& o) {
    trend::IntervalPolicy p;
    for (const auto& [key, field] : {std::pair{"extendFactor", &p.extendFactor},
                                     {"shortenFactor", &p.shortenFactor},
                                     {"withinFraction", &p.withinFraction}}) {
        if (o.contains(key) && !o.value(key).isDouble()) {
            return core::refuse(std::string("its \"interval\" has a \"") + key +
                                "\" that is not a number");
        }
        *field = o.value(key).toDouble(*field);
    }
    for (const auto& [key, field] :
         {std::pair{"startDays", &p.startDays}, {"minDays", &p.minDays}, {"maxDays", &p.maxDays}}) {
        const double days = o.value(key).toDouble(*field);
        if (!o.value(key).isUndefined() &&
            (!o.value(key).isDouble() || days != std::floor(days) || std::fabs(days) > 1e6)) {
            return core::refuse(std::string("its \"interval\" has a \"") + key +
                                "\" that is not a whole number of days");
        }
        *field = static_cast<int>(days);
    }
    if (const core::Status s = trend::checkPolicy(p); !s) {
        return core::refuse("its \"interval\" cannot serve: " + s.refusal());
    }
    return p;
}

} // namespace

std::string dataFolder() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (folder.isEmpty()) {
        folder = QDir::home().filePath(QStringLiteral(".mx4815cal"));
    }
    QDir().mkpath(folder);
    return QDir::toNativeSeparators(folder).toStdString();
}

std::string stationPath() {
    return (std::filesystem::path(dataFolder()) / "station.json").string();
}

history::Location defaultHistory() {
    return history::sqliteAt(
        (std::filesystem::path(dataFolder()) / "calibration-history.sqlite").string());
}

core::Result<Settings> loadSettings(const std::string& path) {
    QFile file(q(path));
    if (!file.exists()) {
        return Settings{};
    }
    const std::string named = "The station file " + path;
    if (!file.open(QIODevice::ReadOnly)) {
        return core::refuse(named + " cannot be read: " + file.errorString().toStdString() + ".");
    }
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(file.read(1 << 20), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        return core::refuse(named + " is not a JSON object" +
                            (error.error != QJsonParseError::NoError
                                 ? " (" + error.errorString().toStdString() + " at byte " +
                                       std::to_string(error.offset) + ")"
                                 : std::string()) +
                            ".");
    }
    const QJsonObject o = doc.object();
    Settings s;
    auto station = record::stationFromJson(o);
    if (!station) {
        return core::refuse(named + ": " + station.refusal() + ".");
    }
    s.station = *station;
    if (o.contains("history")) {
        if (!o.value("history").isObject()) {
            return core::refuse(named + ": its \"history\" is not an object.");
        }
        auto location = locationFromJson(o.value("history").toObject());
        if (!location) {
            return core::refuse(named + ": " + location.refusal() + ".");
        }
        s.history = *location;
    }
    if (o.contains("interval")) {
        if (!o.value("interval").isObject()) {
            return core::refuse(named + ": its \"interval\" is not an object.");
        }
        auto interval = intervalFromJson(o.value("interval").toObject());
        if (!interval) {
            return core::refuse(named + ": " + interval.refusal() + ".");
        }
        s.interval = *interval;
    }
    if (o.contains("intervalOnCertificate")) {
        if (!o.value("intervalOnCertificate").isBool()) {
            return core::refuse(named + ": its \"intervalOnCertificate\" is not true or false.");
        }
        s.intervalOnCertificate = o.value("intervalOnCertificate").toBool();
    }
    return s;
}

core::Status saveSettings(const std::string& path, const Settings& settings) {
    QJsonObject o = record::stationJson(settings.station);
    if (settings.history) {
        o["history"] = locationJson(*settings.history);
    }
    if (settings.interval) {
        o["interval"] = intervalJson(*settings.interval);
    }
    if (settings.intervalOnCertificate) {
        o["intervalOnCertificate"] = true;
    }
    const QByteArray bytes = QJsonDocument(o).toJson(QJsonDocument::Indented);
    const core::Status written = core::replaceFile(
        std::filesystem::path(path), std::string_view(bytes.constData(), bytes.size()));
    if (!written) {
        return core::refuse(core::Kind::File, "The station file " + path +
                                                  " was not written: " + written.refusal() + ".");
    }
    return {};
}

history::Location historyOf(const Settings& settings) {
    return settings.history ? *settings.history : defaultHistory();
}

QJsonObject intervalJson(const trend::IntervalPolicy& p) {
    return QJsonObject{{"startDays", p.startDays},
                       {"extendFactor", p.extendFactor},
                       {"shortenFactor", p.shortenFactor},
                       {"minDays", p.minDays},
                       {"maxDays", p.maxDays},
                       {"withinFraction", p.withinFraction}};
}

trend::IntervalPolicy intervalOf(const Settings& settings) {
    return settings.interval.value_or(trend::IntervalPolicy{});
}

std::string operatorOf(const Settings& settings) {
    if (!settings.station.operatorName.empty()) {
        return settings.station.operatorName;
    }
    for (const char* name : {"USER", "USERNAME", "LOGNAME"}) {
        if (const char* v = std::getenv(name); v != nullptr && *v != '\0') {
            return v;
        }
    }
    return {};
}

std::string computerName() {
    return QSysInfo::machineHostName().toStdString();
}

} // namespace journal
