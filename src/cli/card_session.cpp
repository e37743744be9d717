#include "cli/card_session.h"

#include "manual/output_trim.h"

namespace cli {

CliTable::CliTable() {
    outputs_.fill("0");
    for (int j = 0; j < caldata::kInputBoxes; ++j) {
        inputs_[static_cast<std::size_t>(2 * j)] = "7FFF";
        inputs_[static_cast<std::size_t>(2 * j + 1)] = "0";
    }
}

std::string& CliTable::slot(caldata::Field f) {
    const auto i = static_cast<std::size_t>(f.index);
    switch (f.box) {
    case caldata::Box::AOMax:
        return outputs_.at(2 * i);
    case caldata::Box::AOMin:
        return outputs_.at(2 * i + 1);
    case caldata::Box::AIMax:
        return inputs_.at(2 * i);
    case caldata::Box::AIMin:
        return inputs_.at(2 * i + 1);
    case caldata::Box::Ref10:
        return ref10_;
    case caldata::Box::Ref5:
        break;
    }
    return ref5_;
}

std::string CliTable::text(caldata::Field f) const {
    return const_cast<CliTable*>(this)->slot(f);
}

void CliTable::setText(caldata::Field f, const std::string& text) {
    std::string& s = slot(f);
    if (s == text) {
        return;
    }
    s = text;
    if (caldata::isOutput(f) && onChange) {
        onChange(f);
    }
}

CardSession::CardSession(Services& services, platform::EventPump& pump, platform::Prompts& prompts,
                         card::Int16 board)
    : ctx{services.driver, services.clock, pump,
          prompts,         state,          [board] { return std::to_string(board); }},
      acquisition(session::acquisitionPorts(ctx)), board_(board) {
    table.onChange = [this](caldata::Field f) { manual::outputChanged(ctx, table, f); };
}

} // namespace cli
