#pragma once

// A helper program of the tests in a process of its own, its input and output through pipes:
// for what only two real processes show (locks, files shared between programs). POSIX and
// Windows.

#include <string>
#include <vector>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <csignal>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

namespace testing_support {

#ifdef _WIN32

class ChildProcess {
public:
    // What wait() gives after kill(): the exit code it is ended with, as a shell shows SIGKILL.
    static constexpr int kKilled = 128 + 9;

    // args[0] is the program's path.
    explicit ChildProcess(const std::vector<std::string>& args) {
        SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        HANDLE inRead = nullptr;
        HANDLE outWrite = nullptr;
        if (!::CreatePipe(&inRead, &in_, &inherited, 0)) {
            return;
        }
        if (!::CreatePipe(&out_, &outWrite, &inherited, 0)) {
            ::CloseHandle(inRead);
            return;
        }
        // Only the child's ends are inherited.
        ::SetHandleInformation(in_, HANDLE_FLAG_INHERIT, 0);
        ::SetHandleInformation(out_, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = inRead;
        startup.hStdOutput = outWrite;
        startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
        std::string line;
        for (const std::string& a : args) {
            line += (line.empty() ? "" : " ") + quoted(a);
        }
        PROCESS_INFORMATION started{};
        if (::CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                             &startup, &started)) {
            process_ = started.hProcess;
            ::CloseHandle(started.hThread);
        }
        ::CloseHandle(inRead);
        ::CloseHandle(outWrite);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess() {
        kill();
        closeInput();
        if (out_ != nullptr) {
            ::CloseHandle(out_);
        }
    }

    // One line of its output without the line end; empty when its output ended.
    std::string readLine() {
        std::string line;
        char ch = 0;
        DWORD got = 0;
        while (out_ != nullptr && ::ReadFile(out_, &ch, 1, &got, nullptr) && got == 1 &&
               ch != '\n') {
            line += ch;
        }
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        return line;
    }

    // Ends its input: a helper that waits for it then ends normally.
    void closeInput() {
        if (in_ != nullptr) {
            ::CloseHandle(in_);
            in_ = nullptr;
        }
    }

    // Waits for it to end: its exit code.
    int wait() {
        if (process_ == nullptr) {
            return -1;
        }
        DWORD code = 0;
        ::WaitForSingleObject(process_, INFINITE);
        const bool known = ::GetExitCodeProcess(process_, &code);
        ::CloseHandle(process_);
        process_ = nullptr;
        return known ? static_cast<int>(code) : -1;
    }

    // Ends it at once (it cleans nothing up) and waits for it: kKilled.
    int kill() {
        if (process_ != nullptr) {
            ::TerminateProcess(process_, kKilled);
        }
        return wait();
    }

private:
    // One argument as the C runtime's command-line parsing gives it back.
    static std::string quoted(const std::string& arg) {
        if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) {
            return arg;
        }
        std::string q = "\"";
        std::size_t backslashes = 0;
        for (const char c : arg) {
            if (c == '\\') {
                ++backslashes;
                continue;
            }
            q.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
            backslashes = 0;
            q += c;
        }
        q.append(2 * backslashes, '\\');
        return q + "\"";
    }

    HANDLE process_ = nullptr;
    HANDLE in_ = nullptr;
    HANDLE out_ = nullptr;
};

#else

class ChildProcess {
public:
    // What wait() gives after kill().
    static constexpr int kKilled = 128 + SIGKILL;

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

    // Ends it at once with SIGKILL (it cleans nothing up) and waits for it: kKilled.
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

#endif

} // namespace testing_support
