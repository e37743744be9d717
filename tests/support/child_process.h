#pragma once

// A helper program of the tests in a process of its own (POSIX), its input and output through
// pipes: for what only two real processes show (locks, files shared between programs).

#include <csignal>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace testing_support {

class ChildProcess {
public:
    // args[0] is the program's path.
    explicit ChildProcess(const std::vector<std::string>& args) {
        int in[2];
        int out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        std::vector<char*> argv;
        for (const std::string& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        if (::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        in_ = in[1];
        out_ = out[0];
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess() {
        kill();
        closeInput();
        ::close(out_);
    }

    // One line of its output without the '\n'; empty when its output ended.
    std::string readLine() {
        std::string line;
        char ch = 0;
        while (::read(out_, &ch, 1) == 1 && ch != '\n') {
            line += ch;
        }
        return line;
    }

    // Ends its input: a helper that waits for it then ends normally.
    void closeInput() {
        if (in_ >= 0) {
            ::close(in_);
            in_ = -1;
        }
    }

    // Waits for it to end: its exit code, or 128 + the signal that ended it.
    int wait() {
        int status = 0;
        if (pid_ <= 0 || ::waitpid(pid_, &status, 0) != pid_) {
            return -1;
        }
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    // Ends it at once with SIGKILL (it cleans nothing up) and waits for it.
    int kill() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
        }
        return wait();
    }

private:
    pid_t pid_ = -1;
    int in_ = -1;
    int out_ = -1;
};

} // namespace testing_support
