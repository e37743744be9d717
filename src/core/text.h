#pragma once

#include <string>
#include <string_view>

namespace core {

// Blanks as the window's text boxes and the calibration files know them: space and tab.
constexpr bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// The text without the blanks around it.
constexpr std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// The value of a hexadecimal digit in either case, or -1 for any other character.
constexpr int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// Text a user typed, quoted for a message: at most 40 bytes (cut without splitting a UTF-8
// character, then "..."), control characters shown as '?'.
std::string quoteText(std::string_view text);

// Sets a flag for as long as it lives (a handler's "busy" mark, RELOAD's bLoading), and
// clears it however the scope is left.
class ScopedFlag {
public:
    explicit ScopedFlag(bool& flag) : flag_(flag) { flag_ = true; }
    ~ScopedFlag() { flag_ = false; }
    ScopedFlag(const ScopedFlag&) = delete;
    ScopedFlag& operator=(const ScopedFlag&) = delete;

private:
    bool& flag_;
};

} // namespace core
