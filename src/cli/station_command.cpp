// The station: station shows and sets the bench's facts in the station file.
#include "cli/invocation.h"
#include "core/text.h"
#include "journal/station_file.h"
#include "record/record_json.h"

#include <QJsonDocument>

#include <charconv>
#include <cstdio>

namespace cli {

namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

std::string stationFile(const Invocation& inv) {
    return inv.services.stationFile.empty() ? journal::stationPath() : inv.services.stationFile;
}

core::Refusal badSetting(const std::string& name, const std::string& value,
                         const std::string& what) {
    return core::refuse("--" + name + ": " + core::quoteText(value) + " " + what +
                        ". The station was not changed.");
}

// "35,5" or "35,5,10,2": ppm of reading, ppm of range, the meter's range in volts (10) and
// the coverage factor (2).
std::optional<record::MeterUncertainty> parseUncertainty(const std::string& text) {
    std::vector<double> figures;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        double v = 0;
        const char* first = text.data() + start;
        const char* last = text.data() + comma;
        const auto [end, ec] = std::from_chars(first, last, v);
        if (first == last || ec != std::errc{} || end != last) {
            return std::nullopt;
        }
        figures.push_back(v);
        start = comma + 1;
    }
    if (figures.size() < 2 || figures.size() > 4) {
        return std::nullopt;
    }
    record::MeterUncertainty u;
    u.ppmOfReading = figures[0];
    u.ppmOfRange = figures[1];
    u.rangeVolts = figures.size() > 2 ? figures[2] : 10.0;
    u.coverageFactor = figures.size() > 3 ? figures[3] : 2.0;
    if (!record::plausible(u)) {
        return std::nullopt;
    }
    return u;
}

// "default", "sqlite:PATH", "postgresql://USER@HOST[:PORT]/DATABASE" (a socket folder as
// HOST with its slashes as %2F).
std::optional<std::optional<history::Location>> parseHistory(const std::string& text) {
    if (text == "default") {
        return std::optional<history::Location>{};
    }
    if (text.rfind("sqlite:", 0) == 0 && text.size() > 7) {
        return std::optional<history::Location>{history::sqliteAt(text.substr(7))};
    }
    if (text.rfind("odbc:", 0) == 0 && text.size() > 5) {
        // The password belongs in the data source or the PostgreSQL client's password file,
        // not in the station file.
        QString upper = QString::fromStdString(text).toUpper();
        if (upper.contains("PWD=") || upper.contains("PASSWORD=")) {
            return std::nullopt;
        }
        history::Location l;
        l.engine = history::Location::Engine::Odbc;
        l.odbc = text.substr(5);
        return std::optional<history::Location>{l};
    }
    const std::string scheme = "postgresql://";
    if (text.rfind(scheme, 0) != 0) {
        return std::nullopt;
    }
    const std::string rest = text.substr(scheme.size());
    const std::size_t at = rest.find('@');
    const std::size_t slash = rest.find('/', at == std::string::npos ? 0 : at);
    if (at == std::string::npos || at == 0 || slash == std::string::npos ||
        slash + 1 >= rest.size()) {
        return std::nullopt;
    }
    history::Location l;
    l.engine = history::Location::Engine::PostgreSQL;
    l.user = rest.substr(0, at);
    std::string host = rest.substr(at + 1, slash - at - 1);
    l.database = rest.substr(slash + 1);
    if (const std::size_t colon = host.rfind(':'); colon != std::string::npos) {
        int port = 0;
        const std::string p = host.substr(colon + 1);
        const auto [end, ec] = std::from_chars(p.data(), p.data() + p.size(), port);
        if (p.empty() || ec != std::errc{} || end != p.data() + p.size() || port < 1 ||
            port > 65535) {
            return std::nullopt;
        }
        l.port = port;
        host.resize(colon);
    }
    // A socket folder is written as libpq writes it, its slashes as %2F.
    for (std::size_t at2f = host.find("%2F"); at2f != std::string::npos; at2f = host.find("%2F")) {
        host.replace(at2f, 3, "/");
    }
    if (host.empty()) {
        return std::nullopt;
    }
    l.host = host;
    return std::optional<history::Location>{l};
}

