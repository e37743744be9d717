#pragma once

#include "caldata/table.h"
#include "card/facts.h"

#include <array>
#include <cstddef>

// Where each box of the calibration table lives in the card's EEPROM, and the order in which
// RELOAD fills the boxes. RELOAD and SAVE both go through this one table, built from the
// card's facts; every word of 0..127 that it does not name is carried from RELOAD to SAVE
// untouched.
namespace caldata {

enum class WordForm {
    Code,      // one word, a 16-bit code shown as hex text
    Reference, // two words, the lower and upper half of a single's bit pattern
};

struct BoxWords {
    Field field;
    WordForm form;
    int word;      // the code's word, or the reference's lower half
    int upperWord; // the reference's upper half; -1 for a code
};

namespace detail {

// The boxes in the order RELOAD fills them: the output boxes (upper, then lower point of
// each), then the 10 V and 5 V references, then the widest input range, then the other
// input ranges from 10.24V down.
constexpr std::array<BoxWords, kBoxCount> reloadOrder() {
    std::array<BoxWords, kBoxCount> out{};
    std::size_t n = 0;
    for (int k = 0; k < kOutputBoxes; ++k) {
        const card::OutputBoxFacts& b = card::kOutputBoxes[static_cast<std::size_t>(k)];
        out[n++] = {aoMax(k), WordForm::Code, b.upperWord, -1};
        out[n++] = {aoMin(k), WordForm::Code, b.lowerWord, -1};
    }
    for (int i = 0; i < kReferenceBoxes; ++i) {
        const auto ref = static_cast<card::Reference>(i);
        const card::ReferenceFacts& r = card::facts(ref);
        out[n++] = {referenceBox(ref), WordForm::Reference, r.lowerWord, r.upperWord};
    }
    for (int j = 0; j < kInputBoxes; ++j) {
        const card::InputRangeFacts& r = card::kInputRanges[static_cast<std::size_t>(j)];
        out[n++] = {aiMax(j), WordForm::Code, r.upperWord, -1};
        out[n++] = {aiMin(j), WordForm::Code, r.lowerWord, -1};
    }
    return out;
}

// The same boxes in ascending order of their (first) word: the order SAVE writes them.
constexpr std::array<BoxWords, kBoxCount> byWord(std::array<BoxWords, kBoxCount> boxes) {
    for (std::size_t i = 1; i < boxes.size(); ++i) {
        for (std::size_t j = i; j > 0 && boxes[j - 1].word > boxes[j].word; --j) {
            const BoxWords t = boxes[j];
            boxes[j] = boxes[j - 1];
            boxes[j - 1] = t;
        }
    }
    return boxes;
}

} // namespace detail

// RELOAD's order of the thirty boxes, and SAVE's (ascending words).
inline constexpr std::array<BoxWords, kBoxCount> kReloadOrder = detail::reloadOrder();
inline constexpr std::array<BoxWords, kBoxCount> kWordMap = detail::byWord(kReloadOrder);

namespace detail {

// Every word belongs to at most one box and lies among the calibration words (4..49);
// references and only references take two words.
constexpr bool wordsWellFormed() {
    std::array<int, card::kEepromWords> owners{};
    for (const BoxWords& b : kWordMap) {
        const bool reference = b.form == WordForm::Reference;
        for (int w : {b.word, b.upperWord}) {
            if (w == -1) {
                continue;
            }
            if (w < card::kFirstCalibrationWord || w > card::kLastCalibrationWord ||
                owners[static_cast<std::size_t>(w)]++ != 0) {
                return false;
            }
        }
        if (reference != (b.upperWord >= 0) ||
            reference != (b.field.box == Box::Ref10 || b.field.box == Box::Ref5)) {
            return false;
        }
    }
    return true;
}

} // namespace detail

static_assert(detail::wordsWellFormed());

} // namespace caldata
