#include "core/file_lock.h"

#include <cerrno>
#include <fstream>
#include <system_error>
#include <utility>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace core {

namespace fs = std::filesystem;

namespace {

std::string named(const fs::path& path) {
    return "the lock file \"" + path.string() + "\"";
}

Refusal busy(const fs::path& path) {
    return refuse(Kind::Busy, named(path) + " is locked by another program");
}

Refusal failed(const fs::path& path, const std::string& what, const std::error_code& ec) {
    return refuse(Kind::File, named(path) + " " + what + " (" + ec.message() + ")");
}

#ifdef _WIN32

HANDLE asHandle(std::intptr_t h) {
    return reinterpret_cast<HANDLE>(h);
}

std::error_code lastError() {
    return {static_cast<int>(::GetLastError()), std::system_category()};
}

// The locked byte: at 2^40, beyond any content, so that reading the content is never blocked.
OVERLAPPED lockedByte() {
    OVERLAPPED at{};
    at.Offset = 0;
    at.OffsetHigh = 0x100;
    return at;
}

Result<std::intptr_t> openLockFile(const fs::path& path) {
    constexpr DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    std::error_code ec = h == INVALID_HANDLE_VALUE ? lastError() : std::error_code{};
    if (h == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_ACCESS_DENIED) {
        h = ::CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (h == INVALID_HANDLE_VALUE) {
        return failed(path, "cannot be opened", ec);
    }
    if (::GetFileType(h) != FILE_TYPE_DISK) {
        ::CloseHandle(h);
        return refuse(Kind::File, named(path) + " is not a regular file");
    }
    return reinterpret_cast<std::intptr_t>(h);
}

// 0 when locked, 1 when held by another, -1 on any other failure (ec says why).
int lockHandle(std::intptr_t handle, FileLock::Mode mode, bool wait, std::error_code& ec) {
    DWORD flags = mode == FileLock::Mode::Exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0;
    if (!wait) {
        flags |= LOCKFILE_FAIL_IMMEDIATELY;
    }
    OVERLAPPED at = lockedByte();
    if (::LockFileEx(asHandle(handle), flags, 0, 1, 0, &at)) {
        return 0;
    }
    const DWORD e = ::GetLastError();
    if (e == ERROR_LOCK_VIOLATION || e == ERROR_IO_PENDING) {
        return 1;
    }
    ec = {static_cast<int>(e), std::system_category()};
    return -1;
}

void closeHandle(std::intptr_t handle) {
    OVERLAPPED at = lockedByte();
    ::UnlockFileEx(asHandle(handle), 0, 1, 0, &at);
    ::CloseHandle(asHandle(handle));
}

std::error_code replaceContent(std::intptr_t handle, const std::string& text) {
    const HANDLE h = asHandle(handle);
    LARGE_INTEGER start{};
    DWORD written = 0;
    if (!::SetFilePointerEx(h, start, nullptr, FILE_BEGIN) ||
        !::WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size() || !::SetEndOfFile(h) || !::FlushFileBuffers(h)) {
        return lastError();
    }
    return {};
}

#else

std::error_code lastError() {
    return {errno, std::generic_category()};
}

// Never blocks on a FIFO: O_NONBLOCK, and only a regular file is kept.
Result<std::intptr_t> openLockFile(const fs::path& path) {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
    const std::error_code ec = fd < 0 ? lastError() : std::error_code{};
    if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    }
    if (fd < 0) {
        return failed(path, "cannot be opened", ec);
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return refuse(Kind::File, named(path) + " is not a regular file");
    }
    return static_cast<std::intptr_t>(fd);
}

int lockHandle(std::intptr_t handle, FileLock::Mode mode, bool wait, std::error_code& ec) {
    const int op = (mode == FileLock::Mode::Exclusive ? LOCK_EX : LOCK_SH) | (wait ? 0 : LOCK_NB);
    while (::flock(static_cast<int>(handle), op) != 0) {
        if (errno == EINTR) {
            continue;
        }
        if (errno == EWOULDBLOCK) {
            return 1;
        }
        ec = lastError();
        return -1;
    }
    return 0;
}

void closeHandle(std::intptr_t handle) {
    ::close(static_cast<int>(handle)); // releases the lock
}

std::error_code replaceContent(std::intptr_t handle, const std::string& text) {
    const int fd = static_cast<int>(handle);
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n =
            ::pwrite(fd, text.data() + done, text.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return n < 0 ? lastError() : std::make_error_code(std::errc::no_space_on_device);
        }
        done += static_cast<std::size_t>(n);
    }
    // Written before it is cut, so that a reader never finds it empty in between.
    if (::ftruncate(fd, static_cast<off_t>(text.size())) != 0 || ::fsync(fd) != 0) {
        return lastError();
    }
    return {};
}

#endif

} // namespace

FileLock::FileLock(std::intptr_t handle, fs::path path) : handle_(handle), path_(std::move(path)) {}

FileLock::FileLock(FileLock&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)), path_(std::move(other.path_)) {}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    if (this != &other) {
        release();
        handle_ = std::exchange(other.handle_, -1);
        path_ = std::move(other.path_);
    }
    return *this;
}

FileLock::~FileLock() {
    release();
}

void FileLock::release() noexcept {
    if (handle_ != -1) {
        closeHandle(handle_);
        handle_ = -1;
    }
}

Result<FileLock> FileLock::acquire(const fs::path& path, Mode mode, bool wait) {
    std::error_code ec;
    if (path.has_parent_path()) {
        fs::create_directories(path.parent_path(), ec); // a failure shows when it is opened
    }
    Result<std::intptr_t> opened = openLockFile(path);
    if (!opened) {
        return opened.failure();
    }
    FileLock lock(*opened, path);
    const int locked = lockHandle(*opened, mode, wait, ec);
    if (locked > 0) {
        return busy(path);
    }
    if (locked < 0) {
        return failed(path, "cannot be locked", ec);
    }
    return lock;
}

Status FileLock::describe(const std::string& text) {
    if (handle_ == -1) {
        return refuse(Kind::File, "no lock is held");
    }
    if (const std::error_code ec = replaceContent(handle_, text)) {
        return failed(path_, "could not be written", ec);
    }
    return {};
}

std::string FileLock::content(const fs::path& path) {
    constexpr std::size_t kMax = 64 * 1024;
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) {
        return {};
    }
    std::ifstream in(path, std::ios::binary);
    std::string text(kMax, '\0');
    in.read(text.data(), static_cast<std::streamsize>(kMax));
    text.resize(in.bad() ? 0 : static_cast<std::size_t>(in.gcount()));
    return text;
}

} // namespace core
