#pragma once

#include "card/types.h"
#include "session/context.h"

#include <vector>

namespace session {

// What the start-up search found: the count the driver reported, and the boards (of the
// first 32, which the record tables hold) whose card information could not be fetched, each
// with the status its Drvx_GetCardInfo gave.
struct FoundCards {
    Int16 boards = 0;
    std::vector<Int16> infoFailed;
    std::vector<Int16> infoStatus; // infoStatus[i] is the status of board infoFailed[i]
    // The status of the board's failed Drvx_GetCardInfo, or 0 when it did not fail.
    Int16 statusOf(Int16 board) const;
};

// The start-up of a front end: opens the driver, searches the cards with the card
// identifier, fetches each recorded board's information into CardInfo / CardConfig, and sets
// the conversions of a reading (1000) and the driver's output range codes (wAORange). Every
// status goes to wErrCode; the front end shows "Get Card Information Err" once for each
// board in infoFailed.
FoundCards findCards(Context& ctx);

} // namespace session
