#include "session/board.h"
#include "session/board_lock.h"
#include "support/fakes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace testing_support;

TEST(ActiveBoard, AcceptsWholeNumbersFromZeroToThirtyOne) {
    EXPECT_EQ(session::parseBoardNumber("0"), 0);
    EXPECT_EQ(session::parseBoardNumber(" 31 "), 31);
    EXPECT_EQ(session::parseBoardNumber("07"), 7);
    for (const char* bad : {"", " ", "32", "-1", "1.0", "abc", "0x1", "100", "1 2", "+1"}) {
        EXPECT_FALSE(session::parseBoardNumber(bad)) << bad;
    }
}

TEST(ActiveBoard, RefusalNamesTheFieldAndTheText) {
    MockDriver driver;
    Rig rig(driver);
    rig.activeBoard = "4x";
    auto ctx = rig.context();
    const auto board = session::activeBoard(ctx);
    EXPECT_FALSE(board);
    EXPECT_TRUE(rig.prompts.messages.empty()); // the handler shows it
    EXPECT_NE(board.refusal().find("Active Board"), std::string::npos);
    EXPECT_NE(board.refusal().find("\"4x\""), std::string::npos);
}

TEST(ActiveBoard, RefusalOfALongTextStaysShort) {
    const std::string message = session::boardRefusal(std::string(100000, '7'));
    EXPECT_LT(message.size(), 200u);
    EXPECT_NE(message.find("..."), std::string::npos);
}

// A lock that cannot be made (its folder is a file) is refused before anything reaches the
// card, as a file is.
TEST(BoardLocks, ALockThatCannotBeMadeIsRefusedAsInputNamingIt) {
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() /
        ("mx4815cal-not-a-folder-" +
         std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::ofstream(file) << "a file";
    session::FileBoardLocks locks(file, "mx4815cal");
    const core::Status taken = locks.take(0);
    ASSERT_FALSE(taken);
    EXPECT_EQ(taken.kind(), core::Kind::Input);
    EXPECT_THAT(taken.refusal(), testing::StartsWith("Board 0 could not be reserved for this "
                                                     "program: "));
    EXPECT_THAT(taken.refusal(), testing::EndsWith("). Nothing was changed."));
    std::filesystem::remove(file);
}
