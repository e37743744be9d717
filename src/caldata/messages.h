#pragma once

#include "caldata/table.h"
#include "core/result.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace caldata {

// The refusal of a box's text: "CH0 Unipolar 10V +10V (Hex): "12G" is not hexadecimal."
std::string textRefusal(Field f, std::string_view text, std::string_view problem);

// A reference box's voltage, refused (with textRefusal) unless it is a decimal number within
// 10 % of its nominal, 9.0 to 11.0 V for tbx10VRef and 4.5 to 5.5 V for tbx5VRef: no
// calibration may be derived from, or stored with, a reference that makes no physical sense.
core::Result<float> plausibleReference(Field f, std::string_view text);

// The report of a failed driver call: "Error Code=" and the status as a signed decimal.
std::string errorCodeText(std::int16_t code);

} // namespace caldata
