#pragma once

#include "card/types.h"

#include <optional>

namespace card {

// The window's form-level state, shared by its handlers. The calibration values themselves
// live only in the window's text boxes (the calibration table), never here.
struct FormState {
    Int16 wErrCode = 0;      // status of the most recent driver call or reading
    Int16 wDriverBoards = 0; // out-parameter of the opening call; unused
    std::array<InfoRecord, kMaxBoards> CardInfo{};
    std::array<ConfigRecord, kMaxBoards> CardConfig{};
    InfoRecord ActiveCardInfo{}; // copy taken by RELOAD; its dwMemBase addresses the readings
    EepImage dwEEPData{};        // the image as the last successful RELOAD read it
    EepImage dwEEPSave{};        // the image as the last SAVE wrote it
    std::array<Int16, 4> wAORange{}; // D/A range code per output frame kind (k mod 4)
    Long dwAvgCount = 0;         // conversions averaged for one reading
    bool bLoading = false;       // true while RELOAD fills the boxes

    // The board whose EEPROM the shown table and dwEEPData came from (set by a successful
    // RELOAD); SAVE refuses to write that image into any other board.
    std::optional<Int16> loadedBoard;
};

} // namespace card
