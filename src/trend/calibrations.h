#pragma once

#include "history/history.h"
#include "trend/calibration.h"

#include <optional>
#include <string>
#include <vector>

// A card's calibrations read from the calibration history (Qt Core: the record documents are
// JSON).
namespace trend {

// The calibration a calibration record document holds: one of recordVersion 3 whose outcome
// is "completed", with a start time. Nothing for any other document (another version, a
// calibration that was stopped, failed or left out of tolerance, text that is no record).
std::optional<Calibration> calibrationOf(const std::string& recordJson);

struct CardCalibrations {
    std::vector<Calibration> calibrations; // oldest first
    // The records that hold a completed calibration but were left out, each with why:
    // "record 1a2b3c4d: its content does not match its seal".
    std::vector<std::string> leftOut;
};

// The completed calibrations among the history records of one card (in any order), in the
// order the history kept them. A record still pending is no calibration (its SAVE never
// ended); one whose seal, or whose calibration record's own seal, does not match its
// content is left out and named. Every other record that may have written the EEPROM
// (written, failed or pending: a RECOVER, a restore, an imported file, a calibration whose
// SAVE failed) between two calibrations is named in the later one's changedBefore.
CardCalibrations calibrationsOf(std::vector<history::Entry> entries);

} // namespace trend
