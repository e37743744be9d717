#include "caldata/conversions.h"
#include "core/text.h"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace caldata {

namespace {

using core::hexDigit;
using core::trimBlanks;

std::string hexText(std::uint32_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::array<char, 8> buf{};
    std::size_t n = 0;
    do {
        buf[n++] = kDigits[value & 0xF];
        value >>= 4;
    } while (value != 0);
    return std::string(buf.rbegin() + static_cast<std::ptrdiff_t>(buf.size() - n), buf.rend());
}

// The hexadecimal digits of a text, blanks around them removed: the digits, or a problem.
// On success value holds the number the digits spell when it fits in 32 bits unsigned, and
// significant tells how many digits remain after the leading zeros.
struct HexDigits {
    std::size_t digits = 0;      // all digits, leading zeros included
    std::size_t significant = 0; // digits after the leading zeros
    std::uint32_t value = 0;     // valid when significant <= 8
    std::string problem;
};

HexDigits readHexDigits(std::string_view text) {
    HexDigits out;
    text = trimBlanks(text);
    if (text.empty()) {
        out.problem = "is empty";
        return out;
    }
    for (char c : text) {
        if (hexDigit(c) < 0) {
            const bool prefixed =
                text.size() >= 2 && (text[0] == '&' || text[0] == '0') &&
                (text[1] == 'H' || text[1] == 'h' || text[1] == 'x' || text[1] == 'X');
            out.problem = prefixed ? "is not hexadecimal (type the digits only, without a prefix)"
                                   : "is not hexadecimal";
            return out;
        }
    }
    out.digits = text.size();
    for (char c : text) {
        const int d = hexDigit(c);
        if (out.significant == 0 && d == 0) {
            continue;
        }
        ++out.significant;
        if (out.significant <= 8) {
            out.value = (out.value << 4) | static_cast<std::uint32_t>(d);
        }
    }
    return out;
}

} // namespace

float Long2Float(std::int32_t value) {
    return std::bit_cast<float>(value);
}

std::int32_t Float2Long(float value) {
    return std::bit_cast<std::int32_t>(value);
}

std::string hexText16(std::int16_t value) {
    return hexText(static_cast<std::uint16_t>(value));
}

std::string hexText32(std::int32_t value) {
    return hexText(static_cast<std::uint32_t>(value));
}

core::Result<std::int16_t> parseCode(std::string_view text) {
    const HexDigits h = readHexDigits(text);
    if (!h.problem.empty()) {
        return core::refuse(h.problem);
    }
    if (h.digits <= 4) {
        return static_cast<std::int16_t>(static_cast<std::uint16_t>(h.value));
    }
    std::int32_t v = 0;
    if (h.digits <= 8) {
        v = static_cast<std::int32_t>(h.value); // the 32-bit two's-complement pattern
    } else if (h.significant <= 4) {
        v = static_cast<std::int32_t>(h.value); // a plain number behind leading zeros
    } else {
        return core::refuse("does not fit in 16 bits");
    }
    if (v < std::numeric_limits<std::int16_t>::min() ||
        v > std::numeric_limits<std::int16_t>::max()) {
        if (h.digits > 8) {
            // Behind more than eight digits the code is no pattern but a plain number.
            return core::refuse("has " + std::to_string(h.digits) +
                                " digits: behind its leading zeros it is the number " +
                                std::to_string(v) +
                                ", which does not fit in 16 bits (a code has at most four "
                                "digits, or eight when sign-extended)");
        }
        return core::refuse("does not fit in 16 bits");
    }
    return static_cast<std::int16_t>(v);
}

core::Result<float> parseReference(std::string_view text) {
    text = trimBlanks(text);
    if (text.empty()) {
        return core::refuse("is empty");
    }
    std::string_view number = text;
    if (number.front() == '+') {
        number.remove_prefix(1);
        if (!number.empty() && (number.front() == '+' || number.front() == '-')) {
            return core::refuse("is not a decimal number");
        }
    }
    float v = 0.0f;
    const char* first = number.data();
    const char* last = number.data() + number.size();
    const auto [end, ec] = std::from_chars(first, last, v, std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        return core::refuse("is out of range");
    }
    if (ec != std::errc() || end != last) {
        if (text.find(',') != std::string_view::npos) {
            return core::refuse("is not a decimal number (use a decimal point)");
        }
        return core::refuse("is not a decimal number");
    }
    if (!std::isfinite(v)) {
        return core::refuse("is not a finite number");
    }
    return v;
}

std::string formatReference(float v) {
    if (std::isnan(v)) {
        return "NaN";
    }
    if (std::isinf(v)) {
        return v < 0 ? "-Inf" : "Inf";
    }
    std::array<char, 32> buf{};
    const auto [end, ec] =
        std::to_chars(buf.data(), buf.data() + buf.size(), v, std::chars_format::general, 7);
    if (ec != std::errc()) {
        return "NaN"; // cannot happen with this buffer; refused by SAVE if it ever did
    }
    return std::string(buf.data(), end);
}

ReferenceWords referenceWords(float v) {
    const auto p = static_cast<std::uint32_t>(Float2Long(v));
    return {static_cast<std::int16_t>(static_cast<std::uint16_t>(p & 0xFFFFu)),
            static_cast<std::int16_t>(static_cast<std::uint16_t>(p >> 16))};
}

std::string referenceText(std::int32_t upperWord, std::int32_t lowerWord) {
    const std::uint32_t p = ((static_cast<std::uint32_t>(upperWord) & 0xFFFFu) << 16) |
                            (static_cast<std::uint32_t>(lowerWord) & 0xFFFFu);
    return formatReference(Long2Float(static_cast<std::int32_t>(p)));
}

} // namespace caldata
