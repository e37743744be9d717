#pragma once

#include "core/result.h"

#include <cstdint>
#include <filesystem>
#include <string>

// An advisory lock on a file, held by the operating system for this process: it ends when the
// FileLock is destroyed or the process ends in any way (a kill included), so a lock is never
// left behind. flock on POSIX; LockFileEx on Windows, on one byte at offset 2^40, far beyond
// any content, so that others can still read what the lock file holds.
namespace core {

class FileLock {
public:
    enum class Mode { Shared, Exclusive };

    // Opens (creating it when needed, with its folder) the file at path and locks it.
    // wait=false: a lock held by another process (or another FileLock of this process) gives
    // a Kind::Busy refusal at once; wait=true waits until it is free. Anything that is not a
    // regular file, or a file that cannot be opened or locked, is refused with Kind::File. A
    // file this process may only read is locked through a read-only handle (describe() then
    // refuses).
    static Result<FileLock> acquire(const std::filesystem::path& path, Mode mode, bool wait);

    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&& other) noexcept;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock(); // releases

    // Replaces the lock file's content with text (e.g. who holds it), flushed; readable by
    // others while the lock is held.
    Status describe(const std::string& text);

    // The content of a lock file (empty when none or unreadable), at most 64 KiB.
    static std::string content(const std::filesystem::path& path);

private:
    FileLock(std::intptr_t handle, std::filesystem::path path);
    void release() noexcept;

    std::intptr_t handle_ = -1; // the file descriptor, or the Windows HANDLE; -1: none
    std::filesystem::path path_;
};

} // namespace core
