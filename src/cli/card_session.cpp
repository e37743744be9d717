#include "cli/card_session.h"

#include "manual/output_trim.h"

namespace cli {

CardSession::CardSession(Services& services, platform::EventPump& pump, platform::Prompts& prompts,
                         card::Int16 board)
    : ctx{services.driver, services.clock, pump,
          prompts,         state,          [board] { return std::to_string(board); },
          services.journal},
      acquisition(session::acquisitionPorts(ctx)), board_(board) {
    table.onChange = [this](caldata::Field f) { manual::outputChanged(ctx, table, f); };
}

} // namespace cli
