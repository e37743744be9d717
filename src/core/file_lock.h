#pragma once

#include "core/result.h"

#include <filesystem>
#include <string>

namespace core {

// An operating-system lock on a file, held by this process until the object goes or the
// process ends, however it ends (flock on POSIX, LockFileEx on Windows): never a file that a
// crash leaves behind as "locked". Advisory: it excludes only those who ask for it.
class FileLock {
public:
    enum class Mode { Shared, Exclusive };

    // Opens (creating it, and its folder, when needed) the file at path and locks it. With
    // wait false a lock that another holder has (another process, or another FileLock of this
    // one) is refused at once with Kind::Busy; other failures are refused with Kind::File.
    static Result<FileLock> acquire(const std::filesystem::path& path, Mode mode, bool wait);

    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&& other) noexcept;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock();

    // Replaces the file's content with text (who holds it, say), flushed. Others can read it
    // while the lock is held.
    Status describe(const std::string& text);

    // The content of a lock file (empty when there is none or it cannot be read).
    static std::string content(const std::filesystem::path& path);

private:
    FileLock() = default;
    void release();
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
};

} // namespace core
