#pragma once

// One simulated card, as the parts of SimulatedDriver share it. Not for use outside src/sim.

#include "sim/analog_model.h"
#include "sim/factory_image.h"
#include "sim/register_window.h"
#include "sim/simulated_driver.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>

namespace sim {

struct SimulatedDriver::Card {
    int board = 0;
    std::uint32_t serial = 0;
    AnalogModel factory;                 // the analog side as it left the factory
    AnalogModel aged;                    // ... as it was when the program first saw it
    AnalogModel model;                   // ... and as it is today, drifted on since
    std::array<int, 2> range{};          // output range code per channel
    std::array<std::uint16_t, 2> code{}; // output code per channel

    EepromWords eeprom{};
    EepromWords backup{};
    // Kept with the EEPROM: the day of its last SAVE (Drvx_WriteEEP) and the day its outputs
    // began to drift on (its first SAVE with a date); none before.
    std::optional<std::chrono::sys_days> savedOn;
    std::optional<std::chrono::sys_days> driftFrom;
    long writes = 0;

    RegisterWindow window;
    std::uint64_t noise = 0; // state of the noise generator
};

} // namespace sim
