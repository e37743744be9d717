#pragma once

// A card for the automatic calibration's logic tests: a mock driver that remembers each
// channel's range and code, and an acquisition that reads a linear model of the card (or a
// script of readings and statuses, which take precedence).

#include "card/acquisition.h"
#include "support/fakes.h"

#include <cmath>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace autocal_testing {

using card::Int16;
using card::Long;

class ModelCard : public card::Acquisition {
public:
    ModelCard() {
        using testing::_;
        using testing::Invoke;
        ON_CALL(driver, Drvx_ConfigAO(_, _, _))
            .WillByDefault(Invoke([this](Int16, Int16 ch, Int16 r) {
                range[ch & 1] = r;
                log.push_back("C" + std::to_string(ch) + "." + std::to_string(r));
                return Int16{0};
            }));
        ON_CALL(driver, Drvx_WriteAOVoltageH(_, _, _))
            .WillByDefault(Invoke([this](Int16, Int16 ch, Long v) {
                code[ch & 1] = static_cast<std::uint16_t>(v);
                writes.push_back(v);
                log.push_back("W" + std::to_string(v));
                return Int16{0};
            }));
    }

    Int16 MX4815_Get_AutoCal_Data(Int16, Int16 wChannel, Int16 wGain, Int16& wADVal) override {
        reads.push_back({wChannel, wGain});
        log.push_back("R" + std::to_string(wChannel) + "." + std::to_string(wGain));
        if (onRead) {
            onRead();
        }
        if (!statuses.empty()) {
            const Int16 s = statuses.front();
            statuses.pop_front();
            if (s != 0) {
                return s;
            }
        }
        if (!script.empty()) {
            wADVal = script.front();
            script.pop_front();
        } else {
            wADVal = modelReading(wChannel, wGain);
        }
        return 0;
    }

    // Full scale of the input ranges by gain code.
    static double fullScale(Int16 wGain) {
        switch (wGain) {
        case 7:
            return 20.48;
        case 1:
            return 10.24;
        case 2:
            return 5.12;
        case 3:
            return 2.56;
        case 4:
            return 1.28;
        case 5:
            return 0.64;
        default:
            return 10.24;
        }
    }
    // Output voltage by range code: full span a little wider than nominal, small offsets.
    double outputVolts(int ch) const {
        const double c = code[ch];
        switch (range[ch]) {
        case 0:
            return -0.002 + c / 65536.0 * 5.06;
        case 1:
            return -5.06 + c / 65536.0 * 10.12;
        case 2:
            return 0.003 + c / 65536.0 * 10.1;
        case 3:
            return -10.1 + c / 65536.0 * 20.2;
        default:
            return 0.0;
        }
    }
    Int16 modelReading(Int16 wChannel, Int16 wGain) const {
        double volts = 0.0;
        switch (wChannel) {
        case 2:
            volts = ref5;
            break;
        case 3:
            volts = ref10;
            break;
        case 4:
            volts = 0.0;
            break;
        case 5:
            volts = outputVolts(0);
            break;
        case 7:
            volts = outputVolts(1);
            break;
        default:
            break;
        }
        const double v = std::nearbyint(volts / fullScale(wGain) * 32768.0) + adOffset;
        return static_cast<Int16>(std::fmax(-32768.0, std::fmin(32767.0, v)));
    }

    testing::NiceMock<testing_support::MockDriver> driver;
    double ref10 = 9.995;
    double ref5 = 5.002;
    double adOffset = 2.0;
    Int16 range[2] = {0, 0};
    std::uint16_t code[2] = {0, 0};
    std::deque<Int16> script;
    std::deque<Int16> statuses;
    std::vector<std::pair<Int16, Int16>> reads;
    std::vector<Long> writes;
    std::vector<std::string> log;
    std::function<void()> onRead;
};

} // namespace autocal_testing
