#include "manual/output_trim.h"

#include "caldata/conversions.h"
#include "caldata/messages.h"
#include "card/facts.h"
#include "session/board.h"

#include <cstddef>
#include <cstdint>

namespace manual {

namespace {

bool isOutputBox(caldata::Field box) {
    return caldata::isOutput(box) && box.index >= 0 && box.index < caldata::kOutputBoxes;
}

// Configures the row's output and drives it with the code, the code sign-extended.
void drive(session::Context& ctx, card::Int16 board, const OutputRow& row, std::int16_t code) {
    ctx.state.wErrCode = ctx.driver.Drvx_ConfigAO(board, row.channel, row.range);
    ctx.state.wErrCode =
        ctx.driver.Drvx_WriteAOVoltageH(board, row.channel, static_cast<card::Long>(code));
}

} // namespace

OutputRow outputRow(const session::FormState& state, int k) {
    const card::OutputBoxFacts& b = card::kOutputBoxes[static_cast<std::size_t>(k)];
    return {static_cast<card::Int16>(b.channel), state.wAORange[static_cast<std::size_t>(b.range)]};
}

core::Status step(session::Context& ctx, caldata::CalibrationTable& table, caldata::Field box,
                  int delta) {
    if (!isOutputBox(box)) {
        return {};
    }
    const auto board = session::activeBoard(ctx);
    if (!board) {
        return core::refuse(board.refusal());
    }
    const std::string text = table.text(box);
    const auto code = caldata::parseCode(text);
    if (!code) {
        return core::refuse(caldata::textRefusal(box, text, code.refusal()));
    }
    const OutputRow row = outputRow(ctx.state, box.index);
    ctx.state.wErrCode = ctx.driver.Drvx_ConfigAO(*board, row.channel, row.range);

    const auto stepped = static_cast<std::int16_t>(
        static_cast<std::uint16_t>(static_cast<std::uint16_t>(*code) + delta));
    table.setText(box, caldata::hexText16(stepped)); // runs the box's change handling
    ctx.state.valuesSource = {};                     // the values are now trimmed by hand

    // The board and the code are taken afresh after the change handling.
    const auto boardNow = session::activeBoard(ctx);
    if (!boardNow) {
        return core::refuse(boardNow.refusal());
    }
    const std::string newText = table.text(box);
    const auto codeNow = caldata::parseCode(newText);
    if (!codeNow) {
        return core::refuse(caldata::textRefusal(box, newText, codeNow.refusal()));
    }
    ctx.state.wErrCode =
        ctx.driver.Drvx_WriteAOVoltageH(*boardNow, row.channel, static_cast<card::Long>(*codeNow));
    return {};
}

void outputChanged(session::Context& ctx, caldata::CalibrationTable& table, caldata::Field box) {
    if (ctx.state.bLoading || !isOutputBox(box)) {
        return;
    }
    const auto code = caldata::parseCode(table.text(box));
    if (!code) {
        return;
    }
    const auto board = session::parseBoardNumber(ctx.activeBoardText());
    if (!board) {
        return;
    }
    drive(ctx, *board, outputRow(ctx.state, box.index), *code);
}

} // namespace manual
