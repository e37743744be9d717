#include "core/text.h"

namespace core {

std::string quoteText(std::string_view text) {
    constexpr std::size_t kMaxBytes = 40;
    bool cut = false;
    if (text.size() > kMaxBytes) {
        std::size_t n = kMaxBytes;
        // Do not split a UTF-8 sequence: back up over continuation bytes.
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0u) == 0x80u) {
            --n;
        }
        text = text.substr(0, n);
        cut = true;
    }
    std::string out = "\"";
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        out += (u < 0x20 || u == 0x7F) ? '?' : c;
    }
    if (cut) {
        out += "...";
    }
    out += '"';
    return out;
}

} // namespace core
