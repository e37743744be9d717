#include "caldata/eeprom_ops.h"

#include "caldata/messages.h"
#include "caldata/word_map.h"
#include "core/text.h"
#include "session/board.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace caldata {

namespace {

std::size_t slot(int word) {
    return static_cast<std::size_t>(word);
}

// Words 0..127 of what was written that the card does not hold, in their low 16 bits.
std::vector<WordDifference> differences(const card::EepImage& written,
                                        const card::EepImage& readBack) {
    std::vector<WordDifference> out;
    for (std::size_t i = 0; i < card::kEepromWords; ++i) {
        const auto w = static_cast<std::uint16_t>(static_cast<std::uint32_t>(written[i]));
        const auto r = static_cast<std::uint16_t>(static_cast<std::uint32_t>(readBack[i]));
        if (w != r) {
            out.push_back({static_cast<int>(i), w, r});
        }
    }
    return out;
}

// The refusal of a failed driver call: its report, and what the driver can say beyond the
// status (why the simulated card's file could not keep a write).
core::Refusal cardFailure(const session::Context& ctx, const std::string& report,
                          std::int16_t status) {
    const std::string detail = ctx.driver.failureDetail();
    return core::refuse(core::Kind::Card, detail.empty() ? report : report + " " + detail, status);
}

} // namespace

core::Result<ReferenceWords> savedReferenceWords(Field f, const std::string& text,
                                                 const std::string& reloadedText,
                                                 std::int32_t upperRead, std::int32_t lowerRead) {
    if (text == reloadedText) {
        // A value read within the range shows as a text within it (rounding to seven digits
        // cannot cross the ends, which have fewer); only other values need the text checked.
        const auto pattern =
            static_cast<std::int32_t>((static_cast<std::uint32_t>(upperRead) << 16) |
                                      (static_cast<std::uint32_t>(lowerRead) & 0xFFFFu));
        if (!plausibleRange(f).contains(Long2Float(pattern))) {
            if (const core::Result<float> v = plausibleReference(f, text); !v) {
                return core::refuse(v.refusal());
            }
        }
        auto word = [](std::int32_t slot) -> std::int32_t {
            return static_cast<std::int16_t>(static_cast<std::uint16_t>(slot & 0xFFFF));
        };
        return ReferenceWords{word(lowerRead), word(upperRead)};
    }
    const core::Result<float> v = plausibleReference(f, text);
    if (!v) {
        return core::refuse(v.refusal());
    }
    return referenceWords(*v);
}

