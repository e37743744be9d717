#include "bench_platform.h"

#include <cstdio>
#include <iostream>

namespace bench {

double msBetween(Steady::time_point from, Steady::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

std::string fixed(double v, int decimals, int width) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%*.*f", width, decimals, v);
    return buf;
}

void loadBoard0(sim::SimulatedDriver& sim, session::FormState& state) {
    card::Int16 boards = 0;
    sim.Drvx_DriverInit(boards);
    sim.Drvx_SearchCard(boards, card::kCardId);
    card::ConfigRecord config;
    card::ModelName model{};
    sim.Drvx_GetCardInfo(0, state.ActiveCardInfo, config, model);
    state.dwAvgCount = 1000;
    state.wAORange = {0, 2, 1, 3};
}

double RealClock::now() {
    return std::chrono::duration<double>(Steady::now().time_since_epoch()).count();
}

void RealClock::Sleep(std::int32_t milliseconds) {
    const auto start = Steady::now();
    platform::sleepPunctually(milliseconds); // as the program's clock sleeps
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
