#include "bench_platform.h"

#include <iostream>
#include <thread>

namespace bench {

double msBetween(Steady::time_point from, Steady::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

double RealClock::now() {
    return std::chrono::duration<double>(Steady::now().time_since_epoch()).count();
}

void RealClock::Sleep(std::int32_t milliseconds) {
    const auto start = Steady::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    askedMs_ += milliseconds;
    sleptMs_ += msBetween(start, Steady::now());
}

void RealClock::reset() {
    askedMs_ = 0.0;
    sleptMs_ = 0.0;
}

void GapPump::processEvents() {
    const auto t = Steady::now();
    if (yields_ > 0) {
        const double gap = msBetween(last_, t);
        if (gap > longestGapMs_) {
            longestGapMs_ = gap;
        }
    }
    ++yields_;
    last_ = t;
}

void GapPump::reset() {
    yields_ = 0;
    longestGapMs_ = 0.0;
}

void PrintingPrompts::message(const std::string& text) {
    ++messages;
    std::cout << "  [message] " << text << "\n";
}

bool PrintingPrompts::confirm(const std::string& text, const std::string& caption) {
    std::cout << "  [confirm] " << caption << ": " << text << " -> OK\n";
    return true;
}

std::optional<std::string> PrintingPrompts::chooseOpenFile(const std::string&, const std::string&) {
    return std::nullopt;
}

} // namespace bench
