#pragma once

// A helper program of the tests running in a process of its own (POSIX), its input and output
// through pipes: for what only two real processes can show (locks, files shared between
// programs).

#include <csignal>
#include <string>
#include <string_view>
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
        std::signal(SIGPIPE, SIG_IGN); // a child that ended makes send() fail, not the test
        int input[2];
        int output[2];
        if (::pipe2(input, O_CLOEXEC) != 0 || ::pipe2(output, O_CLOEXEC) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, input[0], 0);
        posix_spawn_file_actions_adddup2(&actions, output[1], 1);
        std::vector<char*> argv;
        for (const std::string& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        if (::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(input[0]);
        ::close(output[1]);
        in_ = input[1];
        out_ = output[0];
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess() {
        if (pid_ > 0) {
            kill();
        }
        closeInput();
        if (out_ >= 0) {
            ::close(out_);
        }
    }

    bool started() const { return pid_ > 0; }

    // One line of its output without the '\n'; empty when its output ended.
    std::string readLine() {
        std::string line;
        char ch = 0;
        while (::read(out_, &ch, 1) == 1 && ch != '\n') {
            line += ch;
        }
        return line;
    }

    void send(std::string_view text) {
        if (::write(in_, text.data(), text.size()) < 0) {
            closeInput();
        }
    }

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

    // Ends it at once (SIGKILL: it cleans nothing up) and waits for it.
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
