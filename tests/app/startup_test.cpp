#include "app_harness.h"

#include "session/board.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>

namespace {

using namespace app_testing;
using testing::_;
using testing::DoAll;
using testing::Eq;
using testing::InSequence;
using testing::Invoke;
using testing::Return;
using testing::SetArgReferee;

constexpr card::Int16 kGetInfoFailure = 0x21;

// Expects the opening call and a search that reports `boards` cards.
void expectOpenAndSearch(MockDriver& driver, card::Int16 boards) {
    EXPECT_CALL(driver, Drvx_DriverInit(_)).WillOnce(DoAll(SetArgReferee<0>(7), Return(0)));
    EXPECT_CALL(driver, Drvx_SearchCard(_, Eq(card::kCardId)))
        .WillOnce(DoAll(SetArgReferee<0>(boards), Return(0)));
}

// Expects the record call for one board; the records get a register base of its own.
void expectCardInfo(MockDriver& driver, card::Int16 board, card::Int16 status = 0) {
    EXPECT_CALL(driver, Drvx_GetCardInfo(Eq(board), _, _, _))
        .WillOnce(Invoke([board, status](card::Int16, card::InfoRecord& info,
                                         card::ConfigRecord& config, card::ModelName& model) {
            info.setMemBase(0xFEB00000u + 0x1000u * static_cast<std::uint32_t>(board));
            config.bytes[0] = static_cast<std::uint8_t>(board + 1);
            model[0] = 'M';
            return status;
        }));
}

void expectNothingLoaded(const app::Form1& f) {
    EXPECT_TRUE(app::testProbe(f).ui.cmdReadEEP->isEnabled());
    EXPECT_FALSE(app::testProbe(f).ui.cmdWriteEEP->isEnabled());
    EXPECT_FALSE(app::testProbe(f).ui.cmdRecover->isEnabled());
    EXPECT_EQ(app::testProbe(f).ui.tbxBiAOMax[0]->text(), "0");
    EXPECT_EQ(app::testProbe(f).ui.tbxAIMaxVal[0]->text(), "7FFF");
    EXPECT_EQ(app::testProbe(f).ui.tbx10VRef->text(), "10.0");
}

void expectAllStepsOpen(const app::Form1& f) {
    EXPECT_TRUE(app::testProbe(f).ui.framRef->isEnabled());
    for (auto* fr : app::testProbe(f).ui.framAO) {
        EXPECT_TRUE(fr->isEnabled());
    }
    for (auto* fr : app::testProbe(f).ui.framAI) {
        EXPECT_TRUE(fr->isEnabled());
    }
    EXPECT_FALSE(app::testProbe(f).ui.framNOTE->isHidden());
    EXPECT_TRUE(app::testProbe(f).ui.cmdNext->isHidden());
    EXPECT_TRUE(app::testProbe(f).ui.cmdPrevious->isHidden());
}

TEST(StartUp, NoCardShowsZeroLoadsNothingAndOpensAllSteps) {
    Harness h;
    {
        InSequence order;
        EXPECT_CALL(h.driver, Drvx_DriverInit(_)).WillOnce(Invoke([&h](card::Int16& boards) {
            // The sample count is set before the library is opened.
            EXPECT_EQ(app::testProbe(*h.form).state.dwAvgCount, 1000);
            boards = 3;
            return card::Int16{0};
        }));
        EXPECT_CALL(h.driver, Drvx_SearchCard(_, Eq(card::kCardId)))
            .WillOnce(DoAll(SetArgReferee<0>(0), Return(0)));
    }
    h.form->Form_Load();

    auto& f = *h.form;
    EXPECT_EQ(app::testProbe(f).ui.tbxTotal->text(), "0");
    EXPECT_EQ(app::testProbe(f).ui.tbxActive->text(), "0");
    EXPECT_EQ(app::testProbe(f).state.wDriverBoards, 3);
    EXPECT_EQ(app::testProbe(f).state.wErrCode, 0);
    EXPECT_EQ(app::testProbe(f).state.wAORange, (std::array<card::Int16, 4>{0, 2, 1, 3}));
    EXPECT_TRUE(h.prompts.messages.empty());
    expectNothingLoaded(f);
    expectAllStepsOpen(f);
}

TEST(StartUp, FailedSearchLeavesTheCountAtZero) {
    Harness h;
    {
        InSequence order;
        EXPECT_CALL(h.driver, Drvx_DriverInit(_)).WillOnce(Return(0));
        // The library reports an error and leaves the counter as it was.
        EXPECT_CALL(h.driver, Drvx_SearchCard(_, _)).WillOnce(Return(0x55));
    }
    h.form->Form_Load();
    EXPECT_EQ(app::testProbe(*h.form).ui.tbxTotal->text(), "0");
    EXPECT_EQ(app::testProbe(*h.form).state.wErrCode, 0x55);
    EXPECT_TRUE(h.prompts.messages.empty());
}

TEST(StartUp, TwoCardsAreRecordedButNothingIsLoaded) {
    Harness h;
    {
        InSequence order;
        expectOpenAndSearch(h.driver, 2);
        expectCardInfo(h.driver, 0);
        expectCardInfo(h.driver, 1);
    }
    h.form->Form_Load();

    auto& f = *h.form;
    EXPECT_EQ(app::testProbe(f).ui.tbxTotal->text(), "2");
    EXPECT_EQ(app::testProbe(f).ui.tbxActive->text(), "0");
    EXPECT_EQ(app::testProbe(f).state.CardInfo[0].dwMemBase(), 0xFEB00000u);
    EXPECT_EQ(app::testProbe(f).state.CardInfo[1].dwMemBase(), 0xFEB01000u);
    EXPECT_EQ(app::testProbe(f).state.CardConfig[1].bytes[0], 2);
    EXPECT_EQ(app::testProbe(f).state.CardInfo[2], card::InfoRecord{});
    // RELOAD copies the active record; start-up does not.
    EXPECT_EQ(app::testProbe(f).state.ActiveCardInfo, card::InfoRecord{});
    expectNothingLoaded(f);
    expectAllStepsOpen(f);
}

TEST(StartUp, MoreCardsThanTheTablesHoldAreCountedButOnlyThirtyTwoRecorded) {
    Harness h;
    {
        InSequence order;
        expectOpenAndSearch(h.driver, 33);
        for (card::Int16 b = 0; b < card::kMaxBoards; ++b) {
            expectCardInfo(h.driver, b);
        }
    }
    h.form->Form_Load();
    EXPECT_EQ(app::testProbe(*h.form).ui.tbxTotal->text(), "33");
    EXPECT_EQ(app::testProbe(*h.form).state.CardInfo[31].dwMemBase(), 0xFEB00000u + 31u * 0x1000u);
    expectNothingLoaded(*h.form);
}

TEST(StartUp, FailingCardInformationIsReportedPerBoardAndStartUpGoesOn) {
    Harness h;
    {
        InSequence order;
        expectOpenAndSearch(h.driver, 3);
        expectCardInfo(h.driver, 0, kGetInfoFailure);
        expectCardInfo(h.driver, 1);
        expectCardInfo(h.driver, 2, kGetInfoFailure);
    }
    h.form->Form_Load();
    EXPECT_EQ(h.prompts.messages,
              (std::vector<std::string>{"Get Card Information Err", "Get Card Information Err"}));
    EXPECT_EQ(app::testProbe(*h.form).ui.tbxTotal->text(), "3");
    EXPECT_EQ(app::testProbe(*h.form).state.wErrCode, kGetInfoFailure);
    // The failing board keeps what the library left in its records.
    EXPECT_EQ(app::testProbe(*h.form).state.CardInfo[0].dwMemBase(), 0xFEB00000u);
    expectAllStepsOpen(*h.form);
}

TEST(StartUp, OneCardBecomesTheActiveBoardAndIsLoadedAtOnce) {
    Harness h;
    app::testProbe(*h.form).ui.tbxActive->setText("5");
    {
        InSequence order;
        expectOpenAndSearch(h.driver, 1);
        expectCardInfo(h.driver, 0);
        EXPECT_CALL(h.driver, Drvx_ReadEEP(Eq(0), _))
            .WillOnce(Invoke([](card::Int16, card::EepImage& data) {
                data[8] = 0x7FF0;  // tbxBiAOMax 0
                data[9] = 0x0010;  // tbxBiAOMin 0
                data[5] = 0x4120;  // 10 V reference: 10.0
                data[48] = 0x7F00; // tbxAIMaxVal 0
                return card::Int16{0};
            }));
    }
    h.form->Form_Load();
    auto& f = *h.form;
    EXPECT_EQ(app::testProbe(f).ui.tbxTotal->text(), "1");
    EXPECT_EQ(app::testProbe(f).ui.tbxActive->text(), "0");
    EXPECT_EQ(app::testProbe(f).ui.tbxBiAOMax[0]->text(), "7FF0");
    EXPECT_EQ(app::testProbe(f).ui.tbxBiAOMin[0]->text(), "10");
    EXPECT_EQ(app::testProbe(f).ui.tbx10VRef->text(), "10");
    EXPECT_EQ(app::testProbe(f).ui.tbxAIMaxVal[0]->text(), "7F00");
    EXPECT_EQ(app::testProbe(f).state.ActiveCardInfo.dwMemBase(), 0xFEB00000u);
    EXPECT_FALSE(app::testProbe(f).ui.cmdReadEEP->isEnabled());
    EXPECT_TRUE(app::testProbe(f).ui.cmdWriteEEP->isEnabled());
    EXPECT_TRUE(app::testProbe(f).ui.cmdRecover->isEnabled());
    // The range table is filled after the load; the load drove no output.
    EXPECT_EQ(app::testProbe(f).state.wAORange, (std::array<card::Int16, 4>{0, 2, 1, 3}));
    EXPECT_FALSE(app::testProbe(f).state.bLoading);
    EXPECT_TRUE(h.prompts.messages.empty());
    expectAllStepsOpen(f);
}

TEST(StartUp, WithTwoCardsTheTechnicianChoosesAndReloads) {
    Harness h;
    {
        InSequence order;
        expectOpenAndSearch(h.driver, 2);
        expectCardInfo(h.driver, 0);
        expectCardInfo(h.driver, 1);
        EXPECT_CALL(h.driver, Drvx_ReadEEP(Eq(1), _)).WillOnce(Return(0));
    }
    h.form->Form_Load();
    app::testProbe(*h.form).ui.tbxActive->setText("1");
    app::testProbe(*h.form).ui.cmdReadEEP->click();
    EXPECT_EQ(app::testProbe(*h.form).state.ActiveCardInfo.dwMemBase(), 0xFEB01000u);
    EXPECT_TRUE(app::testProbe(*h.form).ui.cmdWriteEEP->isEnabled());
    EXPECT_FALSE(app::testProbe(*h.form).ui.cmdReadEEP->isEnabled());

    // RELOAD of the same board again takes a movement of the scroll bar first.
    app::testProbe(*h.form).ui.VScroll2->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_TRUE(app::testProbe(*h.form).ui.cmdReadEEP->isEnabled());
    EXPECT_FALSE(app::testProbe(*h.form).ui.cmdWriteEEP->isEnabled());
}

TEST(BoardSelection, ReloadRefusesABadBoardNumberBeforeAnyDriverCall) {
    Harness h; // the strict mock fails on any driver call
    for (const char* bad : {"32", "abc", ""}) {
        h.prompts.messages.clear();
        app::testProbe(*h.form).ui.tbxActive->setText(bad);
        app::testProbe(*h.form).ui.cmdReadEEP->click();
        ASSERT_EQ(h.prompts.messages.size(), 1u);
        EXPECT_NE(h.prompts.messages[0].find("Active Board"), std::string::npos);
        EXPECT_TRUE(app::testProbe(*h.form).ui.cmdReadEEP->isEnabled());
        EXPECT_FALSE(app::testProbe(*h.form).ui.cmdWriteEEP->isEnabled());
        EXPECT_EQ(app::testProbe(*h.form).ui.tbxBiAOMax[0]->text(), "0");
    }
}

TEST(BoardSelection, ActiveBoardIsReadAfreshAndBadTextIsRefusedWithoutADriverCall) {
    Harness h; // the strict mock fails on any driver call
    session::Context ctx = app::testProbe(*h.form).context();
    app::testProbe(*h.form).ui.tbxActive->setText(" 7 ");
    EXPECT_EQ(session::activeBoard(ctx).optional(), card::Int16{7});
    for (const char* bad : {"32", "-1", "", "1.5", "x", "0x1", "99999999999"}) {
        h.prompts.messages.clear();
        app::testProbe(*h.form).ui.tbxActive->setText(bad);
        const auto board = session::activeBoard(ctx);
        EXPECT_EQ(board.optional(), std::nullopt) << bad;
        EXPECT_NE(board.refusal().find("Active Board"), std::string::npos);
        EXPECT_NE(board.refusal().find(std::string("\"") + bad + "\""), std::string::npos);
        EXPECT_EQ(app::testProbe(*h.form).ui.tbxActive->text(), bad);
    }
}

TEST(BoardSelection, MovingTheScrollBarReArmsReloadAndAnUpStepAtTheTopChangesNothing) {
    Harness h;
    auto& f = *h.form;
    EXPECT_EQ(app::testProbe(f).ui.VScroll2->minimum(), 0);
    EXPECT_EQ(app::testProbe(f).ui.VScroll2->maximum(), 32767);
    EXPECT_EQ(app::testProbe(f).ui.VScroll2->value(), 0);

    // The state a RELOAD leaves.
    app::testProbe(f).ui.cmdReadEEP->setEnabled(false);
    app::testProbe(f).ui.cmdWriteEEP->setEnabled(true);
    app::testProbe(f).ui.cmdRecover->setEnabled(true);

    app::testProbe(f).ui.VScroll2->triggerAction(
        QAbstractSlider::SliderSingleStepSub); // up arrow at 0
    EXPECT_EQ(app::testProbe(f).ui.VScroll2->value(), 0);
    EXPECT_FALSE(app::testProbe(f).ui.cmdReadEEP->isEnabled());
    EXPECT_TRUE(app::testProbe(f).ui.cmdWriteEEP->isEnabled());
    EXPECT_TRUE(app::testProbe(f).ui.cmdRecover->isEnabled());

    app::testProbe(f).ui.VScroll2->triggerAction(
        QAbstractSlider::SliderSingleStepAdd); // down arrow
    EXPECT_EQ(app::testProbe(f).ui.VScroll2->value(), 1);
    EXPECT_TRUE(app::testProbe(f).ui.cmdReadEEP->isEnabled());
    EXPECT_FALSE(app::testProbe(f).ui.cmdWriteEEP->isEnabled());
    EXPECT_FALSE(app::testProbe(f).ui.cmdRecover->isEnabled());
    EXPECT_EQ(app::testProbe(f).ui.tbxActive->text(), "0");

    // Back up again: a movement as well.
    app::testProbe(f).ui.cmdWriteEEP->setEnabled(true);
    app::testProbe(f).ui.VScroll2->triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(app::testProbe(f).ui.VScroll2->value(), 0);
    EXPECT_FALSE(app::testProbe(f).ui.cmdWriteEEP->isEnabled());
}

TEST(BoardSelection, ScrollBarDuringAnAutomaticRunDisarmsSaveButLeavesReloadDisabled) {
    Harness h;
    auto& f = *h.form;
    app::testProbe(f).ui.cmdReadEEP->setEnabled(false);
    app::testProbe(f).ui.cmdWriteEEP->setEnabled(true);
    app::testProbe(f).ui.cmdRecover->setEnabled(true);
    const auto run = app::testProbe(f).autoCalRun.begin();
    app::testProbe(f).ui.VScroll2->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_FALSE(app::testProbe(f).ui.cmdReadEEP->isEnabled());
    EXPECT_FALSE(app::testProbe(f).ui.cmdWriteEEP->isEnabled());
    EXPECT_FALSE(app::testProbe(f).ui.cmdRecover->isEnabled());
    autocal::RunControl::end(run);
    app::testProbe(f).ui.VScroll2->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_TRUE(app::testProbe(f).ui.cmdReadEEP->isEnabled());
}

TEST(Exit, ClosesTheDriverThenEndsTheProgram) {
    Harness h;
    std::vector<std::string> log;
    EXPECT_CALL(h.driver, Drvx_DriverClose()).WillOnce(Invoke([&] {
        log.push_back("close");
        EXPECT_EQ(h.endCalls, 0);
        return card::Int16{0x13};
    }));
    app::testProbe(*h.form).ui.cmdExit->click();
    EXPECT_EQ(log, std::vector<std::string>{"close"});
    EXPECT_EQ(h.endCalls, 1);
    EXPECT_EQ(app::testProbe(*h.form).state.wErrCode, 0x13);
}

TEST(Exit, ClosingTheWindowEndsTheProgramWithoutClosingTheDriver) {
    Harness h; // the strict mock fails on Drvx_DriverClose
    h.form->show();
    h.form->close();
    EXPECT_EQ(h.endCalls, 1);
}

} // namespace
