#include "app_harness.h"

#include <QLineEdit>
#include <QPushButton>

namespace {

using namespace app_testing;
using testing::_;
using testing::AnyNumber;
using testing::DoAll;
using testing::Return;
using testing::SetArgReferee;

constexpr std::uint32_t kBase = 0xFEB03000u;

// A window whose card answers every status read with a finished conversion of `code`.
struct ReadingWindow {
    explicit ReadingWindow(card::Long code) {
        EXPECT_CALL(h.driver, Drvx_WritePhyMemory(_, 32, _)).Times(AnyNumber());
        EXPECT_CALL(h.driver, Drvx_ReadPhyMemory(_, 32, _))
            .Times(AnyNumber())
            .WillRepeatedly(DoAll(SetArgReferee<2>(code), Return(0)));
        app::testProbe(*h.form).state.dwAvgCount = 10;
        app::testProbe(*h.form).state.ActiveCardInfo.setMemBase(kBase);
        app::testProbe(*h.form).ui.tbxActive->setText("0");
    }
    Harness h;
};

} // namespace

TEST(InputReadingButtons, StayHiddenAndWriteTheReadingIntoTheRow) {
    ReadingWindow w(0xFFFE);
    auto& ui = app::testProbe(*w.h.form).ui;
    for (std::size_t j = 0; j < ui.cmdReadMaxAI.size(); ++j) {
        EXPECT_TRUE(ui.cmdReadMaxAI[j]->isHidden());
        EXPECT_TRUE(ui.cmdReadMinAI[j]->isHidden());
    }
    w.h.form->cmdReadMaxAI_Click(1);
    w.h.form->cmdReadMinAI_Click(2);
    EXPECT_EQ(ui.tbxAIMaxVal[1]->text(), "FFFE");
    EXPECT_EQ(ui.tbxAIMinVal[2]->text(), "FFFE");
    EXPECT_EQ(app::testProbe(*w.h.form).state.wErrCode, 0);
    EXPECT_TRUE(w.h.prompts.messages.empty());
    EXPECT_EQ(w.h.clock.sleeps.size(), 2u * 4u); // 100 ms and three 1 ms pauses each
}

TEST(InputReadingButtons, ReadingDuringAnotherReadingsYieldIsRefused) {
    ReadingWindow w(0x0123);
    auto& ui = app::testProbe(*w.h.form).ui;
    ui.tbxAIMinVal[0]->setText("55");
    w.h.pump.at(4, [&] { w.h.form->cmdReadMinAI_Click(0); });
    w.h.form->cmdReadMaxAI_Click(0);
    EXPECT_EQ(ui.tbxAIMaxVal[0]->text(), "123");
    EXPECT_EQ(ui.tbxAIMinVal[0]->text(), "55");
    EXPECT_EQ(w.h.clock.sleeps.size(), 4u); // the refused reading programmed nothing
}

TEST(InputReadingButtons, WithoutReloadNoRegisterIsTouched) {
    Harness h; // strict driver: any register access fails the test
    app::testProbe(*h.form).state.dwAvgCount = 1000;
    app::testProbe(*h.form).ui.tbxActive->setText("0");
    h.form->cmdReadMaxAI_Click(0);
    EXPECT_EQ(app::testProbe(*h.form).ui.tbxAIMaxVal[0]->text(), "7FFF");
    EXPECT_EQ(app::testProbe(*h.form).state.wErrCode, card::kReadingNoRegisters);
    EXPECT_EQ(h.prompts.messages.size(), 1u);
}
