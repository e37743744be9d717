#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace card {

// The driver library's integer types: "integer" is 16-bit signed, "long" 32-bit signed.
using Int16 = std::int16_t;
using Long = std::int32_t;

// Identifier handed to the card search; selects the MX-4815 among the cards the driver knows.
inline constexpr Long kCardId = 0x2CB656;

// The record tables hold boards 0 to 31.
inline constexpr int kMaxBoards = 32;

// EEPROM images: 129 slots of 32 bits, one 16-bit EEPROM word per slot; words 0..127 are used.
inline constexpr std::size_t kEepromWords = 128;
inline constexpr std::size_t kEepromSlots = 129;
using EepImage = std::array<Long, kEepromSlots>;

// The 64-byte card-information record. Only dwMemBase, the 32-bit value at byte 52, is
// interpreted: the physical base address of the card's register window.
struct InfoRecord {
    static constexpr std::size_t kSize = 64;
    static constexpr std::size_t kMemBaseOffset = 52;
    std::array<std::uint8_t, kSize> bytes{};

    std::uint32_t dwMemBase() const {
        std::uint32_t v = 0;
        for (std::size_t i = 0; i < 4; ++i) {
            v |= static_cast<std::uint32_t>(bytes[kMemBaseOffset + i]) << (8 * i);
        }
        return v;
    }
    void setMemBase(std::uint32_t v) {
        for (std::size_t i = 0; i < 4; ++i) {
            bytes[kMemBaseOffset + i] = static_cast<std::uint8_t>(v >> (8 * i));
        }
    }
    friend bool operator==(const InfoRecord&, const InfoRecord&) = default;
};

// The 52-byte configuration record; kept, never read.
struct ConfigRecord {
    static constexpr std::size_t kSize = 52;
    std::array<std::uint8_t, kSize> bytes{};
    friend bool operator==(const ConfigRecord&, const ConfigRecord&) = default;
};

// The 20-character single-byte model-name buffer of the card-information call.
inline constexpr std::size_t kModelNameSize = 20;
using ModelName = std::array<char, kModelNameSize>;

static_assert(sizeof(InfoRecord) == 64);
static_assert(sizeof(ConfigRecord) == 52);

} // namespace card
