#include "manual/input_readings.h"

#include "caldata/conversions.h"
#include "card/facts.h"
#include "session/board.h"

#include <array>

namespace manual {

namespace {

bool readRow(int j) {
    return j >= 0 && j < card::kReferenceRows;
}

const card::InputRangeFacts& row(int j) {
    return card::kInputRanges[static_cast<std::size_t>(j)];
}

core::Status readInto(session::Context& ctx, card::Acquisition& acquisition,
                      caldata::CalibrationTable& table, caldata::Field box, InputPoint point) {
    const auto board = session::activeBoard(ctx);
    if (!board) {
        return core::refuse(board.refusal());
    }
    card::Int16 wADVal = 0;
    const card::Int16 status =
        acquisition.MX4815_Get_AutoCal_Data(*board, point.wChannel, point.wGain, wADVal);
    ctx.state.wErrCode = status;
    // A time-out leaves the reading at 0, and the box shows it; a reading that was refused
    // before it started leaves the box as it is.
    if (status == 0 || status == card::kReadingTimedOut) {
        table.setText(box, caldata::hexText16(wADVal));
    }
    if (status != 0) {
        return core::refuse(core::Kind::Card, card::readingMessage(status), status);
    }
    return {};
}

} // namespace

std::optional<InputPoint> upperPoint(int j) {
    if (!readRow(j)) {
        return std::nullopt;
    }
    return InputPoint{card::code(row(j).upperSource), card::code(row(j).gain)};
}

std::optional<InputPoint> lowerPoint(int j) {
    if (!readRow(j)) {
        return std::nullopt;
    }
    return InputPoint{card::code(card::Source::ZeroVolts), card::code(row(j).gain)};
}

core::Status readMaxAI(session::Context& ctx, card::Acquisition& acquisition,
                       caldata::CalibrationTable& table, int j) {
    const auto point = upperPoint(j);
    return point ? readInto(ctx, acquisition, table, caldata::aiMax(j), *point) : core::Status{};
}

core::Status readMinAI(session::Context& ctx, card::Acquisition& acquisition,
                       caldata::CalibrationTable& table, int j) {
    const auto point = lowerPoint(j);
    return point ? readInto(ctx, acquisition, table, caldata::aiMin(j), *point) : core::Status{};
}

} // namespace manual
