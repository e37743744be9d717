#pragma once

// The text in which the simulated cards' EEPROMs and factory backups are kept:
//
//   MX4815-SIMULATED-CARDS 1
//   variant <decimal>
//   cards <decimal, 0 .. kMaxCards>
//   for every card, in the order of its index 0, 1, ...:
//     card <index>
//     eeprom <128 x " XXXX">
//     backup <128 x " XXXX">
//     saved <YYYY-MM-DD or -> drift-from <YYYY-MM-DD or ->   (version 2 only)
//   checksum <8 hex digits> (FNV-1a over everything before this line)
//
// Every line ends with '\n'; hex digits are upper case. Version 2 ("MX4815-SIMULATED-CARDS
// 2") adds each card's dates; cards without any date are written as version 1, which every
// earlier program reads, and both versions are read.

#include "sim/factory_image.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

struct StoredCard {
    EepromWords eeprom{};
    EepromWords backup{};
    std::optional<std::chrono::sys_days> savedOn;   // the last SAVE's day
    std::optional<std::chrono::sys_days> driftFrom; // the day the card's drift began
};

// The text of these cards, the card at index i as card i.
std::string cardsText(std::uint32_t variant, const std::vector<StoredCard>& cards);

// The cards in a text of cardsText() of this variant. Damaged text or text of another variant:
// false and a reason in why (cards is then unspecified).
bool readCardsText(std::string_view text, std::uint32_t variant, std::vector<StoredCard>& cards,
                   std::string& why);

} // namespace sim