core::Result<card::EepImage> buildSaveImage(const card::EepImage& base,
                                            const CalibrationTable& table) {
    card::EepImage image{};
    for (std::size_t i = 0; i < card::kEepromWords; ++i) {
        image[i] = base[i];
    }
    for (const BoxWords& b : kWordMap) {
        const std::string text = table.text(b.field);
        if (b.form == WordForm::Reference) {
            const std::int32_t upper = base[slot(b.upperWord)];
            const std::int32_t lower = base[slot(b.word)];
            const core::Result<ReferenceWords> words =
                savedReferenceWords(b.field, text, referenceText(upper, lower), upper, lower);
            if (!words) {
                return core::refuse(words.refusal());
            }
            image[slot(b.word)] = words->lower;
            image[slot(b.upperWord)] = words->upper;
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

void fillTable(session::FormState& state, const card::EepImage& image, CalibrationTable& table) {
    // Holds back the output boxes' change handling while the boxes are written.
    core::ScopedFlag loading(state.bLoading);
    for (const BoxWords& b : kReloadOrder) {
        if (b.form == WordForm::Reference) {
            table.setText(b.field, referenceText(image[slot(b.upperWord)], image[slot(b.word)]));
        } else {
            table.setText(b.field, hexText32(image[slot(b.word)]));
        }
    }
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
        return cardFailure(ctx,
                           failedCallText("RELOAD", "reading the EEPROM", *board, state.wErrCode),
                           state.wErrCode);
    }

    state.ActiveCardInfo = state.CardInfo[static_cast<std::size_t>(*board)];
    state.dwEEPData = scratch;
    fillTable(state, scratch, table);
    state.loadedBoard = *board;
    state.valuesSource = {}; // what the card holds, for the technician to trim
    return {};
}

namespace {

// Opens the record of a change before the card is asked to change: refused, nothing may
// reach the card. No journal: nothing to record.
core::Result<std::optional<std::string>> beginChange(session::Context& ctx,
                                                     const session::ChangeStart& change,
                                                     const std::string& operation) {
    if (ctx.journal == nullptr) {
        return std::optional<std::string>{};
    }
    core::Result<std::string> id = ctx.journal->begin(change);
    if (!id) {
        return core::refuse(core::Kind::History, operation + " was refused: " + id.refusal() +
                                                     " Nothing was written to the card.");
    }
    return std::optional<std::string>{*id};
}

// Closes the record with how the change ended, and gives that ending back: a failure of the
// card as it was, a success that could not be recorded as a failure of the record.
core::Status endChange(session::Context& ctx, const std::optional<std::string>& id,
                       core::Status outcome, std::optional<card::EepImage> after,
                       const std::string& operation) {
    if (!id) {
        return outcome;
    }
    session::ChangeEnd ending;
    ending.written = static_cast<bool>(outcome);
    if (!outcome) {
        ending.status = outcome.failure().status;
        ending.message = outcome.refusal();
    }
    ending.after = std::move(after);
    if (const core::Status recorded = ctx.journal->end(*id, ending); !recorded && outcome) {
        return core::refuse(core::Kind::History,
                            operation + " changed the EEPROM, but " + recorded.refusal());
    }
    return outcome;
}

} // namespace

core::Result<Saved> Save(session::Context& ctx, const CalibrationTable& table) {
    session::FormState& state = ctx.state;
    const core::Result<card::EepImage> image = buildSaveImage(state.dwEEPData, table);
    if (!image) {
        return core::refuse(image.refusal() + " Nothing was saved.");
    }
    // The image is that of the board the table was read from, and only that board takes it.
    const auto board = session::loadedActiveBoard(ctx);
    if (!board) {
        return core::refuse(board.refusal() + " Nothing was saved.");
    }
    if (!ctx.prompts.confirm("Save data will to change D/A and A/D data.", "SAVE EEPROM")) {
        return Saved::Cancelled;
    }
    // The board is held since the RELOAD that read dwEEPData: it is what the card holds.
    const auto recordId =
        beginChange(ctx, session::ChangeStart{*board, state.dwEEPData, state.valuesSource}, "SAVE");
    if (!recordId) {
        return recordId.failure();
    }
    auto ended = [&](core::Status outcome,
                     std::optional<card::EepImage> after) -> core::Result<Saved> {
        const core::Status s =
            endChange(ctx, *recordId, std::move(outcome), std::move(after), "SAVE");
        if (!s) {
            return s.failure();
        }
        return Saved::Written;
    };
    state.dwEEPSave = *image;
    state.wErrCode = ctx.driver.Drvx_WriteEEP(*board, state.dwEEPSave);
    if (state.wErrCode != 0) {
        return ended(
            cardFailure(ctx, failedCallText("SAVE", "writing the EEPROM", *board, state.wErrCode),
                        state.wErrCode),
            std::nullopt);
    }
    // A driver that reports success does not prove the card kept the words: check them.
    card::EepImage readBack{};
    state.wErrCode = ctx.driver.Drvx_ReadEEP(*board, readBack);
    if (state.wErrCode != 0) {
        return ended(cardFailure(ctx, unreadableWriteText(*board, state.wErrCode), state.wErrCode),
                     std::nullopt);
    }
    if (const auto diff = differences(state.dwEEPSave, readBack); !diff.empty()) {
        return ended(core::refuse(core::Kind::Card, unverifiedWriteText(*board, diff)), readBack);
    }
    return ended({}, readBack);
}

core::Status Recover(session::Context& ctx) {
    const auto board = session::activeBoard(ctx);
    if (!board) {
        return core::refuse(board.refusal());
    }
    // The record names what the card held before, when it can be read.
    std::optional<card::EepImage> before;
    std::optional<std::string> recordId;
    if (ctx.journal != nullptr) {
        card::EepImage image{};
        if (ctx.driver.Drvx_ReadEEP(*board, image) == 0) {
            before = image;
        }
        session::ValuesSource source;
        source.kind = session::ValuesSource::Kind::Recover;
        const auto id = beginChange(ctx, session::ChangeStart{*board, before, source}, "RECOVER");
        if (!id) {
            return id.failure();
        }
        recordId = *id;
    }
    ctx.state.wErrCode = ctx.driver.Drvx_RecoverEEP(*board);
    if (ctx.state.wErrCode != 0) {
        return endChange(ctx, recordId,
                         cardFailure(ctx, errorCodeText(ctx.state.wErrCode), ctx.state.wErrCode),
                         std::nullopt, "RECOVER");
    }
    std::optional<card::EepImage> after;
    if (recordId) {
        card::EepImage image{};
        if (ctx.driver.Drvx_ReadEEP(*board, image) == 0) {
            after = image;
        }
    }
    return endChange(ctx, recordId, {}, after, "RECOVER");
}

} // namespace caldata
