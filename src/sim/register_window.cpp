// The register window's protocol and its checker (see register_window.h).
#include "sim/register_window.h"

#include "sim/card_state.h"

#include <cstdio>
#include <utility>

namespace sim {

using card::Long;

std::string hexText(std::uint32_t v, int digits) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%0*X", digits, v);
    return buf;
}

void SimulatedDriver::violation(std::string text) {
    ++violationCount_;
    if (violations_.size() < kMaxViolations) {
        violations_.push_back(std::move(text));
    }
}

const std::vector<std::string>& SimulatedDriver::protocolViolations() const {
    return violations_;
}

long SimulatedDriver::violationCount() const {
    return violationCount_;
}

void SimulatedDriver::clearViolations() {
    violations_.clear();
    violationCount_ = 0;
}

long SimulatedDriver::conversions() const {
    return conversions_;
}

void SimulatedDriver::writeRegister(Card& c, std::uint32_t offset, std::uint32_t value) {
    RegisterWindow& r = c.window;
    if (offset == kSetup[0].offset && value == kSetup[0].value) {
        if (r.setupNext > 0 && r.setupNext < kSetup.size()) {
            violation("board " + std::to_string(c.board) +
                      ": register set-up started again after " + std::to_string(r.setupNext) +
                      " of 8 writes");
        }
        r.setupNext = 1;
        r.started = false;
        return;
    }
    if (r.setupNext > 0 && r.setupNext < kSetup.size()) {
        setupWrite(c, offset, value);
        return;
    }
    if (offset == kStatusRegister) {
        startConversion(c, value);
        return;
    }
    violation("board " + std::to_string(c.board) + ": unexpected write of " + hexText(value) +
              " to offset " + hexText(offset, 3));
}

void SimulatedDriver::setupWrite(Card& c, std::uint32_t offset, std::uint32_t value) {
    RegisterWindow& r = c.window;
    const std::size_t step = r.setupNext;
    const SetupWrite want = kSetup[step];
    bool ok = offset == want.offset;
    if (ok && step == kConfigStep) {
        const bool signExtended = (value >> 16) == ((value & 0x8000u) ? 0xFFFFu : 0u);
        if (!signExtended || (value & kConfigFixedBits) != kConfigFixedBits) {
            violation("board " + std::to_string(c.board) + ": configuration word " +
                      hexText(value, 8) + " is not a sign-extended 16-bit word with bits " +
                      hexText(kConfigFixedBits, 4) + " set");
        }
        r.source = static_cast<int>((value >> 12) & 7u);
        r.gain = static_cast<int>((value >> 7) & 7u);
    } else if (ok) {
        ok = value == want.value;
    }
    if (!ok) {
        violation(
            "board " + std::to_string(c.board) + ": set-up write " + std::to_string(step + 1) +
            " of 8 should be " +
            (step == kConfigStep ? std::string("the configuration word") : hexText(want.value)) +
            " to offset " + hexText(want.offset, 3) + ", got " + hexText(value) + " to offset " +
            hexText(offset, 3));
        r.setupNext = 0;
        return;
    }
    ++r.setupNext;
}

void SimulatedDriver::startConversion(Card& c, std::uint32_t value) {
    RegisterWindow& r = c.window;
    if (value != 0) {
        violation("board " + std::to_string(c.board) + ": write of " + hexText(value) +
                  " to the status register; only 0 starts a conversion");
        return;
    }
    if (r.setupNext != kSetup.size()) {
        violation("board " + std::to_string(c.board) +
                  ": conversion started before the register set-up was complete");
    }
    ++conversions_;
    const double volts = c.model.sourceVolts(r.source, c.range, c.code);
    r.result = static_cast<std::uint16_t>(c.model.convert(r.gain, volts, c.noise));
    r.busyReads = kBusyReads;
    r.started = true;
}

Long SimulatedDriver::readRegister(Card& c, std::uint32_t offset) {
    RegisterWindow& r = c.window;
    if (offset != kStatusRegister) {
        violation("board " + std::to_string(c.board) + ": read of offset " + hexText(offset, 3) +
                  ", which is not the status register");
        return 0;
    }
    if (!r.started) {
        violation("board " + std::to_string(c.board) +
                  ": status read before a conversion was started");
    }
    std::uint32_t v = 0;
    if (busyForever_ || r.busyReads > 0) {
        if (r.busyReads > 0) {
            --r.busyReads;
        }
        v = kBusyBit | r.shown;
    } else {
        r.shown = r.result;
        v = r.result;
    }
    if (options_.junkUpperStatusBits) {
        v |= kJunkUpperBits;
    }
    return static_cast<Long>(v);
}

} // namespace sim
