// The START button on the simulated card: the run's controls, its stop, and EXIT and closing
// the window during a run.
#include "app_harness.h"

#include <QDate>
#include <QFile>
#include <QGroupBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <memory>

namespace {

using app_testing::SimWindow;

TEST(StartButton, RunsTheCalibrationAndLeavesOnlyTheLastInputFrameGreen) {
    SimWindow w;
    auto& ui = app::testProbe(*w.form).ui;
    ASSERT_TRUE(w.prompts.messages.empty());
    ui.tbxBiAOMax[0]->setText("0");
    bool stopShown = false;
    w.pump.at(500,
              [&] { stopShown = ui.cmdAutoCal->text() == "STOP" && !ui.cmdReadEEP->isEnabled(); });
    ui.cmdAutoCal->click();
    EXPECT_TRUE(stopShown);
    EXPECT_FALSE(w.running());
    EXPECT_TRUE(w.prompts.messages.empty());
    EXPECT_EQ(ui.cmdAutoCal->text(), "START");
    EXPECT_TRUE(ui.cmdReadEEP->isEnabled());
    EXPECT_GE(w.clock.time, 22.0);
    EXPECT_NE(ui.tbxBiAOMax[0]->text(), "0");
    for (std::size_t k = 0; k < ui.framAO.size(); ++k) {
        EXPECT_FALSE(ui.framAO[k]->isEnabled()) << k;
    }
    EXPECT_FALSE(ui.framRef->isEnabled());
    for (std::size_t j = 0; j < 5; ++j) {
        EXPECT_FALSE(ui.framAI[j]->isEnabled()) << j;
    }
    EXPECT_TRUE(ui.framAI[5]->isEnabled());
    EXPECT_EQ(ui.framAI[5]->palette().color(QPalette::Window), QColor(0, 255, 0));
    EXPECT_EQ(w.cards.eepromWrites(0), 0); // SAVE keeps the result, the run does not
}

// START with the window's own 1000 conversions a reading, on the day and with the references
// of tests/reference-run.json, leaves the codes kept there: the Windows program reaches the
// same codes through the simulated card's Dravex.dll and with --simulate.
TEST(StartButton, AWholeRunOnTheReferenceDayLeavesTheReferenceCodes) {
    QFile file(QStringLiteral(MXCAL_REFERENCE_RUN_PATH));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << MXCAL_REFERENCE_RUN_PATH;
    const QJsonObject reference = QJsonDocument::fromJson(file.readAll()).object();
    const QDate date = QDate::fromString(reference["date"].toString(), Qt::ISODate);
    ASSERT_TRUE(date.isValid());
    SimWindow w(1000, std::chrono::sys_days{std::chrono::year{date.year()} /
                                            static_cast<unsigned>(date.month()) /
                                            static_cast<unsigned>(date.day())});
    auto& ui = w.ui();
    ui.tbx10VRef->setText(reference["ref10"].toString());
    ui.tbx5VRef->setText(reference["ref5"].toString());
    ui.cmdAutoCal->click();
    ASSERT_TRUE(w.prompts.messages.empty()) << w.prompts.messages.front();
    QJsonArray codes;
    for (std::size_t k = 0; k < ui.tbxBiAOMax.size(); ++k) {
        codes << ui.tbxBiAOMax[k]->text() << ui.tbxBiAOMin[k]->text();
    }
    for (std::size_t j = 0; j < ui.tbxAIMaxVal.size(); ++j) {
        codes << ui.tbxAIMaxVal[j]->text() << ui.tbxAIMinVal[j]->text();
    }
    EXPECT_EQ(codes, reference["window"].toObject()["codes"].toArray());
}

TEST(StartButton, SaveDuringTheRunIsRefusedAndWritesNothing) {
    SimWindow w;
    auto& ui = app::testProbe(*w.form).ui;
    ASSERT_TRUE(ui.cmdWriteEEP->isEnabled());
    w.pump.at(5000, [&] { ui.cmdWriteEEP->click(); });
    ui.cmdAutoCal->click();
    ASSERT_EQ(w.prompts.messages.size(), 1u);
    EXPECT_NE(w.prompts.messages[0].find("still running"), std::string::npos);
    EXPECT_TRUE(w.prompts.confirmations.empty());
    EXPECT_EQ(w.cards.eepromWrites(0), 0);

    // After the run SAVE works again.
    ui.cmdWriteEEP->click();
    EXPECT_EQ(w.prompts.confirmations.size(), 1u);
    EXPECT_EQ(w.cards.eepromWrites(0), 1);
}

TEST(StartButton, ClickDuringTheRunStopsItAndNeverStartsASecondOne) {
    SimWindow w;
    auto& ui = app::testProbe(*w.form).ui;
    // Two clicks on "STOP" inside the run's yields.
    w.pump.at(3000, [&] { ui.cmdAutoCal->click(); });
    w.pump.at(3001, [&] { ui.cmdAutoCal->click(); });
    ui.cmdAutoCal->click();
    EXPECT_FALSE(w.running());
    // One message, what the stop left (no refused second reading, nothing else).
    ASSERT_EQ(w.prompts.messages.size(), 1u);
    EXPECT_NE(w.prompts.messages[0].find("was stopped"), std::string::npos);
    w.prompts.messages.clear();
    EXPECT_EQ(ui.cmdAutoCal->text(), "START");
    EXPECT_TRUE(ui.cmdReadEEP->isEnabled());
    EXPECT_LT(w.clock.time, 5.0);
    const std::string firstRow = ui.tbxAIMaxVal[0]->text().toStdString();

    // It can be started again at once and runs to its end.
    const long yields = w.pump.yields;
    ui.cmdAutoCal->click();
    EXPECT_GT(w.pump.yields - yields, 22000);
    EXPECT_TRUE(w.prompts.messages.empty());
    EXPECT_EQ(ui.cmdAutoCal->text(), "START");
    EXPECT_FALSE(firstRow.empty());
}

TEST(StartButton, ExitDuringTheRunClosesTheDriverAndEndsTheProgram) {
    SimWindow w;
    auto& ui = app::testProbe(*w.form).ui;
    w.pump.at(3000, [&] { ui.cmdExit->click(); });
    ui.cmdAutoCal->click();
    EXPECT_EQ(w.endCalls, 1);
    EXPECT_FALSE(w.running()); // had the program gone on, the run would have stopped
    EXPECT_LT(w.clock.time, 5.0);
    EXPECT_EQ(ui.cmdAutoCal->text(), "START");
}

TEST(StartButton, ClosingTheWindowDuringTheRunStopsItAndEndsTheProgram) {
    SimWindow w;
    w.pump.at(3000, [&] { w.form->close(); });
    app::testProbe(*w.form).ui.cmdAutoCal->click();
    EXPECT_EQ(w.endCalls, 1);
    EXPECT_FALSE(w.form->isVisible());
    EXPECT_FALSE(w.running());
    EXPECT_LT(w.clock.time, 5.0);
}

TEST(StartButton, ReferenceThatIsNoNumberIsRefusedBeforeTheRunTouchesAnything) {
    SimWindow w;
    auto& ui = app::testProbe(*w.form).ui;
    const long conversions = w.cards.conversions();
    ui.tbx10VRef->setText("ten");
    ui.cmdAutoCal->click();
    ASSERT_EQ(w.prompts.messages.size(), 1u);
    EXPECT_NE(w.prompts.messages[0].find("10V Ref(TP2)"), std::string::npos);
    EXPECT_EQ(ui.cmdAutoCal->text(), "START");
    EXPECT_FALSE(ui.cmdReadEEP->isEnabled()); // as the start-up's RELOAD left it
    EXPECT_FALSE(w.running());
    EXPECT_EQ(w.cards.conversions(), conversions);
}

} // namespace

namespace {

TEST(StartButton, WindowDestroyedDuringASettlingWaitIsNotTouchedAgain) {
    SimWindow w;
    // Destroy the window inside a settling wait: many yields without a conversion.
    long conversions = -1;
    int quietYields = 0;
    w.pump.everyYield = [&] {
        if (!w.form) {
            return;
        }
        const long now = w.cards.conversions();
        quietYields = now == conversions ? quietYields + 1 : 0;
        conversions = now;
        if (quietYields == 100) {
            w.form.reset();
        }
    };
    QPushButton* start = app::testProbe(*w.form).ui.cmdAutoCal;
    start->click(); // returns without touching the destroyed window (AddressSanitizer watches)
    EXPECT_EQ(w.form, nullptr);
    EXPECT_LT(w.clock.time, 3.0);
}

} // namespace
