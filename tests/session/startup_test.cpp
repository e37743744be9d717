// The start-up card search: each board whose card information failed keeps its own status.
#include "session/startup.h"
#include "support/fakes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using testing::_;
using testing::DoAll;
using testing::Return;
using testing::SetArgReferee;

TEST(FindCards, EachFailingBoardKeepsItsOwnStatus) {
    testing::NiceMock<testing_support::MockDriver> driver;
    ON_CALL(driver, Drvx_SearchCard(_, _)).WillByDefault(DoAll(SetArgReferee<0>(3), Return(0)));
    EXPECT_CALL(driver, Drvx_GetCardInfo(0, _, _, _)).WillOnce(Return(7));
    EXPECT_CALL(driver, Drvx_GetCardInfo(1, _, _, _)).WillOnce(Return(0));
    EXPECT_CALL(driver, Drvx_GetCardInfo(2, _, _, _)).WillOnce(Return(0));
    testing_support::Rig rig(driver);
    auto ctx = rig.context();
    const session::FoundCards found = session::findCards(ctx);
    EXPECT_EQ(found.statusOf(0), 7) << "not the status of the last board searched";
    EXPECT_EQ(found.statusOf(1), 0);
    EXPECT_EQ(rig.state.wErrCode, 0);
}

} // namespace
