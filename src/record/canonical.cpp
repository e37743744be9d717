#include "record/canonical.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <system_error>

namespace record {

std::string canonicalNumber(double value) {
    if (!std::isfinite(value)) {
        return "null";
    }
    if (value == 0.0) {
        return "0"; // and -0
    }
    // The shortest digits that round-trip, from the scientific form "d.ddde+XX".
    char buf[64];
    const auto [end, ec] =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
    const std::string sci = ec == std::errc{} ? std::string(buf, end) : std::string("0e+00");
    const std::size_t e = sci.find('e');
    std::string sign;
    std::string digits;
    for (std::size_t i = 0; i < e; ++i) {
        if (sci[i] == '-') {
            sign = "-";
        } else if (sci[i] != '.') {
            digits += sci[i];
        }
    }
    const int k = static_cast<int>(digits.size());
    const int n = std::atoi(sci.c_str() + e + 1) + 1; // value = 0.digits x 10^n
    if (k <= n && n <= 21) {
        return sign + digits + std::string(static_cast<std::size_t>(n - k), '0');
    }
    if (0 < n && n <= 21) {
        return sign + digits.substr(0, static_cast<std::size_t>(n)) + "." +
               digits.substr(static_cast<std::size_t>(n));
    }
    if (-6 < n && n <= 0) {
        return sign + "0." + std::string(static_cast<std::size_t>(-n), '0') + digits;
    }
    const std::string exponent = (n - 1 < 0 ? "-" : "+") + std::to_string(std::abs(n - 1));
    const std::string mantissa = k == 1 ? digits : digits.substr(0, 1) + "." + digits.substr(1);
    return sign + mantissa + "e" + exponent;
}

std::string canonicalString(std::string_view utf8) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string s = "\"";
    for (const char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            s += "\\\"";
            break;
        case '\\':
            s += "\\\\";
            break;
        case '\b':
            s += "\\b";
            break;
        case '\f':
            s += "\\f";
            break;
        case '\n':
            s += "\\n";
            break;
        case '\r':
            s += "\\r";
            break;
        case '\t':
            s += "\\t";
            break;
        default:
            if (u < 0x20) {
                s += "\\u00";
                s += kHex[u >> 4];
                s += kHex[u & 0x0F];
            } else {
                s += c;
            }
        }
    }
    return s + "\"";
}

} // namespace record