core::Status apply(journal::Settings& s, const std::string& name, const std::string& value) {
    if (name == "interval") {
        return applyInterval(s, value);
    }
    if (name == "interval-on-certificate") {
        if (value != "yes" && value != "no") {
            return badSetting(name, value, "is not yes or no");
        }
        s.intervalOnCertificate = value == "yes";
        return {};
    }
    record::Station& st = s.station;
    if (name == "laboratory" || name == "address" || name == "operator") {
        (name == "laboratory" ? st.laboratoryName
         : name == "address"  ? st.laboratoryAddress
                              : st.operatorName) = value;
        return {};
    }
    if (name == "history") {
        const auto h = parseHistory(value);
        if (!h) {
            return badSetting(name, value,
                              "is not a history: default, sqlite:PATH, "
                              "postgresql://USER@HOST[:PORT]/DATABASE or odbc:CONNECTION "
                              "(without a password)");
        }
        s.history = *h;
        return {};
    }
    record::ReferenceMeter& m = st.meter ? *st.meter : st.meter.emplace();
    if (name == "meter-due") {
        if (value.empty()) {
            m.dueDate.reset();
            return {};
        }
        const auto d = record::parseDate(value);
        if (!d) {
            return badSetting(name, value, "is not a date YYYY-MM-DD");
        }
        m.dueDate = *d;
        return {};
    }
    if (name == "meter-uncertainty") {
        if (value.empty()) {
            m.uncertainty.reset();
            return {};
        }
        const auto u = parseUncertainty(value);
        if (!u) {
            return badSetting(name, value,
                              "is not an uncertainty PPM_OF_READING,PPM_OF_RANGE[,RANGE_V[,K]] "
                              "(figures not negative, the range and K above 0)");
        }
        m.uncertainty = *u;
        return {};
    }
    (name == "meter-make"     ? m.make
     : name == "meter-model"  ? m.model
     : name == "meter-serial" ? m.serialNumber
                              : m.certificateNumber) = value;
    return {};
}

QJsonObject locationJson(const history::Location& l) {
    return QJsonObject{{"description", q(history::describe(l))}};
}

void printStation(const Invocation& inv, const journal::Settings& s, const std::string& file) {
    const record::Station& st = s.station;
    const history::Location where = journal::historyOf(s);
    if (inv.options.json) {
        QJsonObject o = record::stationJson(st);
        o["operatorInRecords"] = q(record::orNotRecorded(journal::operatorOf(s)));
        o["history"] = locationJson(where);
        o["interval"] = journal::intervalJson(journal::intervalOf(s));
        o["file"] = q(file);
        printJson(inv, o);
        return;
    }
    auto line = [&inv](const char* label, const std::string& value) {
        inv.out << label << record::orNotRecorded(value) << "\n";
    };
    line("Station file:        ", file);
    line("Laboratory:          ", st.laboratoryName);
    line("Address:             ", st.laboratoryAddress);
    line("Operator:            ", journal::operatorOf(s));
    if (!st.meter) {
        line("Reference meter:     ", "");
    } else {
        const record::ReferenceMeter& m = *st.meter;
        line("Reference meter:     ", record::meterName(m));
        line("  certificate:       ", m.certificateNumber);
        line("  due:               ", m.dueDate ? record::formatDate(*m.dueDate) : "");
        if (m.uncertainty) {
            char text[160];
            std::snprintf(text, sizeof text,
                          "+/- (%g ppm of reading + %g ppm of %g V range), k = %g",
                          m.uncertainty->ppmOfReading, m.uncertainty->ppmOfRange,
                          m.uncertainty->rangeVolts, m.uncertainty->coverageFactor);
            line("  uncertainty:       ", text);
        } else {
            line("  uncertainty:       ", "");
        }
    }
    line("Calibration history: ", history::describe(where));
    line("Interval:            ", intervalText(journal::intervalOf(s)));
}

} // namespace

int runStation(const Invocation& inv) {
    const std::string file = stationFile(inv);
    auto loaded = journal::loadSettings(file);
    if (!loaded) {
        // A damaged file may be set anew: the settings given then replace it.
        if (inv.options.stationSettings.empty()) {
            return fail(inv, loaded.failure());
        }
        inv.err << "mx4815cal-cli: " << loaded.refusal() << " It is replaced.\n";
        loaded = journal::Settings{};
    }
    journal::Settings settings = *loaded;
    for (const auto& [name, value] : inv.options.stationSettings) {
        if (const core::Status s = apply(settings, name, value); !s) {
            return fail(inv, s.failure());
        }
    }
    if (!inv.options.stationSettings.empty()) {
        if (const core::Status saved = journal::saveSettings(file, settings); !saved) {
            return fail(inv, saved.failure());
        }
    }
    printStation(inv, settings, file);
    return kSuccess;
}

} // namespace cli
