#include "session/board_lock.h"

#include "core/file_lock.h"

#include <chrono>
#include <ctime>
#ifdef _WIN32
#include <process.h>
#define MXCAL_GETPID _getpid
#else
#include <unistd.h>
#define MXCAL_GETPID getpid
#endif

namespace session {

struct FileBoardLocks::Held {
    core::FileLock lock;
};

std::string holderText(const std::string& program) {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm utc{};
#ifdef _WIN32
    gmtime_s(&utc, &now);
#else
    gmtime_r(&now, &utc);
#endif
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S UTC", &utc);
    return program + " (process " + std::to_string(static_cast<long>(MXCAL_GETPID())) + ") since " +
           stamp;
}

FileBoardLocks::FileBoardLocks(std::filesystem::path folder, std::string program)
    : folder_(std::move(folder)), program_(std::move(program)) {}

FileBoardLocks::~FileBoardLocks() = default;

std::filesystem::path FileBoardLocks::lockPath(Int16 board) const {
    return folder_ / ("board-" + std::to_string(board) + ".lock");
}

core::Status FileBoardLocks::take(Int16 board) {
    if (holds(board)) {
        return {};
    }
    const std::filesystem::path path = lockPath(board);
    auto lock = core::FileLock::acquire(path, core::FileLock::Mode::Exclusive, false);
    if (!lock) {
        if (lock.kind() != core::Kind::Busy) {
            // Nothing has reached the card: a refusal before it, as a file refused is.
            return core::refuse(core::Kind::Input, "Board " + std::to_string(board) +
                                                       " could not be reserved for this program: " +
                                                       lock.refusal() + ". Nothing was changed.");
        }
        std::string holder = core::FileLock::content(path);
        if (holder.empty()) {
            holder = "another program";
        }
        return core::refuse(core::Kind::Busy, "Board " + std::to_string(board) + " is in use by " +
                                                  holder + ". Nothing was changed.");
    }
    // The holder's name is a courtesy to the refused program; the lock holds without it.
    (void)lock->describe(holderText(program_));
    held_[board] = std::make_unique<Held>(Held{std::move(*lock)});
    return {};
}

void FileBoardLocks::keepOnly(Int16 keep) {
    for (auto it = held_.begin(); it != held_.end();) {
        it = it->first == keep ? std::next(it) : held_.erase(it);
    }
}

bool FileBoardLocks::holds(Int16 board) const {
    return held_.count(board) != 0;
}

} // namespace session
