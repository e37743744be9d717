#pragma once

#include "card/types.h"

#include <string>

namespace record {

// Whether the program owns EEPROM word w: the references', the output codes' and the input
// codes' words, which calibrations change.
bool ownedWord(int w);

// The card fingerprint: SHA-256 (lower-case hex) of the EEPROM words the program does not
// own (0-3, 26, 27, 30, 31, 34, 35, 38, 39, 42-47, 50-127), each as two bytes, low byte
// first. It stays the same across calibrations of one card.
std::string cardFingerprint(const card::EepImage& image);

} // namespace record
