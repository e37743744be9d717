#include "calfile/profile.h"
#include "core/text.h"

#include <algorithm>
#include <cstdint>

namespace calfile {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kLineEnd = "\r\n";

using core::isBlank;
using core::trimBlanks;

char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return asciiLower(x) == asciiLower(y);
           });
}

// One line of the file: [begin, textEnd) is its text, [textEnd, end) its line end (empty for
// a last line without one).
struct Line {
    std::size_t begin = 0;
    std::size_t textEnd = 0;
    std::size_t end = 0;
    bool hasLineEnd() const { return end != textEnd; }
};

// The lines of a file, in order, after the byte-order mark.
class LineScanner {
public:
    explicit LineScanner(std::string_view bytes)
        : bytes_(bytes), pos_(bytes.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0) {}

    bool next(Line& line) {
        if (pos_ >= bytes_.size()) {
            return false;
        }
        line.begin = pos_;
        const std::size_t stop = bytes_.find_first_of("\r\n", pos_);
        if (stop == std::string_view::npos) {
            line.textEnd = line.end = bytes_.size();
        } else {
            line.textEnd = stop;
            line.end = stop + 1;
            if (bytes_[stop] == '\r' && line.end < bytes_.size() && bytes_[line.end] == '\n') {
                ++line.end;
            }
        }
        pos_ = line.end;
        return true;
    }

    std::string_view text(const Line& line) const {
        return bytes_.substr(line.begin, line.textEnd - line.begin);
    }

private:
    std::string_view bytes_;
    std::size_t pos_;
};

// Other: blank or comment. KeyOnly: a line of text without '=', a key without a value.
enum class Kind { Other, Section, Entry, KeyOnly };

struct Classified {
    Kind kind = Kind::Other;
    std::string_view name;  // section name or key, trimmed
    std::string_view value; // entry value, trimmed
};

Classified classify(std::string_view text) {
    const std::string_view body = trimBlanks(text);
    if (body.empty() || body.front() == ';') {
        return {};
    }
    // A header's name runs to the last ']' of the line; a line without ']' is no header.
    const std::size_t close = body.rfind(']');
    if (body.front() == '[' && close != std::string_view::npos) {
        return {Kind::Section, trimBlanks(body.substr(1, close - 1)), {}};
    }
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos) {
        return {Kind::KeyOnly, body, {}};
    }
    return {Kind::Entry, trimBlanks(text.substr(0, equals)), trimBlanks(text.substr(equals + 1))};
}

// Where a key of a section stands in the file, or where it would go.
struct Lookup {
    bool sectionFound = false;
    bool keyFound = false;
    bool hasValue = false;           // the key's line holds '='; without, it reads as missing
    Line keyLine;                    // the line of the key, when found
    std::string_view keyName;        // its spelling in the file
    std::string_view value;          // its value, trimmed, quotes kept
    std::size_t insertAt = 0;        // after the last entry line of the section, or its header
    bool insertNeedsLineEnd = false; // that line has no line end
};

Lookup lookup(std::string_view bytes, std::string_view section, std::string_view key) {
    Lookup found;
    LineScanner lines(bytes);
    Line line;
    while (lines.next(line)) {
        const Classified c = classify(lines.text(line));
        if (!found.sectionFound) {
            if (c.kind == Kind::Section && sameName(c.name, section)) {
                found.sectionFound = true;
                found.insertAt = line.end;
                found.insertNeedsLineEnd = !line.hasLineEnd();
            }
            continue;
        }
        if (c.kind == Kind::Section) {
            break;
        }
        if (c.kind == Kind::Entry || c.kind == Kind::KeyOnly) {
            if (sameName(c.name, key)) {
                found.keyFound = true;
                found.hasValue = c.kind == Kind::Entry;
                found.keyLine = line;
                found.keyName = c.name;
                found.value = c.value;
                break;
            }
            found.insertAt = line.end;
            found.insertNeedsLineEnd = !line.hasLineEnd();
        }
    }
    return found;
}

constexpr std::string_view kUtf16Mark = "\xFF\xFE";

void appendUtf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// UTF-16LE code units (after the mark) as UTF-8. A surrogate without its partner becomes a
// three-byte sequence of its own, so that encoding gives back every unit as it was.
std::string decodeUtf16(std::string_view units) {
    std::string out;
    out.reserve(units.size());
    auto unit = [&](std::size_t i) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(units[i])) |
               static_cast<std::uint32_t>(static_cast<unsigned char>(units[i + 1])) << 8;
    };
    for (std::size_t i = 0; i + 1 < units.size(); i += 2) {
        const std::uint32_t u = unit(i);
        if (u >= 0xD800 && u < 0xDC00 && i + 3 < units.size()) {
            const std::uint32_t low = unit(i + 2);
            if (low >= 0xDC00 && low < 0xE000) {
                appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        appendUtf8(out, u);
    }
    return out;
}

} // namespace

