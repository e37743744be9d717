#include "cli/interrupt.h"

#include <atomic>
#include <csignal>

#ifdef _WIN32
#include <windows.h>
#endif

namespace cli {

namespace {

// Written by the handler only; the command reads it at its yields. A second Ctrl-C changes
// nothing more: a SAVE in progress has no yield, so it is never cut in half.
std::atomic<bool> requested{false};
std::atomic<bool> done{false};

#ifdef _WIN32
BOOL WINAPI onConsoleEvent(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        requested = true;
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        // Windows ends the program when this returns (or after about 5 s): give the stopped
        // command the time to write its record and end by itself.
        requested = true;
        for (int i = 0; i < 45 && !done; ++i) {
            Sleep(100);
        }
        return TRUE;
    default:
        return FALSE;
    }
}
#else
extern "C" void onSignal(int) {
    requested = true;
}
#endif

} // namespace

void catchInterrupts() {
#ifdef _WIN32
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
#else
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int s : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(s, &action, nullptr);
    }
#endif
}

bool interruptRequested() {
    return requested;
}

void interruptsDone() {
    done = true;
}

} // namespace cli
