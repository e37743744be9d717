#pragma once

#include "card/types.h"

#include <string>

namespace card {

// The entry points of the maker's driver library that this program calls, one virtual
// function each, arguments in the library's order. Every call returns a 16-bit status,
// 0 = success. "Board" is a board number 0 .. n-1 in the order of the card search.
class Driver {
public:
    virtual ~Driver() = default;

    // Opens the library. out: a 16-bit value that nobody uses.
    virtual Int16 Drvx_DriverInit(Int16& wTotalBoards) = 0;
    // Counts the cards with the given identifier; boards 0 .. wNumBoards-1 afterwards.
    virtual Int16 Drvx_SearchCard(Int16& wNumBoards, Long dwCardId) = 0;
    // Fills the two records of a board; the model-name buffer is in/out.
    virtual Int16 Drvx_GetCardInfo(Int16 wBoardNo, InfoRecord& cardInfo, ConfigRecord& cardConfig,
                                   ModelName& modelName) = 0;
    // Closes the library.
    virtual Int16 Drvx_DriverClose() = 0;

    // Reads the board's whole EEPROM, word i into slot i.
    virtual Int16 Drvx_ReadEEP(Int16 wBoardNo, EepImage& data) = 0;
    // Writes the board's whole EEPROM from the low 16 bits of slots 0..127.
    virtual Int16 Drvx_WriteEEP(Int16 wBoardNo, EepImage& data) = 0;
    // Restores the board's EEPROM from the copy the library keeps.
    virtual Int16 Drvx_RecoverEEP(Int16 wBoardNo) = 0;

    // Selects the output range of a channel (range code 0..3).
    virtual Int16 Drvx_ConfigAO(Int16 wBoardNo, Int16 wChannel, Int16 wRange) = 0;
    // Drives the low 16 bits of dwCode as the channel's D/A code at once.
    virtual Int16 Drvx_WriteAOVoltageH(Int16 wBoardNo, Int16 wChannel, Long dwCode) = 0;

    // One read / write of a card register at a physical address; wSize is the width in
    // bits (this program always passes 32).
    virtual Int16 Drvx_ReadPhyMemory(Long dwAddress, Int16 wSize, Long& dwValue) = 0;
    virtual Int16 Drvx_WritePhyMemory(Long dwAddress, Int16 wSize, Long dwValue) = 0;

    // Not an entry point: what the backend can say, beyond its status, about why the last
    // entry point called failed; empty when it has nothing more to say (the driver library
    // never has). The simulated card names here why its file could not keep a write.
    virtual std::string failureDetail() const { return {}; }
};

} // namespace card
