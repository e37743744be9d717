#include "calfile/profile.h"
#include "core/text.h"

#include <algorithm>

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

enum class Kind { Other, Section, Entry };

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
    if (body.front() == '[') {
        std::string_view name = body.substr(1);
        name = name.substr(0, name.find(']'));
        return {Kind::Section, trimBlanks(name), {}};
    }
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos) {
        return {};
    }
    return {Kind::Entry, trimBlanks(text.substr(0, equals)), trimBlanks(text.substr(equals + 1))};
}

// Where a key of a section stands in the file, or where it would go.
struct Lookup {
    bool sectionFound = false;
    bool keyFound = false;
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
        if (c.kind == Kind::Entry) {
            if (sameName(c.name, key)) {
                found.keyFound = true;
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

std::string_view fitBuffer(std::string_view value, std::size_t bufferSize) {
    if (bufferSize == 0) {
        return {};
    }
    value = value.substr(0, std::min(value.size(), bufferSize - 1));
    return value.substr(0, value.find('\0'));
}

} // namespace

std::string Profile::read(std::string_view section, std::string_view key, std::string_view fallback,
                          std::size_t bufferSize) const {
    const Lookup found = lookup(bytes_, trimBlanks(section), trimBlanks(key));
    std::string_view value;
    if (found.keyFound) {
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
    return std::string(fitBuffer(value, bufferSize));
}

bool Profile::contains(std::string_view section, std::string_view key) const {
    return lookup(bytes_, trimBlanks(section), trimBlanks(key)).keyFound;
}

void Profile::set(std::string_view section, std::string_view key, std::string_view value) {
    section = trimBlanks(section);
    key = trimBlanks(key);
    const Lookup found = lookup(bytes_, section, key);

    if (found.keyFound) {
        if (found.value == value) {
            return;
        }
        std::string line;
        line.reserve(found.keyName.size() + value.size() + 3);
        line.append(found.keyName).append("=").append(value).append(kLineEnd);
        bytes_.replace(found.keyLine.begin, found.keyLine.end - found.keyLine.begin, line);
        return;
    }

    std::string added;
    if (found.sectionFound) {
        if (found.insertNeedsLineEnd) {
            added.append(kLineEnd);
        }
        added.append(key).append("=").append(value).append(kLineEnd);
        bytes_.insert(found.insertAt, added);
        return;
    }

    const std::string_view content = std::string_view(bytes_).substr(
        std::string_view(bytes_).starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0);
    if (!content.empty() && content.back() != '\n' && content.back() != '\r') {
        added.append(kLineEnd);
    }
    added.append("[").append(section).append("]").append(kLineEnd);
    added.append(key).append("=").append(value).append(kLineEnd);
    bytes_.append(added);
}

} // namespace calfile
