#include "caldata/eeprom_ops.h"

#include "caldata/messages.h"
#include "caldata/word_map.h"
#include "core/text.h"
#include "session/board.h"

#include <cstddef>

namespace caldata {

namespace {

std::size_t slot(int word) {
    return static_cast<std::size_t>(word);
}

} // namespace

core::Result<card::EepImage> buildSaveImage(const card::EepImage& base,
                                            const CalibrationTable& table) {
    card::EepImage image{};
    for (std::size_t i = 0; i < card::kEepromWords; ++i) {
        image[i] = base[i];
    }
    for (const BoxWords& b : kWordMap) {
        const std::string text = table.text(b.field);
        if (b.form == WordForm::Reference) {
            const core::Result<float> v = parseReference(text);
            if (!v) {
                return core::refuse(textRefusal(b.field, text, v.refusal()));
            }
            const ReferenceWords words = referenceWords(*v);
            image[slot(b.word)] = words.lower;
            image[slot(b.upperWord)] = words.upper;
        } else {
            const core::Result<std::int16_t> v = parseCode(text);
            if (!v) {
                return core::refuse(textRefusal(b.field, text, v.refusal()));
            }
            image[slot(b.word)] = *v; // sign-extended
        }
    }
    return image;
}

core::Status Reload(session::Context& ctx, CalibrationTable& table) {
    const auto board = session::activeBoard(ctx);
    if (!board) {
        return core::refuse(board.refusal());
    }
    session::FormState& state = ctx.state;

    // Read into a scratch copy so that a failed read leaves the shown table's image alone.
    card::EepImage scratch = state.dwEEPData;
    state.wErrCode = ctx.driver.Drvx_ReadEEP(*board, scratch);
    if (state.wErrCode != 0) {
        return core::refuse(errorCodeText(state.wErrCode));
    }

    state.ActiveCardInfo = state.CardInfo[static_cast<std::size_t>(*board)];
    state.dwEEPData = scratch;
    {
        // Holds back the output boxes' change handling while the boxes are written.
        core::ScopedFlag loading(state.bLoading);
        for (const BoxWords& b : kReloadOrder) {
            if (b.form == WordForm::Reference) {
                table.setText(b.field, referenceText(state.dwEEPData[slot(b.upperWord)],
                                                     state.dwEEPData[slot(b.word)]));
            } else {
                table.setText(b.field, hexText32(state.dwEEPData[slot(b.word)]));
            }
        }
    }
    state.loadedBoard = *board;
    return {};
}

core::Result<Saved> Save(session::Context& ctx, const CalibrationTable& table) {
    session::FormState& state = ctx.state;
    const core::Result<card::EepImage> image = buildSaveImage(state.dwEEPData, table);
    if (!image) {
        return core::refuse(image.refusal() + " Nothing was saved.");
    }
    const auto board = session::activeBoard(ctx);
    if (!board) {
        return core::refuse(board.refusal());
    }
    if (!state.loadedBoard) {
        return core::refuse("No calibration has been read from a card yet: RELOAD first. "
                            "Nothing was saved.");
    }
    if (*board != *state.loadedBoard) {
        return core::refuse("Active Board is " + std::to_string(*board) +
                            ", but the calibration shown was read from board " +
                            std::to_string(*state.loadedBoard) +
                            ". Nothing was saved. Select board " +
                            std::to_string(*state.loadedBoard) + " again, or RELOAD board " +
                            std::to_string(*board) + " first.");
    }
    if (!ctx.prompts.confirm("Save data will to change D/A and A/D data.", "SAVE EEPROM")) {
        return Saved::Cancelled;
    }
    state.dwEEPSave = *image;
    state.wErrCode = ctx.driver.Drvx_WriteEEP(*board, state.dwEEPSave);
    if (state.wErrCode != 0) {
        return core::refuse(errorCodeText(state.wErrCode));
    }
    return Saved::Written;
}

core::Status Recover(session::Context& ctx) {
    const auto board = session::activeBoard(ctx);
    if (!board) {
        return core::refuse(board.refusal());
    }
    ctx.state.wErrCode = ctx.driver.Drvx_RecoverEEP(*board);
    if (ctx.state.wErrCode != 0) {
        return core::refuse(errorCodeText(ctx.state.wErrCode));
    }
    return {};
}

} // namespace caldata
