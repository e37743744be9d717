#pragma once

#include "card/context.h"
#include "card/types.h"

#include <optional>
#include <string>
#include <string_view>

namespace card {

// The board number typed in "Active Board": a whole decimal number from 0 to 31, blanks
// around it allowed. Anything else is no board number.
std::optional<Int16> parseBoardNumber(std::string_view text);

// The message that refuses such text, naming the field and the text.
std::string boardRefusal(std::string_view text);

// The active board of the moment; when "Active Board" holds no board number, shows the
// refusal and gives nothing (the caller then changes nothing and calls no driver).
std::optional<Int16> activeBoard(Context& ctx);

} // namespace card
