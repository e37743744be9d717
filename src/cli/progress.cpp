#include "cli/progress.h"

#include <algorithm>
#include <cmath>

namespace cli {

Progress::Progress(std::ostream& err, platform::Clock& clock, Mode mode, double mandatedSeconds)
    : err_(err), clock_(clock), mode_(mode), mandated_(mandatedSeconds), start_(clock.now()) {}

std::string Progress::line() {
    // Never 100 % before the end: the run may take a few readings more than the mandate.
    const double elapsed = clock_.now() - start_;
    const int percent =
        std::clamp(static_cast<int>(std::floor(100.0 * elapsed / mandated_)), 0, 99);
    std::string text =
        "[" + std::string(percent < 10 ? "  " : " ") + std::to_string(percent) + "%] " + step_;
    if (!point_.empty()) {
        text += ": " + point_;
    }
    return text;
}

void Progress::show() {
    if (mode_ == Mode::Off) {
        return;
    }
    if (mode_ == Mode::Lines) {
        err_ << line() << "\n";
    } else {
        // Back to the start of the line, the text, the rest of the line cleared.
        err_ << "\r" << line() << "\x1b[K";
        err_.flush();
        shown_ = true;
    }
    lastShown_ = clock_.now();
}

void Progress::step(const std::string& name) {
    step_ = name;
    point_.clear();
    show();
}

void Progress::endPoint(const std::string& name) {
    point_ = name;
    show();
}

void Progress::tick() {
    if (mode_ == Mode::InPlace && clock_.now() - lastShown_ >= 0.2) {
        show();
    }
}

void Progress::finish() {
    if (mode_ == Mode::InPlace && shown_) {
        err_ << "\r\x1b[K";
        err_.flush();
        shown_ = false;
    }
}

BoardProgress::BoardProgress(std::ostream& err, std::vector<card::Int16> boards, bool quiet,
                             bool terminal)
    : err_(err), boards_(std::move(boards)), latest_(boards_.size()), quiet_(quiet),
      terminal_(terminal) {}

void BoardProgress::line(std::size_t index, const std::string& text) {
    if (index >= boards_.size()) {
        return;
    }
    const std::string board = "board " + std::to_string(boards_[index]) + ": ";
    const bool progress = !text.empty() && text[0] == '[';
    if (!progress || !terminal_) {
        if (progress && quiet_) {
            return;
        }
        if (drawn_) {
            // Up over the boards' lines, clearing them, so that the message stands above.
            err_ << "\x1b[" << boards_.size() << "A\r\x1b[J";
            drawn_ = false;
        }
        err_ << board << text << "\n";
        if (terminal_ && !quiet_) {
            redraw();
        }
        return;
    }
    latest_[index] = text;
    if (!quiet_) {
        redraw();
    }
}

void BoardProgress::redraw() {
    if (drawn_) {
        err_ << "\x1b[" << boards_.size() << "A";
    }
    for (std::size_t i = 0; i < boards_.size(); ++i) {
        err_ << "\rboard " << boards_[i] << ": " << latest_[i] << "\x1b[K\n";
    }
    err_.flush();
    drawn_ = true;
}

void BoardProgress::finish() {
    err_.flush();
}

} // namespace cli
