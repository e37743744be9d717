#include "session/board.h"
#include "core/text.h"

namespace session {

std::optional<Int16> parseBoardNumber(std::string_view text) {
    text = core::trimBlanks(text);
    if (text.empty() || text.size() > 2) {
        return std::nullopt;
    }
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    if (value >= card::kMaxBoards) {
        return std::nullopt;
    }
    return static_cast<Int16>(value);
}

std::string boardRefusal(std::string_view text) {
    return "Active Board: " + core::quoteText(text) + " is not a board number from 0 to " +
           std::to_string(card::kMaxBoards - 1) + ".";
}

core::Result<Int16> activeBoard(const Context& ctx) {
    const std::string text = ctx.activeBoardText();
    if (const auto board = parseBoardNumber(text)) {
        return *board;
    }
    return core::refuse(boardRefusal(text));
}

core::Result<Int16> loadedActiveBoard(const Context& ctx) {
    const auto board = activeBoard(ctx);
    if (!board) {
        return board;
    }
    const std::optional<Int16>& loaded = ctx.state.loadedBoard;
    if (!loaded) {
        return core::refuse("No calibration has been read from a card yet: RELOAD first.");
    }
    if (*board != *loaded) {
        const std::string b = std::to_string(*board);
        const std::string l = std::to_string(*loaded);
        return core::refuse("Active Board is " + b +
                            ", but the calibration shown was read from board " + l +
                            ". Select board " + l + " again, or RELOAD board " + b + " first.");
    }
    return board;
}

} // namespace session
