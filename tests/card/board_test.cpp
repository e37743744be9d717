#include "card/board.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

using namespace testing_support;

TEST(ActiveBoard, AcceptsWholeNumbersFromZeroToThirtyOne) {
    EXPECT_EQ(card::parseBoardNumber("0"), 0);
    EXPECT_EQ(card::parseBoardNumber(" 31 "), 31);
    EXPECT_EQ(card::parseBoardNumber("07"), 7);
    for (const char* bad : {"", " ", "32", "-1", "1.0", "abc", "0x1", "100", "1 2", "+1"}) {
        EXPECT_FALSE(card::parseBoardNumber(bad)) << bad;
    }
}

TEST(ActiveBoard, RefusalNamesTheFieldAndTheText) {
    MockDriver driver;
    Rig rig(driver);
    rig.activeBoard = "4x";
    auto ctx = rig.context();
    EXPECT_FALSE(card::activeBoard(ctx));
    ASSERT_EQ(rig.prompts.messages.size(), 1u);
    EXPECT_NE(rig.prompts.messages[0].find("Active Board"), std::string::npos);
    EXPECT_NE(rig.prompts.messages[0].find("\"4x\""), std::string::npos);
}

TEST(ActiveBoard, RefusalOfALongTextStaysShort) {
    const std::string message = card::boardRefusal(std::string(100000, '7'));
    EXPECT_LT(message.size(), 200u);
    EXPECT_NE(message.find("..."), std::string::npos);
}
