#include "core/replace_file.h"

#include <cerrno>
#include <fcntl.h>
#include <random>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#include <sys/stat.h>
#else
#include <unistd.h>
#endif

namespace core {

namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
int openNew(const fs::path& p) {
    return ::_wopen(p.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
}
long writeSome(int fd, const char* data, std::size_t n) {
    return ::_write(fd, data, static_cast<unsigned>(n > 0x40000000u ? 0x40000000u : n));
}
int syncFile(int fd) {
    return ::_commit(fd);
}
int closeFile(int fd) {
    return ::_close(fd);
}
#else
int openNew(const fs::path& p) {
    return ::open(p.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}
long writeSome(int fd, const char* data, std::size_t n) {
    return static_cast<long>(::write(fd, data, n));
}
int syncFile(int fd) {
    return ::fsync(fd);
}
int closeFile(int fd) {
    return ::close(fd);
}
#endif

std::string errnoText(int e) {
    return std::generic_category().message(e);
}

std::string kindOf(fs::file_type t) {
    switch (t) {
    case fs::file_type::directory:
        return "a folder";
    case fs::file_type::fifo:
        return "a FIFO (named pipe)";
    case fs::file_type::character:
        return "a character device";
    case fs::file_type::block:
        return "a block device";
    case fs::file_type::socket:
        return "a socket";
    default:
        return "something other than a file";
    }
}

std::string temporaryName(const fs::path& target, std::string_view tag) {
    static constexpr char kChars[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static std::mt19937 numbers{std::random_device{}()};
    std::string suffix;
    for (int i = 0; i < 6; ++i) {
        suffix += kChars[numbers() % (sizeof kChars - 1)];
    }
    return target.filename().string() + "." + std::string(tag) + "-" + suffix + ".tmp";
}

// Writes bytes into the new file fd and flushes them to the disk; closes fd in every case.
Status fill(int fd, std::string_view bytes, const ReplaceOptions& options) {
    auto fails = [&](ReplaceStep s) { return options.failAt && options.failAt(s); };
    std::size_t done = 0;
    while (done < bytes.size()) {
        const long n = fails(ReplaceStep::Write)
                           ? (errno = EIO, -1L)
                           : writeSome(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            const int e = n < 0 ? errno : ENOSPC;
            closeFile(fd);
            return refuse("the new content could not be written (" + errnoText(e) + ")");
        }
        done += static_cast<std::size_t>(n);
    }
    if (fails(ReplaceStep::Sync) || syncFile(fd) != 0) {
        const int e = fails(ReplaceStep::Sync) ? EIO : errno;
        closeFile(fd);
        return refuse("the new content could not be flushed to the disk (" + errnoText(e) + ")");
    }
    if (closeFile(fd) != 0) {
        return refuse("the new content could not be written (" + errnoText(errno) + ")");
    }
    return {};
}

} // namespace

std::string notRegularFile(const fs::path& path) {
    std::error_code ec;
    const fs::file_status link = fs::symlink_status(path, ec);
    if (ec || link.type() == fs::file_type::not_found) {
        return {};
    }
    const bool isLink = link.type() == fs::file_type::symlink;
    const fs::file_status target = fs::status(path, ec);
    if (ec) {
        if (isLink && ec == std::errc::too_many_symbolic_link_levels) {
            return "is a symbolic link that leads round in a loop";
        }
        return std::string(isLink ? "is a symbolic link that cannot be followed"
                                  : "cannot be examined") +
               " (" + ec.message() + ")";
    }
    if (target.type() == fs::file_type::regular || target.type() == fs::file_type::not_found) {
        return {};
    }
    if (isLink) {
        const fs::path to = fs::read_symlink(path, ec);
        return "is a symbolic link to " + kindOf(target.type()) + " (\"" + to.string() +
               "\"), not to a regular file";
    }
    return "is " + kindOf(target.type()) + ", not a regular file";
}

Status replaceFile(const fs::path& path, std::string_view bytes, const ReplaceOptions& options) {
    if (const std::string problem = notRegularFile(path); !problem.empty()) {
        return refuse("the file " + problem);
    }
    std::error_code ec;
    const bool exists = fs::exists(path, ec);
    const fs::path target = exists ? fs::canonical(path, ec) : path;
    if (ec) {
        return refuse("the file cannot be examined (" + ec.message() + ")");
    }
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");

    auto fails = [&](ReplaceStep s) { return options.failAt && options.failAt(s); };
    fs::path temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = folder / temporaryName(target, options.tag);
        fd = fails(ReplaceStep::Create) ? (errno = EIO, -1) : openNew(temporary);
        if (fd < 0 && errno != EEXIST) {
            break;
        }
    }
    if (fd < 0) {
        return refuse("a temporary file could not be created in the folder \"" + folder.string() +
                      "\" (" + errnoText(errno) + ")");
    }
    if (exists) {
        fs::permissions(temporary, fs::status(target, ec).permissions(), ec); // best effort
    }
    if (Status filled = fill(fd, bytes, options); !filled) {
        fs::remove(temporary, ec);
        return filled;
    }
    if (fails(ReplaceStep::Rename)) {
        ec = std::make_error_code(std::errc::io_error);
    } else {
        fs::rename(temporary, target, ec);
    }
    if (ec) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        return refuse("the new file could not take the place of the old one (" + ec.message() +
                      ")");
    }
    return {};
}

int removeStaleTemporaries(const fs::path& path, std::string_view tag) {
    std::error_code ec;
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    const std::string prefix = path.filename().string() + "." + std::string(tag) + "-";
    int removed = 0;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const bool ours = name.size() == prefix.size() + 10 && name.starts_with(prefix) &&
                          name.ends_with(".tmp") && it->is_regular_file(ec);
        if (ours && fs::remove(it->path(), ec)) {
            ++removed;
        }
    }
    return removed;
}

} // namespace core
