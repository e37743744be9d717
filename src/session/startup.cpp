#include "session/startup.h"

#include "card/facts.h"

#include <algorithm>

namespace session {

Int16 FoundCards::statusOf(Int16 board) const {
    for (std::size_t i = 0; i < infoFailed.size(); ++i) {
        if (infoFailed[i] == board) {
            return infoStatus[i];
        }
    }
    return 0;
}

FoundCards findCards(Context& ctx) {
    FormState& state = ctx.state;
    card::Driver& driver = ctx.driver;
    state.dwAvgCount = 1000;
    state.wErrCode = driver.Drvx_DriverInit(state.wDriverBoards);

    FoundCards found;
    state.wErrCode = driver.Drvx_SearchCard(found.boards, card::kCardId);

    // The record tables hold boards 0 to 31; a larger count is reported but further boards
    // get no records.
    const int recorded = std::min<int>(found.boards, card::kMaxBoards);
    card::ModelName modelName{};
    for (int b = 0; b < recorded; ++b) {
        const auto i = static_cast<std::size_t>(b);
        state.wErrCode = driver.Drvx_GetCardInfo(static_cast<Int16>(b), state.CardInfo[i],
                                                 state.CardConfig[i], modelName);
        if (state.wErrCode != 0) {
            found.infoFailed.push_back(static_cast<Int16>(b));
            found.infoStatus.push_back(state.wErrCode);
        }
    }
    for (std::size_t r = 0; r < state.wAORange.size(); ++r) {
        state.wAORange[r] = card::kOutputRanges[r].rangeCode;
    }
    return found;
}

} // namespace session
