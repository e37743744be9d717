#pragma once

#include "caldata/table.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace caldata {

// A text as a message quotes it: in double quotes, control characters shown as '?', and
// cut after 40 bytes (at a character boundary) with "..." so a pasted novel stays readable.
std::string quoteText(std::string_view text);

// The refusal of a box's text: "CH0 Unipolar 10V +10V (Hex): "12G" is not hexadecimal."
std::string textRefusal(Field f, std::string_view text, std::string_view problem);

// The report of a failed driver call: "Error Code=" and the status as a signed decimal.
std::string errorCodeText(std::int16_t code);

} // namespace caldata
