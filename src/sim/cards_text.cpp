#include "sim/cards_text.h"

#include "core/text.h"
#include "sim/simulated_driver.h"

#include <algorithm>
#include <cstdio>

namespace sim {

namespace {

constexpr std::string_view kHeader = "MX4815-SIMULATED-CARDS 1";
constexpr std::string_view kDatedHeader = "MX4815-SIMULATED-CARDS 2";
constexpr std::string_view kChecksumKey = "checksum ";

std::uint32_t fnv1a(std::string_view s) {
    std::uint32_t h = 2166136261u;
    for (char ch : s) {
        h ^= static_cast<unsigned char>(ch);
        h *= 16777619u;
    }
    return h;
}

void appendWords(std::string& out, std::string_view key, const EepromWords& words) {
    out += key;
    char buf[8];
    for (std::uint16_t w : words) {
        std::snprintf(buf, sizeof buf, " %04X", static_cast<unsigned>(w));
        out += buf;
    }
    out += '\n';
}

using Day = std::optional<std::chrono::sys_days>;

std::string dayText(const Day& d) {
    if (!d) {
        return "-";
    }
    const std::chrono::year_month_day ymd{*d};
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02u-%02u", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()));
    return buf;
}

// "YYYY-MM-DD", a day of the calendar, or "-" for none.
bool parseDay(std::string_view text, Day& d) {
    if (text == "-") {
        d.reset();
        return true;
    }
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') {
        return false;
    }
    int fields[3] = {0, 0, 0};
    for (std::size_t i = 0, f = 0; i < text.size(); ++i) {
        if (i == 4 || i == 7) {
            ++f;
        } else if (text[i] < '0' || text[i] > '9') {
            return false;
        } else {
            fields[f] = fields[f] * 10 + (text[i] - '0');
        }
    }
    const std::chrono::year_month_day ymd{std::chrono::year{fields[0]},
                                          std::chrono::month{static_cast<unsigned>(fields[1])},
                                          std::chrono::day{static_cast<unsigned>(fields[2])}};
    if (!ymd.ok()) {
        return false;
    }
    d = std::chrono::sys_days{ymd};
    return true;
}

// "saved <day> drift-from <day>".
bool parseDaysLine(std::string_view line, StoredCard& card) {
    constexpr std::string_view saved = "saved ";
    constexpr std::string_view from = " drift-from ";
    const std::size_t at = line.find(from);
    return line.substr(0, saved.size()) == saved && at != std::string_view::npos &&
           parseDay(line.substr(saved.size(), at - saved.size()), card.savedOn) &&
           parseDay(line.substr(at + from.size()), card.driftFrom);
}

// Reads lines one by one from the text; every line must end with '\n'.
class LineReader {
public:
    explicit LineReader(std::string_view text) : rest_(text) {}
    bool next(std::string_view& line) {
        const std::size_t nl = rest_.find('\n');
        if (nl == std::string_view::npos) {
            return false;
        }
        line = rest_.substr(0, nl);
        rest_.remove_prefix(nl + 1);
        return true;
    }
    bool atEnd() const { return rest_.empty(); }

private:
    std::string_view rest_;
};

// "key <decimal>" with a value from 0 to max.
bool parseNumberLine(std::string_view line, std::string_view key, std::uint64_t max,
                     std::uint64_t& value) {
    if (line.size() <= key.size() + 1 || line.substr(0, key.size()) != key ||
        line[key.size()] != ' ') {
        return false;
    }
    std::string_view digits = line.substr(key.size() + 1);
    if (digits.empty() || digits.size() > 10) {
        return false;
    }
    value = 0;
    for (char ch : digits) {
        if (ch < '0' || ch > '9') {
            return false;
        }
        value = value * 10 + static_cast<std::uint64_t>(ch - '0');
    }
    return value <= max;
}

// An upper-case hexadecimal digit's value, or -1: the file writes upper case only.
int hexDigit(char ch) {
    return (ch >= 'a' && ch <= 'f') ? -1 : core::hexDigit(ch);
}

// "key" followed by 128 words of four upper-case hex digits, each after one blank.
bool parseWordsLine(std::string_view line, std::string_view key, EepromWords& words) {
    if (line.size() != key.size() + 5 * card::kEepromWords || line.substr(0, key.size()) != key) {
        return false;
    }
    std::size_t at = key.size();
    for (std::uint16_t& w : words) {
        if (line[at] != ' ') {
            return false;
        }
        unsigned v = 0;
        for (std::size_t i = 1; i <= 4; ++i) {
            const int d = hexDigit(line[at + i]);
            if (d < 0) {
                return false;
            }
            v = v * 16 + static_cast<unsigned>(d);
        }
        w = static_cast<std::uint16_t>(v);
        at += 5;
    }
    return true;
}

// The text before the checksum line, which closes the text and covers everything before it.
bool checkedBody(std::string_view data, std::string_view& body, std::string& why) {
    if (data.empty() || data.back() != '\n') {
        why = "the data is incomplete (no final line)";
        return false;
    }
    const std::size_t lastStart = data.substr(0, data.size() - 1).rfind('\n');
    if (lastStart == std::string_view::npos) {
        why = "the data has no content";
        return false;
    }
    body = data.substr(0, lastStart + 1);
    const std::string_view last = data.substr(lastStart + 1, data.size() - lastStart - 2);
    if (last.size() != kChecksumKey.size() + 8 ||
        last.substr(0, kChecksumKey.size()) != kChecksumKey) {
        why = "the data is incomplete (no checksum at the end)";
        return false;
    }
    std::uint32_t stored = 0;
    for (char ch : last.substr(kChecksumKey.size())) {
        const int d = hexDigit(ch);
        if (d < 0) {
            why = "the checksum is not a hexadecimal number";
            return false;
        }
        stored = stored * 16 + static_cast<std::uint32_t>(d);
    }
    if (stored != fnv1a(body)) {
        why = "the checksum does not match the content";
        return false;
    }
    return true;
}

// The header, variant and cards lines; count is the number of cards that follow, dated
// whether each card carries its dates (version 2).
bool readHeading(LineReader& lines, std::uint32_t variant, std::uint64_t& count, bool& dated,
                 std::string& why) {
    std::string_view line;
    if (!lines.next(line) || (line != kHeader && line != kDatedHeader)) {
        why = "the first line is not \"" + std::string(kHeader) + "\" or \"" +
              std::string(kDatedHeader) + "\"";
        return false;
    }
    dated = line == kDatedHeader;
    std::uint64_t stored = 0;
    if (!lines.next(line) || !parseNumberLine(line, "variant", 0xFFFFFFFFu, stored)) {
        why = "the variant line is missing or damaged";
        return false;
    }
    if (stored != variant) {
        why = "the data belongs to cards of variant " + std::to_string(stored) +
              ", these cards are variant " + std::to_string(variant);
        return false;
    }
    if (!lines.next(line) ||
        !parseNumberLine(line, "cards", static_cast<std::uint64_t>(kMaxCards), count)) {
        why = "the cards line is missing or damaged";
        return false;
    }
    return true;
}

// One card's heading, EEPROM and backup lines, and its dates when dated.
bool readCard(LineReader& lines, std::size_t i, std::uint64_t count, bool dated, StoredCard& card,
              std::string& why) {
    std::string_view line;
    std::uint64_t index = 0;
    if (!lines.next(line) || !parseNumberLine(line, "card", count, index) || index != i) {
        why = "the heading of card " + std::to_string(i) + " is missing or damaged";
        return false;
    }
    if (!lines.next(line) || !parseWordsLine(line, "eeprom", card.eeprom)) {
        why = "the EEPROM of card " + std::to_string(i) + " is damaged";
        return false;
    }
    if (!lines.next(line) || !parseWordsLine(line, "backup", card.backup)) {
        why = "the backup of card " + std::to_string(i) + " is damaged";
        return false;
    }
    if (dated && (!lines.next(line) || !parseDaysLine(line, card))) {
        why = "the dates of card " + std::to_string(i) + " are damaged";
        return false;
    }
    return true;
}

} // namespace

