#include "calfile/profile_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <sys/stat.h>

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

TEST_F(DiskFilesTest, AFailedSyncOrRenameIsReportedWithItsCauseAndChangesNothing) {
    const std::string name = path("card.ini");
    ASSERT_TRUE(files.write(name, "old").ok());
    std::vector<std::string> during;
    const auto listFolder = [&] {
        during.clear();
        for (const auto& e : fs::directory_iterator(folder)) {
            during.push_back(e.path().filename().string());
        }
    };
    const struct {
        core::ReplaceStep step;
        const char* says;
    } cases[] = {
        {core::ReplaceStep::Sync, "could not be flushed to the disk (Input/output error)"},
        {core::ReplaceStep::Rename, "could not take the place of the old one (Input/output error)"},
        {core::ReplaceStep::Write, "could not be written (Input/output error)"}};
    for (const auto& c : cases) {
        DiskFiles failing([&](core::ReplaceStep s) {
            listFolder();
            return s == c.step;
        });
        const core::Status written = failing.write(name, "new");
        ASSERT_FALSE(written);
        EXPECT_THAT(written.refusal(), HasSubstr(c.says));
        EXPECT_THAT(written.refusal(), testing::Not(HasSubstr("disk may be full")));
        EXPECT_EQ(contents(name), "old");
        EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
    }
    // While it is written, the temporary file beside it says what it is.
    ASSERT_EQ(during.size(), 2u);
    const std::string temporary = during[0] == "card.ini" ? during[1] : during[0];
    EXPECT_TRUE(temporary.starts_with("card.ini.mx4815cal-export-")) << temporary;
    EXPECT_TRUE(temporary.ends_with(".tmp")) << temporary;
}

TEST_F(DiskFilesTest, LinksAreFollowedAndWhatIsNoFileIsNamedAndLeftAlone) {
    const fs::path loop = folder / "loop.ini";
    fs::create_symlink(loop, loop);
    const FileContent looped = files.read(loop.string());
    EXPECT_EQ(looped.state, FileContent::State::Unreadable);
    EXPECT_THAT(looped.problem, HasSubstr("symbolic link that leads round in a loop"));
    EXPECT_THAT(files.write(loop.string(), "x").refusal(), HasSubstr("loop"));
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(loop)));

    const fs::path fifo = folder / "fifo.ini";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const fs::path toFifo = folder / "to-fifo.ini";
    fs::create_symlink(fifo, toFifo);
    EXPECT_THAT(files.write(fifo.string(), "x").refusal(), HasSubstr("FIFO"));
    EXPECT_THAT(files.write(toFifo.string(), "x").refusal(),
                HasSubstr("symbolic link to a FIFO (named pipe)"));
    EXPECT_THAT(files.read(toFifo.string()).problem, HasSubstr("FIFO"));
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(fifo)));
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(toFifo)));

    const fs::path real = folder / "real.ini";
    const fs::path toReal = folder / "to-real.ini";
    ASSERT_TRUE(files.write(real.string(), "old").ok());
    fs::create_symlink(real, toReal);
    ASSERT_TRUE(files.write(toReal.string(), "new").ok());
    EXPECT_EQ(contents(real.string()), "new");
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(toReal)));
}
