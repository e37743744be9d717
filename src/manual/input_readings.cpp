#include "manual/input_readings.h"

#include "caldata/conversions.h"
#include "card/board.h"

#include <array>

namespace manual {

namespace {

constexpr int kReadRows = 3;
constexpr card::Int16 kZeroVolts = 4;
constexpr card::Int16 kRef10V = 3;
constexpr card::Int16 kRef5V = 2;
// Gain codes of 20.48V, 10.24V, 5.12V.
constexpr std::array<card::Int16, kReadRows> kRowGain = {7, 1, 2};
constexpr std::array<card::Int16, kReadRows> kRowReference = {kRef10V, kRef10V, kRef5V};

bool readRow(int j) {
    return j >= 0 && j < kReadRows;
}

card::Int16 readInto(card::Context& ctx, card::Acquisition& acquisition,
                     caldata::CalibrationTable& table, caldata::Field box, InputPoint point) {
    const auto board = card::activeBoard(ctx);
    if (!board) {
        return kReadingNoBoard;
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
    return status;
}

} // namespace

std::optional<InputPoint> upperPoint(int j) {
    if (!readRow(j)) {
        return std::nullopt;
    }
    const auto row = static_cast<std::size_t>(j);
    return InputPoint{kRowReference[row], kRowGain[row]};
}

std::optional<InputPoint> lowerPoint(int j) {
    if (!readRow(j)) {
        return std::nullopt;
    }
    return InputPoint{kZeroVolts, kRowGain[static_cast<std::size_t>(j)]};
}

card::Int16 readMaxAI(card::Context& ctx, card::Acquisition& acquisition,
                      caldata::CalibrationTable& table, int j) {
    const auto point = upperPoint(j);
    return point ? readInto(ctx, acquisition, table, caldata::aiMax(j), *point) : 0;
}

card::Int16 readMinAI(card::Context& ctx, card::Acquisition& acquisition,
                      caldata::CalibrationTable& table, int j) {
    const auto point = lowerPoint(j);
    return point ? readInto(ctx, acquisition, table, caldata::aiMin(j), *point) : 0;
}

} // namespace manual
