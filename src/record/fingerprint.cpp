#include "record/fingerprint.h"

#include "card/facts.h"
#include "record/sha256.h"

namespace record {

bool ownedWord(int w) {
    for (const card::ReferenceFacts& r : card::kReferences) {
        if (w == r.lowerWord || w == r.upperWord) {
            return true;
        }
    }
    for (const card::OutputBoxFacts& b : card::kOutputBoxes) {
        if (w == b.upperWord || w == b.lowerWord) {
            return true;
        }
    }
    for (const card::InputRangeFacts& r : card::kInputRanges) {
        if (w == r.upperWord || w == r.lowerWord) {
            return true;
        }
    }
    return false;
}

std::string cardFingerprint(const card::EepImage& image) {
    Sha256 hash;
    for (std::size_t w = 0; w < card::kEepromWords; ++w) {
        if (ownedWord(static_cast<int>(w))) {
            continue;
        }
        const auto v = static_cast<std::uint32_t>(image[w]);
        const char bytes[2] = {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
        hash.update(std::string_view(bytes, 2));
    }
    return toHex(hash.finish());
}

} // namespace record
