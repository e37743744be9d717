#include "card/board.h"
#include "card/text.h"

namespace card {

std::optional<Int16> parseBoardNumber(std::string_view text) {
    text = trimBlanks(text);
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
    if (value >= kMaxBoards) {
        return std::nullopt;
    }
    return static_cast<Int16>(value);
}

std::string boardRefusal(std::string_view text) {
    return "Active Board: " + quoteText(text) + " is not a board number from 0 to " +
           std::to_string(kMaxBoards - 1) + ".";
}

std::optional<Int16> activeBoard(Context& ctx) {
    const std::string text = ctx.activeBoardText();
    auto board = parseBoardNumber(text);
    if (!board) {
        ctx.prompts.message(boardRefusal(text));
    }
    return board;
}

} // namespace card
