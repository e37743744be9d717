#pragma once

// The EEPROM a simulated card leaves the factory with: a calibration that fits its analog
// model, and the other data a card carries (identifier, serial number, date, trim data of
// other parts, a checksum).

#include "card/types.h"
#include "sim/analog_model.h"

#include <array>
#include <cstdint>

namespace sim {

using EepromWords = std::array<std::uint16_t, card::kEepromWords>;

// The factory EEPROM of a board with this model and serial number, fixed by the variant.
EepromWords factoryImage(const AnalogModel& model, std::uint32_t serial, std::uint32_t variant,
                         int board);

} // namespace sim
