#pragma once

#include "card/types.h"
#include "core/result.h"

#include <cstdint>
#include <optional>
#include <string>

// The record kept of every change a program makes to a card's EEPROM. SAVE and RECOVER open
// it before the driver is asked to write and close it after the write was read back, so a
// program that ends in between leaves a pending record behind.
namespace session {

// Where the values of a change came from.
struct ValuesSource {
    enum class Kind {
        HandTrimming, // the boxes as RELOAD filled them and the technician left them
        AutomaticRun, // an automatic calibration; details holds its end-point results
        ImportedFile, // a calibration file: file and sha256
        Recover,      // RECOVER: the driver's backup
        Restore,      // a record of the history put back: restoredFrom
    };
    Kind kind = Kind::HandTrimming;
    std::string file;         // ImportedFile: the file's name
    std::string sha256;       // ImportedFile: of the bytes imported, lower-case hexadecimal
    std::string restoredFrom; // Restore: the id of the record put back
    std::optional<double> reference10V;
    std::optional<double> reference5V;
    std::string details; // a JSON document that goes into the record as it stands, or empty
};

// A change about to be made.
struct ChangeStart {
    card::Int16 board = 0;
    // The EEPROM before the change; nothing when it could not be read (RECOVER of a board
    // that was not read).
    std::optional<card::EepImage> before;
    ValuesSource source;
};

// How it ended.
struct ChangeEnd {
    bool written = false; // written and verified by reading it back
    // Nothing was asked of the card: a calibration kept in the record without a write.
    bool unchanged = false;
    std::int16_t status = 0;             // the driver's status of a failure, 0 when none
    std::string message;                 // what went wrong
    std::optional<card::EepImage> after; // as read back
    // The values' details as the change ended (ValuesSource::details); empty: as it began.
    std::string details;
};

class Journal {
public:
    virtual ~Journal() = default;
    // Records the change as pending and gives its id. A refusal means the change must not be
    // made: its text names the history and what is wrong.
    virtual core::Result<std::string> begin(const ChangeStart& change) = 0;
    // Records how the change ended. A refusal names the history; the card was changed
    // anyway and the record stays pending.
    virtual core::Status end(const std::string& id, const ChangeEnd& ending) = 0;
};

} // namespace session
