// The "+" / "-" buttons and the output boxes' change handling through the window.
#include "app_harness.h"

#include <QLineEdit>
#include <QPushButton>

namespace {

using namespace app_testing;
using testing::InSequence;
using testing::Return;

struct WindowTrim : testing::Test {
    Harness h;
    app::Form1& f = *h.form;

    WindowTrim() { app::testProbe(f).state.wAORange = {0, 2, 1, 3}; }

    // Puts a text into a box the way RELOAD does, driving nothing.
    void load(QLineEdit* box, const char* text) {
        app::testProbe(f).state.bLoading = true;
        box->setText(text);
        app::testProbe(f).state.bLoading = false;
    }
};

TEST_F(WindowTrim, MinSubFiveStepsAndDrivesChannelOneInRangeCodeTwo) {
    app::testProbe(f).ui.tbxActive->setText("3");
    load(app::testProbe(f).ui.tbxBiAOMin[5], "8001");
    {
        InSequence seq;
        EXPECT_CALL(h.driver, Drvx_ConfigAO(3, 1, 2)).WillOnce(Return(0));
        // The change handling runs between the step's two calls.
        EXPECT_CALL(h.driver, Drvx_ConfigAO(3, 1, 2)).WillOnce(Return(0));
        EXPECT_CALL(h.driver, Drvx_WriteAOVoltageH(3, 1, static_cast<card::Long>(0xFFFF8000u)))
            .Times(2)
            .WillRepeatedly(Return(0));
    }
    app::testProbe(f).ui.cmdAOMinSub[5]->click();
    EXPECT_EQ(app::testProbe(f).ui.tbxBiAOMin[5]->text(), "8000");
    EXPECT_TRUE(h.prompts.messages.empty());
}

TEST_F(WindowTrim, PlusWrapsFromFFFFToZero) {
    load(app::testProbe(f).ui.tbxBiAOMax[0], "FFFF");
    EXPECT_CALL(h.driver, Drvx_ConfigAO(0, 0, 0)).Times(2).WillRepeatedly(Return(0));
    EXPECT_CALL(h.driver, Drvx_WriteAOVoltageH(0, 0, 0)).Times(2).WillRepeatedly(Return(0));
    app::testProbe(f).ui.cmdAOMaxAdd[0]->click();
    EXPECT_EQ(app::testProbe(f).ui.tbxBiAOMax[0]->text(), "0");
}

TEST_F(WindowTrim, StepOnTextThatIsNoCodeIsRefusedWithoutADriverCall) {
    load(app::testProbe(f).ui.tbxBiAOMax[6], "12G4");
    app::testProbe(f).ui.cmdAOMaxAdd[6]->click();
    app::testProbe(f).ui.cmdAOMaxSub[6]->click();
    EXPECT_EQ(app::testProbe(f).ui.tbxBiAOMax[6]->text(), "12G4");
    ASSERT_EQ(h.prompts.messages.size(), 2u);
    EXPECT_EQ(h.prompts.messages[0], "CH1 Bipolar 5V +5V(Hex): \"12G4\" is not hexadecimal.");
}

TEST_F(WindowTrim, TypingDrivesOnlyCompleteCodes) {
    {
        InSequence seq;
        EXPECT_CALL(h.driver, Drvx_ConfigAO(0, 0, 3)).WillOnce(Return(0));
        EXPECT_CALL(h.driver, Drvx_WriteAOVoltageH(0, 0, 0x7F)).WillOnce(Return(0));
    }
    load(app::testProbe(f).ui.tbxBiAOMin[3], "");
    app::testProbe(f).ui.tbxBiAOMin[3]->insert(
        "&"); // not a code yet: nothing driven, nothing shown
    app::testProbe(f).ui.tbxBiAOMin[3]->setText("7f");
    EXPECT_TRUE(h.prompts.messages.empty());
}

} // namespace
