#include "core/file_lock.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace core {

namespace {

#ifdef _WIN32
// The locked range lies far beyond the content, so that others can still read the content
// (a range locked by LockFileEx cannot be read by any other handle).
constexpr DWORD kLockOffsetHigh = 0x100; // 2^40
#endif

Refusal cannotLock(const std::filesystem::path& path, const std::string& why) {
    return refuse(Kind::File,
                  "the lock file \"" + path.string() + "\" cannot be used (" + why + ").");
}

} // namespace

Result<FileLock> FileLock::acquire(const std::filesystem::path& path, Mode mode, bool wait) {
    std::error_code ec;
    if (path.has_parent_path()) {
        std::filesystem::create_directories(path.parent_path(), ec);
    }
    FileLock lock;
#ifdef _WIN32
    HANDLE h = CreateFileW(path.wstring().c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return cannotLock(path, "error " + std::to_string(GetLastError()));
    }
    lock.handle_ = h;
    OVERLAPPED at{};
    at.OffsetHigh = kLockOffsetHigh;
    DWORD flags = mode == Mode::Exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0;
    if (!wait) {
        flags |= LOCKFILE_FAIL_IMMEDIATELY;
    }
    if (!LockFileEx(h, flags, 0, 1, 0, &at)) {
        const DWORD error = GetLastError();
        if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) {
            return refuse(Kind::Busy, "held by another program");
        }
        return cannotLock(path, "error " + std::to_string(error));
    }
#else
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        return cannotLock(path, std::strerror(errno));
    }
    lock.fd_ = fd;
    const int op = (mode == Mode::Exclusive ? LOCK_EX : LOCK_SH) | (wait ? 0 : LOCK_NB);
    int r = 0;
    while ((r = ::flock(fd, op)) != 0 && errno == EINTR) {
    }
    if (r != 0) {
        if (errno == EWOULDBLOCK) {
            return refuse(Kind::Busy, "held by another program");
        }
        return cannotLock(path, std::strerror(errno));
    }
#endif
    return lock;
}

FileLock::FileLock(FileLock&& other) noexcept {
    *this = std::move(other);
}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    if (this != &other) {
        release();
#ifdef _WIN32
        handle_ = std::exchange(other.handle_, nullptr);
#else
        fd_ = std::exchange(other.fd_, -1);
#endif
    }
    return *this;
}

FileLock::~FileLock() {
    release();
}

void FileLock::release() {
#ifdef _WIN32
    if (handle_ != nullptr) {
        CloseHandle(static_cast<HANDLE>(handle_)); // the lock goes with the handle
        handle_ = nullptr;
    }
#else
    if (fd_ >= 0) {
        ::close(fd_); // the lock goes with the last descriptor of the open file
        fd_ = -1;
    }
#endif
}

Status FileLock::describe(const std::string& text) {
#ifdef _WIN32
    HANDLE h = static_cast<HANDLE>(handle_);
    LARGE_INTEGER zero{};
    DWORD written = 0;
    if (!SetFilePointerEx(h, zero, nullptr, FILE_BEGIN) || !SetEndOfFile(h) ||
        !WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size() || !FlushFileBuffers(h)) {
        return refuse(Kind::File, "the lock file cannot be written");
    }
#else
    if (::ftruncate(fd_, 0) != 0 ||
        ::pwrite(fd_, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size()) ||
        ::fsync(fd_) != 0) {
        return refuse(Kind::File, std::string("the lock file cannot be written (") +
                                      std::strerror(errno) + ")");
    }
#endif
    return {};
}

std::string FileLock::content(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return text.size() > 4096 ? std::string() : text;
}

} // namespace core
