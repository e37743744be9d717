#include "calfile/profile_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;
using calfile::DiskFiles;
using calfile::FileContent;
using testing::HasSubstr;

namespace {

struct DiskFilesTest : testing::Test {
    DiskFilesTest() {
        folder =
            fs::temp_directory_path() /
            ("calfile_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    ~DiskFilesTest() override {
        std::error_code ignored;
        fs::permissions(folder / "ro.ini", fs::perms::owner_all, ignored);
        fs::remove_all(folder, ignored);
    }
    std::string path(const char* name) const { return (folder / name).string(); }
    static std::string contents(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    fs::path folder;
    DiskFiles files;
};

} // namespace

TEST_F(DiskFilesTest, WritesWholeFilesAndReadsThemBack) {
    const std::string name = path("card.ini");
    EXPECT_EQ(files.read(name).state, FileContent::State::Missing);
    const std::string bytes("[REF]\r\n10V=10\0\xFF\r\n", 17);
    EXPECT_TRUE(files.write(name, bytes).ok());
    EXPECT_EQ(contents(name), bytes);
    const FileContent read = files.read(name);
    EXPECT_EQ(read.state, FileContent::State::Read);
    EXPECT_EQ(read.bytes, bytes);
    EXPECT_TRUE(files.write(name, "x").ok());
    EXPECT_EQ(contents(name), "x");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1)
        << "no temporary file is left behind";
}

TEST_F(DiskFilesTest, RefusalsNameTheReason) {
    EXPECT_THAT(files.write("", "x").refusal(), HasSubstr("no file name"));
    EXPECT_THAT(files.write(path("missing/card.ini"), "x").refusal(), HasSubstr("does not exist"));
    EXPECT_THAT(files.write(path("missing/card.ini"), "x").refusal(), HasSubstr("missing"));
    EXPECT_THAT(files.write(folder.string(), "x").refusal(), HasSubstr("folder"));
    EXPECT_EQ(files.read(folder.string()).state, FileContent::State::Unreadable);
    EXPECT_EQ(files.read("").state, FileContent::State::Unreadable);

    const std::string readOnly = path("ro.ini");
    ASSERT_TRUE(files.write(readOnly, "kept").ok());
    fs::permissions(readOnly, fs::perms::owner_read | fs::perms::group_read);
    EXPECT_THAT(files.write(readOnly, "lost").refusal(), HasSubstr("read-only"));
    EXPECT_EQ(contents(readOnly), "kept");

    const std::string large = path("large.ini");
    std::ofstream(large).put('x');
    fs::resize_file(large, DiskFiles::kMaxFileSize + 1);
    const FileContent tooLarge = files.read(large);
    EXPECT_EQ(tooLarge.state, FileContent::State::Unreadable);
    EXPECT_THAT(tooLarge.problem, HasSubstr("too large"));
}
