#include "core/file_lock.h"
#include "support/child_process.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <thread>

using core::FileLock;
using Mode = core::FileLock::Mode;

namespace {

namespace fs = std::filesystem;

struct TempFolder {
    TempFolder() {
        path = fs::temp_directory_path() /
               ("mx4815cal-lock-test-" + std::to_string(std::random_device{}()));
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~TempFolder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    fs::path path;
};

core::Kind refusedAs(const core::Result<FileLock>& r) {
    return r ? static_cast<core::Kind>(-1) : r.kind();
}

} // namespace

TEST(FileLock, TwoLocksOfOneProcessExcludeEachOtherUntilTheFirstGoes) {
    TempFolder dir;
    const fs::path path = dir.path / "sub" / "folder" / "cards.lock";
    core::Result<FileLock> first = FileLock::acquire(path, Mode::Exclusive, false);
    ASSERT_TRUE(first) << first.refusal();
    EXPECT_TRUE(fs::is_regular_file(path)) << "created with its folder";
    EXPECT_EQ(refusedAs(FileLock::acquire(path, Mode::Exclusive, false)), core::Kind::Busy);
    EXPECT_EQ(refusedAs(FileLock::acquire(path, Mode::Shared, false)), core::Kind::Busy);
    EXPECT_NE(FileLock::acquire(path, Mode::Shared, false).refusal().find(path.string()),
              std::string::npos);

    ASSERT_TRUE(first->describe("held by a long text of the first holder"));
    ASSERT_TRUE(first->describe("pid 42"));
    EXPECT_EQ(FileLock::content(path), "pid 42") << "replaced, not overwritten in part";
    FileLock moved = std::move(*first);
    EXPECT_EQ(refusedAs(FileLock::acquire(path, Mode::Exclusive, false)), core::Kind::Busy);
    { FileLock gone = std::move(moved); }
    core::Result<FileLock> shared = FileLock::acquire(path, Mode::Shared, false);
    ASSERT_TRUE(shared) << shared.refusal();
    EXPECT_TRUE(FileLock::acquire(path, Mode::Shared, false)) << "shared locks go together";
    EXPECT_EQ(refusedAs(FileLock::acquire(path, Mode::Exclusive, false)), core::Kind::Busy);

    // Nothing but a regular file is a lock file.
    fs::create_directory(dir.path / "folder.lock");
    EXPECT_EQ(refusedAs(FileLock::acquire(dir.path / "folder.lock", Mode::Shared, true)),
              core::Kind::File);
    EXPECT_EQ(FileLock::content(dir.path / "none.lock"), "");
}

namespace {

testing_support::ChildProcess holder(const fs::path& path, const char* mode,
                                     const char* text = nullptr) {
    std::vector<std::string> args{MXCAL_LOCK_HOLDER, path.string(), mode};
    if (text != nullptr) {
        args.emplace_back(text);
    }
    return testing_support::ChildProcess(args);
}

} // namespace

TEST(FileLock, AnotherProcessHoldsTheLockUntilItEndsKilledOrNot) {
    TempFolder dir;
    const fs::path path = dir.path / "cards.lock";
    testing_support::ChildProcess first = holder(path, "exclusive", "held by the first");
    ASSERT_EQ(first.readLine(), "held");
    EXPECT_EQ(refusedAs(FileLock::acquire(path, Mode::Exclusive, false)), core::Kind::Busy);
    EXPECT_EQ(refusedAs(FileLock::acquire(path, Mode::Shared, false)), core::Kind::Busy);
    EXPECT_EQ(FileLock::content(path), "held by the first") << "readable while held";
    EXPECT_EQ(first.kill(), testing_support::ChildProcess::kKilled);

    // Shared holders go together; a waiting exclusive lock comes when the last one ends.
    testing_support::ChildProcess reader = holder(path, "shared");
    ASSERT_EQ(reader.readLine(), "held") << "a killed holder leaves no lock";
    core::Result<FileLock> mine = FileLock::acquire(path, Mode::Shared, false);
    EXPECT_TRUE(mine) << mine.refusal();
    testing_support::ChildProcess writer = holder(path, "exclusive");
    EXPECT_EQ(writer.readLine(), "busy");
    mine = core::refuse("released");
    core::Result<FileLock> waited = core::refuse("not yet");
    std::thread waiting([&] { waited = FileLock::acquire(path, Mode::Exclusive, true); });
    reader.closeInput(); // the holder ends normally
    EXPECT_EQ(reader.wait(), 0);
    waiting.join();
    EXPECT_TRUE(waited) << waited.refusal();
    testing_support::ChildProcess late = holder(path, "shared");
    EXPECT_EQ(late.readLine(), "busy");
}
