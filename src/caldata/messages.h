#pragma once

#include "caldata/table.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace caldata {

// The refusal of a box's text: "CH0 Unipolar 10V +10V (Hex): "12G" is not hexadecimal."
std::string textRefusal(Field f, std::string_view text, std::string_view problem);

// The report of a failed driver call: "Error Code=" and the status as a signed decimal.
std::string errorCodeText(std::int16_t code);

} // namespace caldata
