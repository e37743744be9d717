#include "history/rows.h"

#include <QMetaType>
#include <QStringList>

#include <array>
#include <charconv>
#include <limits>

namespace history::detail {

namespace {

enum Column {
    kId,
    kStarted,
    kProgram,
    kProgramVersion,
    kComputer,
    kOperator,
    kBoard,
    kFingerprint,
    kDriver,
    kEepromBefore,
    kReference10,
    kReference5,
    kSource,
    kSourceFile,
    kSourceSha256,
    kRestoredFrom,
    kRecord,
    kOutcome,
    kStatus,
    kMessage,
    kEnded,
    kEepromAfter,
    kSeal,
    kColumns
};

const std::array<const char*, kColumns> kNames{
    "id",          "started_utc",   "program",       "program_version",
    "computer",    "operator_name", "board",         "card_fingerprint",
    "driver",      "eeprom_before", "reference_10v", "reference_5v",
    "source",      "source_file",   "source_sha256", "restored_from",
    "record_json", "outcome",       "status",        "message",
    "ended_utc",   "eeprom_after",  "seal"};

QVariant text(const std::string& s) {
    return s.empty() ? QVariant(QMetaType::fromType<QString>()) : QString::fromStdString(s);
}

QVariant number(const std::optional<double>& v) {
    if (!v) {
        return QVariant(QMetaType::fromType<QString>());
    }
    std::array<char, 64> buf{};
    const auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), *v);
    return QString::fromLatin1(buf.data(), ec == std::errc{} ? end - buf.data() : 0);
}

std::optional<std::optional<double>> parseNumber(const QVariant& v) {
    if (v.isNull()) {
        return std::optional<double>();
    }
    const std::string s = v.toString().toStdString();
    double d = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), d);
    if (ec != std::errc{} || end != s.data() + s.size() || s.empty()) {
        return std::nullopt;
    }
    return std::optional<double>(d);
}

std::string str(const QSqlQuery& row, int column) {
    return row.value(column).toString().toStdString();
}

// The EEPROM images and the references of the row into e; the first column that cannot be
// read, or nothing.
const char* readNumbers(const QSqlQuery& row, Entry& e) {
    Change& c = e.change;
    Ending& d = e.ending;
    for (const int col : {kEepromBefore, kEepromAfter}) {
        const std::optional<std::vector<std::uint16_t>> words =
            parseWords(row.value(col).toString());
        if (!words) {
            return kNames[static_cast<std::size_t>(col)];
        }
        (col == kEepromBefore ? c.eepromBefore : d.eepromAfter) = *words;
    }
    for (const int col : {kReference10, kReference5}) {
        const auto value = parseNumber(row.value(col));
        if (!value) {
            return kNames[static_cast<std::size_t>(col)];
        }
        (col == kReference10 ? c.reference10V : c.reference5V) = *value;
    }
    return nullptr;
}

// Reads every column into e; gives the first column that cannot be read, or nothing.
const char* read(const QSqlQuery& row, Entry& e) {
    Change& c = e.change;
    Ending& d = e.ending;
    e.id = str(row, kId);
    e.seal = str(row, kSeal);
    c.program = str(row, kProgram);
    c.programVersion = str(row, kProgramVersion);
    c.computer = str(row, kComputer);
    c.operatorName = str(row, kOperator);
    c.cardFingerprint = str(row, kFingerprint);
    c.driver = str(row, kDriver);
    c.sourceFile = str(row, kSourceFile);
    c.sourceSha256 = str(row, kSourceSha256);
    c.restoredFrom = str(row, kRestoredFrom);
    c.recordJson = str(row, kRecord);
    d.message = str(row, kMessage);
    bool ok = false;
    c.board = row.value(kBoard).toInt(&ok);
    if (!ok) {
        return kNames[kBoard];
    }
    const int status = row.value(kStatus).toInt(&ok);
    if (!ok || status < std::numeric_limits<std::int16_t>::min() ||
        status > std::numeric_limits<std::int16_t>::max()) {
        return kNames[kStatus];
    }
    d.status = static_cast<std::int16_t>(status);
    const std::optional<Time> started = parseUtcText(str(row, kStarted));
    if (!started) {
        return kNames[kStarted];
    }
    c.started = *started;
    if (!row.value(kEnded).isNull()) {
        d.ended = parseUtcText(str(row, kEnded));
        if (!d.ended) {
            return kNames[kEnded];
        }
    }
    const std::optional<Source> source = parseSource(str(row, kSource));
    const std::optional<Outcome> outcome = parseOutcome(str(row, kOutcome));
    if (!source || !outcome) {
        return kNames[source ? kOutcome : kSource];
    }
    c.source = *source;
    d.outcome = *outcome;
    return readNumbers(row, e);
}

} // namespace

const QString& columns() {
    static const QString list = [] {
        QStringList names;
        for (const char* n : kNames) {
            names << n;
        }
        return names.join(", ");
    }();
    return list;
}

Binds bindsOf(const Entry& e) {
    const Change& c = e.change;
    const Ending& d = e.ending;
    const std::array<QVariant, kColumns> values{
        QString::fromStdString(e.id),
        QString::fromStdString(utcText(c.started)),
        QString::fromStdString(c.program),
        QString::fromStdString(c.programVersion),
        QString::fromStdString(c.computer),
        QString::fromStdString(c.operatorName),
        c.board,
        QString::fromStdString(c.cardFingerprint),
        QString::fromStdString(c.driver),
        wordsText(c.eepromBefore),
        number(c.reference10V),
        number(c.reference5V),
        QString::fromStdString(sourceName(c.source)),
        text(c.sourceFile),
        text(c.sourceSha256),
        text(c.restoredFrom),
        text(c.recordJson),
        QString::fromStdString(outcomeName(d.outcome)),
        static_cast<int>(d.status),
        QString::fromStdString(d.message),
        d.ended ? QVariant(QString::fromStdString(utcText(*d.ended)))
                : QVariant(QMetaType::fromType<QString>()),
        d.eepromAfter.empty() ? QVariant(QMetaType::fromType<QString>())
                              : QVariant(wordsText(d.eepromAfter)),
        QString::fromStdString(e.seal),
    };
    Binds binds;
    for (std::size_t i = 0; i < values.size(); ++i) {
        binds.emplace_back(QString(":") + kNames[i], values[i]);
    }
    return binds;
}

Entry entryFrom(const QSqlQuery& row) {
    Entry e;
    if (const char* column = read(row, e); column != nullptr) {
        e.intact = false;
        e.problem = std::string("its ") + column + " cannot be read";
    } else if (sealOf(e) != e.seal) {
        e.intact = false;
        e.problem = "its content does not match its seal";
    }
    return e;
}

QString wordsText(const std::vector<std::uint16_t>& words) {
    QStringList parts;
    for (const std::uint16_t w : words) {
        parts << QString::number(w, 16).toUpper().rightJustified(4, '0');
    }
    return parts.join(' ');
}

std::optional<std::vector<std::uint16_t>> parseWords(const QString& text) {
    std::vector<std::uint16_t> words;
    if (text.isEmpty()) {
        return words;
    }
    for (const QString& part : text.split(' ')) {
        bool ok = false;
        const uint w = part.toUInt(&ok, 16);
        if (!ok || part.size() != 4 || w > 0xFFFF) {
            return std::nullopt;
        }
        words.push_back(static_cast<std::uint16_t>(w));
    }
    return words;
}

} // namespace history::detail
