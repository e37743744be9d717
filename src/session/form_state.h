#pragma once

#include "card/facts.h"
#include "card/types.h"
#include "session/journal.h"

#include <optional>

namespace session {

using card::EepImage;
using card::Int16;
using card::Long;

// The window's form-level state, shared by its handlers. The calibration values themselves
// live only in the window's text boxes (the calibration table), never here.
struct FormState {
    Int16 wErrCode = 0;      // status of the most recent driver call or reading
    Int16 wDriverBoards = 0; // out-parameter of the opening call; unused
    std::array<card::InfoRecord, card::kMaxBoards> CardInfo{};
    std::array<card::ConfigRecord, card::kMaxBoards> CardConfig{};
    card::InfoRecord ActiveCardInfo{}; // copy taken by RELOAD; its dwMemBase addresses the readings
    EepImage dwEEPData{};              // the image as the last successful RELOAD read it
    EepImage dwEEPSave{};              // the image as the last SAVE wrote it
    // The driver's range code of each of the window's output ranges (box index k mod 4).
    std::array<Int16, card::kOutputRangeCount> wAORange{};
    Long dwAvgCount = 0;   // conversions averaged for one reading
    bool bLoading = false; // true while RELOAD fills the boxes

    // The board whose EEPROM the shown table and dwEEPData came from (set by a successful
    // RELOAD); SAVE refuses to write that image into any other board.
    std::optional<Int16> loadedBoard;
    // Where the values in the boxes came from, for the record of the next SAVE.
    ValuesSource valuesSource;
};

} // namespace session
