// The sealed content of a record, the names stored for its enums and its times as text.
#include "history/history.h"

#include <QByteArray>
#include <QCryptographicHash>

#include <array>
#include <charconv>
#include <cstdio>
#include <map>

namespace history {

namespace {

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                std::array<char, 8> buf{};
                std::snprintf(buf.data(), buf.size(), "\\u%04x", c);
                out += buf.data();
            } else {
                out += ch;
            }
        }
    }
    return out + "\"";
}

std::string words(const std::vector<std::uint16_t>& image) {
    std::string out = "[";
    for (std::size_t i = 0; i < image.size(); ++i) {
        out += (i == 0 ? "" : ",") + std::to_string(image[i]);
    }
    return out + "]";
}

std::string number(const std::optional<double>& v) {
    if (!v) {
        return "null";
    }
    std::array<char, 64> buf{};
    const auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), *v);
    return ec == std::errc{} ? std::string(buf.data(), end) : "null";
}

std::string textOrNull(const std::string& s, bool present) {
    return present ? quoted(s) : "null";
}

} // namespace

std::string contentJson(const Entry& e) {
    const Change& c = e.change;
    const Ending& d = e.ending;
    std::map<std::string, std::string> fields{
        {"board", std::to_string(c.board)},
        {"cardFingerprint", quoted(c.cardFingerprint)},
        {"computer", quoted(c.computer)},
        {"driver", quoted(c.driver)},
        {"eepromAfter", d.eepromAfter.empty() ? "null" : words(d.eepromAfter)},
        {"eepromBefore", words(c.eepromBefore)},
        {"ended", d.ended ? quoted(utcText(*d.ended)) : "null"},
        {"id", quoted(e.id)},
        {"message", quoted(d.message)},
        {"operator", quoted(c.operatorName)},
        {"outcome", quoted(outcomeName(d.outcome))},
        {"program", quoted(c.program)},
        {"programVersion", quoted(c.programVersion)},
        {"record", textOrNull(c.recordJson, !c.recordJson.empty())},
        {"reference10V", number(c.reference10V)},
        {"reference5V", number(c.reference5V)},
        {"restoredFrom", textOrNull(c.restoredFrom, !c.restoredFrom.empty())},
        {"source", quoted(sourceName(c.source))},
        {"sourceFile", textOrNull(c.sourceFile, !c.sourceFile.empty())},
        {"sourceSha256", textOrNull(c.sourceSha256, !c.sourceSha256.empty())},
        {"started", quoted(utcText(c.started))},
        {"status", std::to_string(d.status)},
    };
    std::string out = "{";
    for (const auto& [key, value] : fields) {
        out += (out.size() > 1 ? "," : "") + quoted(key) + ":" + value;
    }
    return out + "}";
}

std::string sealOf(const Entry& entry) {
    const std::string content = contentJson(entry);
    const QByteArray digest =
        QCryptographicHash::hash(QByteArray(content.data(), static_cast<qsizetype>(content.size())),
                                 QCryptographicHash::Sha256);
    return digest.toHex().toStdString();
}

std::string utcText(Time t) {
    using namespace std::chrono;
    const auto ms = floor<milliseconds>(t);
    const auto day = floor<days>(ms);
    const year_month_day ymd{day};
    const hh_mm_ss<milliseconds> tod{ms - day};
    std::array<char, 40> buf{};
    std::snprintf(buf.data(), buf.size(), "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ",
                  static_cast<int>(ymd.year()), static_cast<unsigned>(ymd.month()),
                  static_cast<unsigned>(ymd.day()), static_cast<int>(tod.hours().count()),
                  static_cast<int>(tod.minutes().count()), static_cast<int>(tod.seconds().count()),
                  static_cast<int>(tod.subseconds().count()));
    return buf.data();
}

std::optional<Time> parseUtcText(const std::string& text) {
    using namespace std::chrono;
    int y = 0;
    unsigned mo = 0;
    unsigned d = 0;
    int h = 0;
    int mi = 0;
    int s = 0;
    int ms = 0;
    char z = 0;
    if (text.size() != 24 ||
        std::sscanf(text.c_str(), "%4d-%2u-%2uT%2d:%2d:%2d.%3d%c", &y, &mo, &d, &h, &mi, &s, &ms,
                    &z) != 8 ||
        z != 'Z') {
        return std::nullopt;
    }
    const year_month_day ymd{year{y}, month{mo}, day{d}};
    if (!ymd.ok() || h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 || s > 59 || ms < 0) {
        return std::nullopt;
    }
    const Time t = sys_days{ymd} + hours{h} + minutes{mi} + seconds{s} + milliseconds{ms};
    return utcText(t) == text ? std::optional<Time>(t) : std::nullopt;
}

namespace {

constexpr std::array<std::pair<Source, const char*>, 5> kSources{{
    {Source::AutomaticRun, "automatic run"},
    {Source::HandTrimming, "hand trimming"},
    {Source::ImportedFile, "imported file"},
    {Source::Recover, "RECOVER"},
    {Source::Restore, "restore"},
}};

constexpr std::array<std::pair<Outcome, const char*>, 4> kOutcomes{{
    {Outcome::Pending, "pending"},
    {Outcome::Written, "written"},
    {Outcome::Failed, "failed"},
    {Outcome::NotWritten, "not written"},
}};

template <class E, std::size_t N>
std::string nameIn(const std::array<std::pair<E, const char*>, N>& names, E value) {
    for (const auto& [v, name] : names) {
        if (v == value) {
            return name;
        }
    }
    return "?";
}

template <class E, std::size_t N>
std::optional<E> valueIn(const std::array<std::pair<E, const char*>, N>& names,
                         const std::string& text) {
    for (const auto& [v, name] : names) {
        if (text == name) {
            return v;
        }
    }
    return std::nullopt;
}

} // namespace

std::string sourceName(Source source) {
    return nameIn(kSources, source);
}
std::optional<Source> parseSource(const std::string& name) {
    return valueIn(kSources, name);
}
std::string outcomeName(Outcome outcome) {
    return nameIn(kOutcomes, outcome);
}
std::optional<Outcome> parseOutcome(const std::string& name) {
    return valueIn(kOutcomes, name);
}

} // namespace history
