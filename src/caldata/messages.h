#pragma once

#include "caldata/table.h"
#include "core/result.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace caldata {

// The refusal of a box's text: "CH0 Unipolar 10V +10V (Hex): "12G" is not hexadecimal."
std::string textRefusal(Field f, std::string_view text, std::string_view problem);

// A reference box's voltage, refused (with textRefusal) unless it is a decimal number within
// 10 % of its nominal, 9.0 to 11.0 V for tbx10VRef and 4.5 to 5.5 V for tbx5VRef: no
// calibration may be derived from, or stored with, a reference that makes no physical sense.
core::Result<float> plausibleReference(Field f, std::string_view text);

// The voltages plausibleReference accepts for a reference box, ends included.
struct ReferenceRange {
    double low;
    double high;
    bool contains(double v) const { return v >= low && v <= high; }
};
ReferenceRange plausibleRange(Field f);

// The report of a failed driver call: "Error Code=" and the status as a signed decimal.
std::string errorCodeText(std::int16_t code);

// The report of a failed driver call that names what was tried:
// "RELOAD: reading the EEPROM of board 2 failed (Error Code=258)."
std::string failedCallText(std::string_view operation, std::string_view what, int board,
                           std::int16_t code);

// The report of a SAVE whose write the card did not keep: the board, how many of words
// 0..127 differ, the first few of them as written and as read back (hex text), and what
// RECOVER can do about it.
struct WordDifference {
    int word;
    std::uint16_t written;
    std::uint16_t readBack;
};
std::string unverifiedWriteText(int board, const std::vector<WordDifference>& differences);

// The report of a SAVE whose write could not be read back to check it.
std::string unreadableWriteText(int board, std::int16_t code);

} // namespace caldata
