#include "caldata/eeprom_ops.h"

#include "caldata/messages.h"
#include "caldata/word_map.h"
#include "card/board.h"
#include "card/text.h"

#include <cstddef>

namespace caldata {

namespace {

std::size_t slot(int word) {
    return static_cast<std::size_t>(word);
}

} // namespace

Parsed<card::EepImage> buildSaveImage(const card::EepImage& base, const CalibrationTable& table) {
    card::EepImage image{};
    for (std::size_t i = 0; i < card::kEepromWords; ++i) {
        image[i] = base[i];
    }
    for (std::size_t index : kSaveOrder) {
        const BoxWords& b = kWordMap[index];
        const std::string text = table.text(b.field);
        if (b.form == WordForm::Reference) {
            const Parsed<float> v = parseReference(text);
            if (!v) {
                return {std::nullopt, textRefusal(b.field, text, v.problem)};
            }
            const ReferenceWords words = referenceWords(*v.value);
            image[slot(b.word)] = words.lower;
            image[slot(b.upperWord)] = words.upper;
        } else {
            const Parsed<std::int16_t> v = parseCode(text);
            if (!v) {
                return {std::nullopt, textRefusal(b.field, text, v.problem)};
            }
            image[slot(b.word)] = *v.value; // sign-extended
        }
    }
    return {image, {}};
}

bool Reload(card::Context& ctx, CalibrationTable& table) {
    const auto board = card::activeBoard(ctx);
    if (!board) {
        return false;
    }
    card::FormState& state = ctx.state;

    // Read into a scratch copy so that a failed read leaves the shown table's image alone.
    card::EepImage scratch = state.dwEEPData;
    state.wErrCode = ctx.driver.Drvx_ReadEEP(*board, scratch);
    if (state.wErrCode != 0) {
        ctx.prompts.message(errorCodeText(state.wErrCode));
        return false;
    }

    state.ActiveCardInfo = state.CardInfo[static_cast<std::size_t>(*board)];
    state.dwEEPData = scratch;
    {
        // Holds back the output boxes' change handling while the boxes are written.
        card::ScopedFlag loading(state.bLoading);
        for (std::size_t index : kReloadOrder) {
            const BoxWords& b = kWordMap[index];
            if (b.form == WordForm::Reference) {
                table.setText(b.field, referenceText(state.dwEEPData[slot(b.upperWord)],
                                                     state.dwEEPData[slot(b.word)]));
            } else {
                table.setText(b.field, hexText32(state.dwEEPData[slot(b.word)]));
            }
        }
    }
    state.loadedBoard = *board;
    return true;
}

void Save(card::Context& ctx, const CalibrationTable& table) {
    card::FormState& state = ctx.state;
    const Parsed<card::EepImage> image = buildSaveImage(state.dwEEPData, table);
    if (!image) {
        ctx.prompts.message(image.problem + " Nothing was saved.");
        return;
    }
    const auto board = card::activeBoard(ctx);
    if (!board) {
        return;
    }
    if (!state.loadedBoard) {
        ctx.prompts.message("No calibration has been read from a card yet: RELOAD first. "
                            "Nothing was saved.");
        return;
    }
    if (*board != *state.loadedBoard) {
        ctx.prompts.message("Active Board is " + std::to_string(*board) +
                            ", but the calibration shown was read from board " +
                            std::to_string(*state.loadedBoard) +
                            ". Nothing was saved. Select board " +
                            std::to_string(*state.loadedBoard) + " again, or RELOAD board " +
                            std::to_string(*board) + " first.");
        return;
    }
    if (!ctx.prompts.confirm("Save data will to change D/A and A/D data.", "SAVE EEPROM")) {
        return;
    }
    state.dwEEPSave = *image.value;
    state.wErrCode = ctx.driver.Drvx_WriteEEP(*board, state.dwEEPSave);
    if (state.wErrCode != 0) {
        ctx.prompts.message(errorCodeText(state.wErrCode));
    }
}

void Recover(card::Context& ctx) {
    const auto board = card::activeBoard(ctx);
    if (!board) {
        return;
    }
    ctx.state.wErrCode = ctx.driver.Drvx_RecoverEEP(*board);
    if (ctx.state.wErrCode != 0) {
        ctx.prompts.message(errorCodeText(ctx.state.wErrCode));
    }
}

} // namespace caldata