std::string Profile::encodeUtf16(std::string_view text, std::string_view tail) {
    std::string out(kUtf16Mark);
    out.reserve(2 + 2 * text.size() + tail.size());
    auto put = [&](std::uint32_t u) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
    };
    for (std::size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        std::uint32_t c = b;
        std::size_t n = 1;
        if (b >= 0xF0 && b < 0xF8) {
            n = 4;
            c = (b & 0x07u) << 18;
        } else if (b >= 0xE0) {
            n = 3;
            c = (b & 0x0Fu) << 12;
        } else if (b >= 0xC0) {
            n = 2;
            c = (b & 0x1Fu) << 6;
        }
        // The text came from decodeUtf16 or from set(); a value set may hold any bytes, and
        // a byte that starts no complete sequence stands for itself (as Latin-1).
        bool complete = i + n <= text.size();
        for (std::size_t k = 1; complete && k < n; ++k) {
            const auto t = static_cast<unsigned char>(text[i + k]);
            complete = (t & 0xC0u) == 0x80u;
            c |= static_cast<std::uint32_t>(t & 0x3Fu) << (6 * (n - 1 - k));
        }
        if (!complete || n == 1) {
            put(b);
            i += 1;
            continue;
        }
        if (c >= 0x10000) {
            put(0xD800 + ((c - 0x10000) >> 10));
            put(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            put(c);
        }
        i += n;
    }
    out.append(tail);
    return out;
}

Profile::Profile(std::string bytes) : bytes_(std::move(bytes)) {
    if (std::string_view(bytes_).starts_with(kUtf16Mark)) {
        utf16_ = true;
        const std::string_view units = std::string_view(bytes_).substr(kUtf16Mark.size());
        text_ = decodeUtf16(units);
        tail_ = std::string(units.substr(units.size() - units.size() % 2));
    }
}

namespace {

std::string_view fitBuffer(std::string_view value, std::size_t bufferSize) {
    if (bufferSize == 0) {
        return {};
    }
    value = value.substr(0, std::min(value.size(), bufferSize - 1));
    return value.substr(0, value.find('\0'));
}

} // namespace

std::string_view Profile::whole(std::string_view section, std::string_view key,
                                std::string_view fallback) const {
    const Lookup found = lookup(text(), trimBlanks(section), trimBlanks(key));
    std::string_view value;
    if (found.hasValue) {
        value = found.value;
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front()) {
            value = value.substr(1, value.size() - 2);
        }
    } else {
        value = fallback;
        while (!value.empty() && value.back() == ' ') {
            value.remove_suffix(1);
        }
    }
    return value;
}

std::string Profile::read(std::string_view section, std::string_view key, std::string_view fallback,
                          std::size_t bufferSize) const {
    return std::string(fitBuffer(whole(section, key, fallback), bufferSize));
}

bool Profile::readsWhole(std::string_view section, std::string_view key,
                         std::size_t bufferSize) const {
    const std::string_view value = whole(section, key, {});
    return value.size() < bufferSize && value.find('\0') == std::string_view::npos;
}

bool Profile::contains(std::string_view section, std::string_view key) const {
    return lookup(text(), trimBlanks(section), trimBlanks(key)).hasValue;
}

void Profile::set(std::string_view section, std::string_view key, std::string_view value) {
    if (utf16_) {
        setIn(text_, section, key, value);
        bytes_ = encodeUtf16(text_, tail_);
    } else {
        setIn(bytes_, section, key, value);
    }
}

void Profile::setIn(std::string& bytes, std::string_view section, std::string_view key,
                    std::string_view value) {
    section = trimBlanks(section);
    key = trimBlanks(key);
    const Lookup found = lookup(bytes, section, key);

    if (found.keyFound) {
        // A key without a value is completed in place, even with an empty value.
        if (found.hasValue && found.value == value) {
            return;
        }
        std::string line;
        line.reserve(found.keyName.size() + value.size() + 3);
        line.append(found.keyName).append("=").append(value).append(kLineEnd);
        bytes.replace(found.keyLine.begin, found.keyLine.end - found.keyLine.begin, line);
        return;
    }

    std::string added;
    if (found.sectionFound) {
        if (found.insertNeedsLineEnd) {
            added.append(kLineEnd);
        }
        added.append(key).append("=").append(value).append(kLineEnd);
        bytes.insert(found.insertAt, added);
        return;
    }

    const std::string_view content = std::string_view(bytes).substr(
        std::string_view(bytes).starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0);
    if (!content.empty() && content.back() != '\n' && content.back() != '\r') {
        added.append(kLineEnd);
    }
    added.append("[").append(section).append("]").append(kLineEnd);
    added.append(key).append("=").append(value).append(kLineEnd);
    bytes.append(added);
}

} // namespace calfile