std::string cardsText(std::uint32_t variant, const std::vector<StoredCard>& cards) {
    std::string out;
    out.reserve(64 + cards.size() * (32 + 2 * (8 + 5 * card::kEepromWords)));
    const bool dated = std::any_of(cards.begin(), cards.end(), [](const StoredCard& c) {
        return c.savedOn.has_value() || c.driftFrom.has_value();
    });
    out += dated ? kDatedHeader : kHeader;
    out += '\n';
    out += "variant " + std::to_string(variant) + '\n';
    out += "cards " + std::to_string(cards.size()) + '\n';
    for (std::size_t i = 0; i < cards.size(); ++i) {
        out += "card " + std::to_string(i) + '\n';
        appendWords(out, "eeprom", cards[i].eeprom);
        appendWords(out, "backup", cards[i].backup);
        if (dated) {
            out += "saved " + dayText(cards[i].savedOn) + " drift-from " +
                   dayText(cards[i].driftFrom) + '\n';
        }
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "checksum %08X\n", static_cast<unsigned>(fnv1a(out)));
    out += buf;
    return out;
}

bool readCardsText(std::string_view text, std::uint32_t variant, std::vector<StoredCard>& cards,
                   std::string& why) {
    std::string_view body;
    if (!checkedBody(text, body, why)) {
        return false;
    }
    LineReader lines(body);
    std::uint64_t count = 0;
    bool dated = false;
    if (!readHeading(lines, variant, count, dated, why)) {
        return false;
    }
    cards.assign(static_cast<std::size_t>(count), StoredCard{});
    for (std::size_t i = 0; i < cards.size(); ++i) {
        if (!readCard(lines, i, count, dated, cards[i], why)) {
            return false;
        }
    }
    if (!lines.atEnd()) {
        why = "unexpected text after the last card";
        return false;
    }
    return true;
}

} // namespace sim
