#pragma once

#include "caldata/table.h"

#include <array>
#include <cstddef>
#include <optional>

// Where each box of the calibration table lives in the card's EEPROM, and the order in which
// RELOAD fills the boxes and SAVE writes the words. RELOAD and SAVE both go through this one
// table; every word of 0..127 that it does not name is carried from RELOAD to SAVE untouched.
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

// The thirty boxes, in the order SAVE writes them: 10 V reference (words 4, 5), 5 V
// reference (6, 7), output codes k = 0..7 at 8 + 2k (upper point) and 9 + 2k (lower point),
// input codes of ranges 1..5 at 24 + 4(j-1) and 25 + 4(j-1), the 20.48 V range at 48, 49.
inline constexpr std::array<BoxWords, 30> kWordMap = {{
    {ref10(), WordForm::Reference, 4, 5}, {ref5(), WordForm::Reference, 6, 7},
    {aoMax(0), WordForm::Code, 8, -1},    {aoMin(0), WordForm::Code, 9, -1},
    {aoMax(1), WordForm::Code, 10, -1},   {aoMin(1), WordForm::Code, 11, -1},
    {aoMax(2), WordForm::Code, 12, -1},   {aoMin(2), WordForm::Code, 13, -1},
    {aoMax(3), WordForm::Code, 14, -1},   {aoMin(3), WordForm::Code, 15, -1},
    {aoMax(4), WordForm::Code, 16, -1},   {aoMin(4), WordForm::Code, 17, -1},
    {aoMax(5), WordForm::Code, 18, -1},   {aoMin(5), WordForm::Code, 19, -1},
    {aoMax(6), WordForm::Code, 20, -1},   {aoMin(6), WordForm::Code, 21, -1},
    {aoMax(7), WordForm::Code, 22, -1},   {aoMin(7), WordForm::Code, 23, -1},
    {aiMax(1), WordForm::Code, 24, -1},   {aiMin(1), WordForm::Code, 25, -1},
    {aiMax(2), WordForm::Code, 28, -1},   {aiMin(2), WordForm::Code, 29, -1},
    {aiMax(3), WordForm::Code, 32, -1},   {aiMin(3), WordForm::Code, 33, -1},
    {aiMax(4), WordForm::Code, 36, -1},   {aiMin(4), WordForm::Code, 37, -1},
    {aiMax(5), WordForm::Code, 40, -1},   {aiMin(5), WordForm::Code, 41, -1},
    {aiMax(0), WordForm::Code, 48, -1},   {aiMin(0), WordForm::Code, 49, -1},
}};

// SAVE writes the boxes in the order of kWordMap.
inline constexpr std::array<std::size_t, 30> kSaveOrder = {
    0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14,
    15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29,
};

// RELOAD fills the output boxes first (words 8..23), then the 10 V and 5 V references, then
// the 20.48 V range (words 48, 49), then the input ranges 1..5 (words 24..41).
inline constexpr std::array<std::size_t, 30> kReloadOrder = {
    2,  3, 4, 5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16,
    17, 0, 1, 28, 29, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27,
};

// The box a word belongs to, if any.
constexpr std::optional<Field> fieldOfWord(int word) {
    for (const BoxWords& b : kWordMap) {
        if (b.word == word || b.upperWord == word) {
            return b.field;
        }
    }
    return std::nullopt;
}

namespace detail {

constexpr bool isPermutation(const std::array<std::size_t, 30>& order) {
    std::array<bool, 30> seen{};
    for (std::size_t i : order) {
        if (i >= seen.size() || seen[i]) {
            return false;
        }
        seen[i] = true;
    }
    return true;
}

constexpr bool wordsWellFormed() {
    std::array<int, 128> owners{};
    for (const BoxWords& b : kWordMap) {
        const bool reference = b.form == WordForm::Reference;
        for (int w : {b.word, b.upperWord}) {
            if (w == -1) {
                continue;
            }
            if (w < 4 || w > 49 || owners[static_cast<std::size_t>(w)]++ != 0) {
                return false;
            }
        }
        if (reference != (b.upperWord >= 0)) {
            return false;
        }
        if (reference != (b.field.box == Box::Ref10 || b.field.box == Box::Ref5)) {
            return false;
        }
    }
    return true;
}

constexpr bool everyBoxOnce() {
    for (int k = 0; k < kOutputBoxes; ++k) {
        int hitsMax = 0;
        int hitsMin = 0;
        for (const BoxWords& b : kWordMap) {
            hitsMax += b.field == aoMax(k) ? 1 : 0;
            hitsMin += b.field == aoMin(k) ? 1 : 0;
        }
        if (hitsMax != 1 || hitsMin != 1) {
            return false;
        }
    }
    for (int j = 0; j < kInputBoxes; ++j) {
        int hitsMax = 0;
        int hitsMin = 0;
        for (const BoxWords& b : kWordMap) {
            hitsMax += b.field == aiMax(j) ? 1 : 0;
            hitsMin += b.field == aiMin(j) ? 1 : 0;
        }
        if (hitsMax != 1 || hitsMin != 1) {
            return false;
        }
    }
    return true;
}

} // namespace detail

static_assert(detail::isPermutation(kSaveOrder));
static_assert(detail::isPermutation(kReloadOrder));
static_assert(detail::wordsWellFormed());
static_assert(detail::everyBoxOnce());

} // namespace caldata
