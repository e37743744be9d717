#include "caldata/word_map.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

using namespace caldata;

namespace {

// The box a word belongs to, if any.
std::optional<Field> fieldOfWord(int word) {
    for (const BoxWords& b : kWordMap) {
        if (b.word == word || b.upperWord == word) {
            return b.field;
        }
    }
    return std::nullopt;
}

} // namespace

TEST(WordMap, WordsOfTheBoxes) {
    for (int k = 0; k < kOutputBoxes; ++k) {
        EXPECT_EQ(fieldOfWord(8 + 2 * k), aoMax(k));
        EXPECT_EQ(fieldOfWord(9 + 2 * k), aoMin(k));
    }
    for (int j = 1; j < kInputBoxes; ++j) {
        EXPECT_EQ(fieldOfWord(24 + 4 * (j - 1)), aiMax(j));
        EXPECT_EQ(fieldOfWord(25 + 4 * (j - 1)), aiMin(j));
    }
    EXPECT_EQ(fieldOfWord(48), aiMax(0));
    EXPECT_EQ(fieldOfWord(49), aiMin(0));
    EXPECT_EQ(fieldOfWord(4), ref10());
    EXPECT_EQ(fieldOfWord(5), ref10());
    EXPECT_EQ(fieldOfWord(6), ref5());
    EXPECT_EQ(fieldOfWord(7), ref5());
    for (int w : {0, 1, 2, 3, 26, 27, 30, 31, 34, 35, 38, 39, 42, 43, 44, 45, 46, 47, 50, 127}) {
        EXPECT_FALSE(fieldOfWord(w)) << w;
    }
    EXPECT_EQ(kWordMap[0].word, 4); // lower half
    EXPECT_EQ(kWordMap[0].upperWord, 5);
}

TEST(WordMap, ReloadFillsOutputsThenReferencesThenTheWidestInputRangeFirst) {
    std::vector<Field> order;
    for (const BoxWords& b : kReloadOrder) {
        order.push_back(b.field);
    }
    std::vector<Field> expected;
    for (int k = 0; k < kOutputBoxes; ++k) {
        expected.push_back(aoMax(k));
        expected.push_back(aoMin(k));
    }
    expected.insert(expected.end(), {ref10(), ref5(), aiMax(0), aiMin(0)});
    for (int j = 1; j < kInputBoxes; ++j) {
        expected.push_back(aiMax(j));
        expected.push_back(aiMin(j));
    }
    EXPECT_EQ(order, expected);
}
