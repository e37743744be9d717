// The profile reader and writer on arbitrary bytes and names. Besides not crashing, a write
// with names the format can hold must be found again, must leave every other entry reading
// as before and, written again, must change nothing; a plain value must read back as written.

#include "calfile/profile.h"
#include "core/text.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

bool hasLineBreakOrNul(std::string_view s) {
    return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// Names that the format can hold: what the calibration files use, and much more.
bool wellFormed(std::string_view section, std::string_view key) {
    const std::string_view k = core::trimBlanks(key);
    return !hasLineBreakOrNul(section) && !hasLineBreakOrNul(key) &&
           section.find(']') == std::string_view::npos && k.find('=') == std::string_view::npos &&
           (k.empty() || (k.front() != ';' && k.front() != '['));
}

// A value that reads back as written: no line break, no surrounding blanks, not quoted.
bool plainValue(std::string_view v) {
    if (hasLineBreakOrNul(v) || core::trimBlanks(v) != v) {
        return false;
    }
    return !(v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front());
}

bool sameAscii(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string section = input.ConsumeRandomLengthString(40);
    const std::string key = input.ConsumeRandomLengthString(40);
    const std::string value = input.ConsumeRandomLengthString(300);
    const std::string otherSection = input.ConsumeRandomLengthString(40);
    const std::string otherKey = input.ConsumeRandomLengthString(40);
    const auto bufferSize = input.ConsumeIntegralInRange<std::size_t>(0, 300);
    const std::string bytes = input.ConsumeRemainingBytesAsString();

    calfile::Profile profile(bytes);
    const std::string before = profile.read(section, key, "0", bufferSize);
    if (before.size() + 1 > bufferSize && !(bufferSize == 0 && before.empty())) {
        std::abort(); // more than the buffer holds
    }
    const std::string otherBefore = profile.read(otherSection, otherKey, "\x01", 100000);

    profile.set(section, key, value);
    if (!wellFormed(section, key)) {
        return 0;
    }
    if (!hasLineBreakOrNul(value)) {
        const std::string once = profile.bytes();
        profile.set(section, key, value);
        if (profile.bytes() != once) {
            std::abort(); // the same write twice must not change the file again
        }
    }
    if (!profile.contains(section, key)) {
        std::abort();
    }
    if (plainValue(value) && profile.read(section, key, "", 100000) != value) {
        std::abort();
    }
    const bool sameEntry = sameAscii(core::trimBlanks(section), core::trimBlanks(otherSection)) &&
                           sameAscii(core::trimBlanks(key), core::trimBlanks(otherKey));
    if (!sameEntry && !hasLineBreakOrNul(value) &&
        profile.read(otherSection, otherKey, "\x01", 100000) != otherBefore) {
        std::abort(); // another entry changed
    }
    return 0;
}
