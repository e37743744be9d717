#pragma once

#include "caldata/conversions.h"
#include "caldata/table.h"
#include "card/types.h"
#include "core/result.h"
#include "session/context.h"

// RELOAD, SAVE and RECOVER: the logic behind the three EEPROM buttons of the window.
// A failed driver call of theirs is refused as core::Kind::Card with its status, its report
// followed by what the driver adds (card::Driver::failureDetail).
namespace caldata {

// The two words SAVE writes for a reference box, given the words the last RELOAD read for it
// and the text RELOAD made of them (referenceText). A box that still shows exactly that text
// keeps the words read (the seven digits shown cannot always rebuild the pattern they came
// from); any other text is converted by the reference rule. Either way the text must be a
// plausible reference (plausibleReference), else it is refused naming the box, the text and
// the accepted range. The words are given sign-extended, whatever the form of the slots read.
core::Result<ReferenceWords> savedReferenceWords(Field f, const std::string& text,
                                                 const std::string& reloadedText,
                                                 std::int32_t upperRead, std::int32_t lowerRead);

// The image SAVE writes: slots 0..127 of base with the calibration words replaced by the
// values of the thirty boxes, slot 128 zero. Every box is converted before anything else;
// the first box that cannot be converted gives the refusal message naming the box, its text
// and what is wrong, and no image. The references go through savedReferenceWords.
core::Result<card::EepImage> buildSaveImage(const card::EepImage& base,
                                            const CalibrationTable& table);

// The thirty boxes as RELOAD fills them from image, the output boxes' change handling held
// back (state.bLoading).
void fillTable(session::FormState& state, const card::EepImage& image, CalibrationTable& table);

// RELOAD: reads the EEPROM of the board in "Active Board" and fills the thirty boxes from it
// with the output boxes' change handling held back (state.bLoading), takes the board's card
// information as ActiveCardInfo and records the board in state.loadedBoard.
// Succeeds when the table now shows the card (the window then arms SAVE and RECOVER and
// disables RELOAD). Refuses a bad board text before any driver call. A failed read is
// refused naming the board and "Error Code=<status>" and changes nothing but wErrCode: the
// boxes, dwEEPData, ActiveCardInfo and loadedBoard keep what they held.
core::Status Reload(session::Context& ctx, CalibrationTable& table);

// SAVE: converts all thirty boxes, checks that "Active Board" still names the board the
// table was loaded from, asks the confirmation and writes the image of the last RELOAD with
// the calibration words replaced, in one Drvx_WriteEEP call. Any refusal shows one message
// and writes nothing; Cancel does nothing. A failed write is refused naming the board and
// "Error Code=...". A write the driver reports done is read back (Drvx_ReadEEP into a
// scratch image) and words 0..127 compared in their low 16 bits; a difference or a failed
// read-back is refused with the words or the code and RECOVER's remedy. Changes no box and
// not dwEEPData; dwEEPSave holds the image written.
enum class Saved { Written, Cancelled };
core::Result<Saved> Save(session::Context& ctx, const CalibrationTable& table);

// RECOVER: asks the driver to restore the board's EEPROM from its backup, without a
// question; a failure is refused as "Error Code=<status>". Changes no box.
core::Status Recover(session::Context& ctx);

} // namespace caldata
