#pragma once

#include "platform/clock.h"
#include "platform/event_pump.h"

#include "card/types.h"

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

namespace cli {

// The mandated time of the steps of a calibration: the automatic run holds 22 settling
// waits of 1 s and about 347 readings of 103 ms; an as-found or as-left pass one wait and
// `repeats` readings for each of the sixteen end points, and for the twelve input points
// `repeats` readings and three waits (the smallest ranges' sources).
inline constexpr double kReadingSeconds = 0.103;
inline constexpr double kRunSeconds = 22 * 1.0 + 347 * kReadingSeconds;
constexpr double passSeconds(int repeats) {
    return 16 * (1.0 + repeats * kReadingSeconds) + 3 * 1.0 + 12 * repeats * kReadingSeconds;
}

// The progress of a long command on stderr: the step, the end point being worked on and the
// percentage of the mandated time elapsed. On a terminal one line rewritten in place (at
// most every 0.2 s, on the event pump's yields); otherwise one line for each end point. Off:
// nothing at all.
class Progress {
public:
    enum class Mode { Off, Lines, InPlace };
    Progress(std::ostream& err, platform::Clock& clock, Mode mode, double mandatedSeconds);

    void step(const std::string& name);
    void endPoint(const std::string& name);
    void tick();   // a yield: refreshes the line in place when due
    void finish(); // ends the line in place

private:
    std::string line();
    void show();

    std::ostream& err_;
    platform::Clock& clock_;
    Mode mode_;
    double mandated_;
    double start_;
    double lastShown_ = -1.0;
    std::string step_;
    std::string point_;
    bool shown_ = false;
};

// The event pump of a command: the real one, then the progress line.
class ProgressPump : public platform::EventPump {
public:
    ProgressPump(platform::EventPump& inner, Progress& progress)
        : inner_(inner), progress_(progress) {}
    void processEvents() override {
        inner_.processEvents();
        progress_.tick();
    }
    // A wait is cut into short ones so that the progress line keeps moving.
    void waitForEvents(double maxSeconds) override {
        inner_.waitForEvents(std::min(maxSeconds, 0.2));
        progress_.tick();
    }

private:
    platform::EventPump& inner_;
    Progress& progress_;
};

// The progress of several boards calibrated at once, from the lines their programs write to
// stderr: on a terminal one line per board, rewritten in place; otherwise each line as it
// comes, after its board ("board 2: [ 45%] calibrating: ..."). A program's message (a line
// that is no progress line) always shows, after its board; quiet leaves out the progress.
class BoardProgress {
public:
    BoardProgress(std::ostream& err, std::vector<card::Int16> boards, bool quiet, bool terminal);
    void line(std::size_t index, const std::string& text);
    void finish();

private:
    void redraw();

    std::ostream& err_;
    std::vector<card::Int16> boards_;
    std::vector<std::string> latest_;
    bool quiet_;
    bool terminal_;
    bool drawn_ = false;
};

} // namespace cli
