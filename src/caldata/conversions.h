#pragma once

#include "core/result.h"

#include <cstdint>
#include <string>
#include <string_view>

// Conversions between the texts of the calibration boxes, codes and EEPROM words.
//
// Hex text: codes are shown as upper-case hexadecimal without prefix and without leading
// zeros; a negative value is shown as its two's-complement pattern in the width of the value
// (4 digits for a 16-bit code, 8 for a 32-bit image slot).
//
// Reference voltages are kept in the EEPROM as the two 16-bit halves of their IEEE-754
// single-precision bit pattern.
//
// None of these functions throws; every text, however long or strange, gives either a value
// or a problem.
namespace caldata {

// Reading a text gives a value, or a refusal whose text is a short phrase saying what is
// wrong ("is empty", "is not hexadecimal", ...), meant to follow the quoted text in a
// message.

// The single whose bit pattern is the 32 bits of value (no numeric conversion), and back.
float Long2Float(std::int32_t value);
std::int32_t Float2Long(float value);

// Hex text of a 16-bit code ("FFFE", "7FF3", "1A", "0") and of a 32-bit slot ("FFFFFFFE").
std::string hexText16(std::int16_t value);
std::string hexText32(std::int32_t value);

// A code box's text as a 16-bit word. Hexadecimal digits in either case, blanks (spaces,
// tabs) around the digits allowed, no prefix. One to four digits are a 16-bit
// two's-complement pattern (FFFF is -1, 8000 is -32768); five to eight digits a 32-bit
// two's-complement pattern accepted only within -32768..32767 (FFFFFFFF is -1, 0FFFF is
// 65535 and refused); more digits are read as a plain number and accepted only up to 7FFF.
core::Result<std::int16_t> parseCode(std::string_view text);

// A reference box's decimal text as a single (correctly rounded, halves to even). Blanks
// around it and a leading sign allowed; a decimal point, never a comma; an exponent allowed.
// Only finite numbers within the range of a single are accepted.
core::Result<float> parseReference(std::string_view text);

// A single as decimal text with at most 7 significant digits, no trailing zeros and no
// trailing decimal point: 10, 9.9987, 10.0001. Not-a-number and the infinities give "NaN",
// "Inf" and "-Inf", which parseReference refuses.
std::string formatReference(float v);

// The two EEPROM words of a reference voltage: the lower and upper 16 bits of its pattern,
// each as a 16-bit two's-complement value, sign-extended.
struct ReferenceWords {
    std::int32_t lower;
    std::int32_t upper;
};
ReferenceWords referenceWords(float v);

// The text of the reference stored in two words; only the low 16 bits of each word count,
// so zero- and sign-extended slots give the same text.
std::string referenceText(std::int32_t upperWord, std::int32_t lowerWord);

} // namespace caldata
