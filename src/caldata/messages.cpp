#include "caldata/messages.h"

#include "caldata/conversions.h"
#include "card/facts.h"
#include "core/text.h"

namespace caldata {

std::string textRefusal(Field f, std::string_view text, std::string_view problem) {
    return describe(f) + ": " + core::quoteText(text) + " " + std::string(problem) + ".";
}

ReferenceRange plausibleRange(Field f) {
    const double nominal = card::facts(referenceOf(f)).nominal;
    return {nominal * 9 / 10, nominal * 11 / 10};
}

core::Result<float> plausibleReference(Field f, std::string_view text) {
    const core::Result<float> v = parseReference(text);
    if (!v) {
        return core::refuse(textRefusal(f, text, v.refusal()));
    }
    const ReferenceRange range = plausibleRange(f);
    const double nominal = (range.low + range.high) / 2;
    const double low = range.low;
    const double high = range.high;
    if (!range.contains(*v)) {
        return core::refuse(textRefusal(f, text,
                                        "is not a plausible reference voltage: it must lie "
                                        "within 10 % of " +
                                            formatReference(static_cast<float>(nominal)) +
                                            " V, from " + formatReference(static_cast<float>(low)) +
                                            " to " + formatReference(static_cast<float>(high)) +
                                            " V"));
    }
    return v;
}

std::string errorCodeText(std::int16_t code) {
    return "Error Code=" + std::to_string(code);
}

std::string failedCallText(std::string_view operation, std::string_view what, int board,
                           std::int16_t code) {
    return std::string(operation) + ": " + std::string(what) + " of board " +
           std::to_string(board) + " failed (" + errorCodeText(code) + ").";
}

namespace {

constexpr std::string_view kPartialAdvice =
    " The card may hold a partial calibration: SAVE again, or RECOVER to restore the driver's "
    "backup of the EEPROM.";

} // namespace

std::string unverifiedWriteText(int board, const std::vector<WordDifference>& differences) {
    constexpr std::size_t kShown = 4;
    std::string text = "SAVE: board " + std::to_string(board) +
                       " reported the EEPROM written, but reading it back shows " +
                       std::to_string(differences.size()) +
                       (differences.size() == 1 ? " word" : " words") + " not as written:";
    for (std::size_t i = 0; i < differences.size() && i < kShown; ++i) {
        const WordDifference& d = differences[i];
        text += std::string(i == 0 ? " " : ", ") + "word " + std::to_string(d.word) + " (written " +
                hexText16(static_cast<std::int16_t>(d.written)) + ", read back " +
                hexText16(static_cast<std::int16_t>(d.readBack)) + ")";
    }
    if (differences.size() > kShown) {
        text += " and " + std::to_string(differences.size() - kShown) + " more";
    }
    return text + "." + std::string(kPartialAdvice);
}

std::string unreadableWriteText(int board, std::int16_t code) {
    return "SAVE: board " + std::to_string(board) +
           " reported the EEPROM written, but reading it back to check it failed (" +
           errorCodeText(code) + "), so the write is not verified." + std::string(kPartialAdvice);
}

} // namespace caldata
