#include "caldata/messages.h"

namespace caldata {

std::string textRefusal(Field f, std::string_view text, std::string_view problem) {
    return describe(f) + ": " + quoteText(text) + " " + std::string(problem) + ".";
}

std::string errorCodeText(std::int16_t code) {
    return "Error Code=" + std::to_string(code);
}

} // namespace caldata
