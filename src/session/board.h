#pragma once

#include "card/types.h"
#include "core/result.h"
#include "session/context.h"

#include <optional>
#include <string>
#include <string_view>

namespace session {

// The board number typed in "Active Board": a whole decimal number from 0 to 31, blanks
// around it allowed. Anything else is no board number.
std::optional<Int16> parseBoardNumber(std::string_view text);

// The message that refuses such text, naming the field and the text.
std::string boardRefusal(std::string_view text);

// The active board of the moment, or the refusal of the text of "Active Board" (the caller
// then changes nothing and calls no driver).
core::Result<Int16> activeBoard(const Context& ctx);

// The active board when it is the board the shown table was read from; otherwise the
// refusal: no board number, nothing read from a card yet, or another board.
core::Result<Int16> loadedActiveBoard(const Context& ctx);

} // namespace session
