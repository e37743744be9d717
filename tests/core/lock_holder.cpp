// Holds a core::FileLock for the tests in another process: lock_holder PATH shared|exclusive
// [TEXT] locks PATH without waiting, writes TEXT into it when given, prints "held" (or the
// kind of refusal: "busy", "refused") and keeps the lock until its input ends or it is killed.
#include "core/file_lock.h"

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: lock_holder PATH shared|exclusive [TEXT]\n");
        return 2;
    }
    const auto mode = std::strcmp(argv[2], "shared") == 0 ? core::FileLock::Mode::Shared
                                                          : core::FileLock::Mode::Exclusive;
    core::Result<core::FileLock> lock = core::FileLock::acquire(argv[1], mode, false);
    if (!lock) {
        std::printf("%s\n", lock.kind() == core::Kind::Busy ? "busy" : "refused");
        std::fflush(stdout);
        return 1;
    }
    if (argc > 3 && !lock->describe(argv[3])) {
        std::printf("refused\n");
        std::fflush(stdout);
        return 1;
    }
    std::printf("held\n");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    return 0;
}
