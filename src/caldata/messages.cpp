#include "caldata/messages.h"

#include "core/text.h"

namespace caldata {

std::string textRefusal(Field f, std::string_view text, std::string_view problem) {
    return describe(f) + ": " + core::quoteText(text) + " " + std::string(problem) + ".";
}

std::string errorCodeText(std::int16_t code) {
    return "Error Code=" + std::to_string(code);
}

} // namespace caldata
