// What START checks before it starts, what the window refuses while a run goes, and what a
// run that stops or fails leaves in the table.
#include "app_harness.h"
#include "autocal/run.h"

#include <QApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace {

using app_testing::SimWindow;
using testing::HasSubstr;

using Texts = std::map<std::pair<int, int>, std::string>;

// The 28 code boxes' texts.
Texts codeTexts(app::Form1& f) {
    Texts t;
    for (int k = 0; k < caldata::kOutputBoxes; ++k) {
        t[{0, k}] = f.text(caldata::aoMax(k));
        t[{1, k}] = f.text(caldata::aoMin(k));
    }
    for (int j = 0; j < caldata::kInputBoxes; ++j) {
        t[{2, j}] = f.text(caldata::aiMax(j));
        t[{3, j}] = f.text(caldata::aiMin(j));
    }
    return t;
}

bool allFramesUsable(const app::Controls& ui) {
    bool on = ui.framRef->isEnabled();
    for (const QGroupBox* g : ui.framAO) {
        on = on && g->isEnabled();
    }
    for (const QGroupBox* g : ui.framAI) {
        on = on && g->isEnabled();
    }
    return on;
}

// Runs fn once inside a reading (a yield right after conversions) and once inside a settling
// wait (the 50th yield without a conversion), both during the end-point searches.
void atAReadingAndAWait(SimWindow& w, std::function<void()> fn, int& calls) {
    struct Watch {
        long conversions = 0;
        int quiet = 0;
        bool inReading = false;
        bool inWait = false;
    };
    auto watch = std::make_shared<Watch>();
    watch->conversions = w.cards.conversions();
    w.pump.everyYield = [&w, &calls, watch, fn = std::move(fn)] {
        const long now = w.cards.conversions();
        watch->quiet = now == watch->conversions ? watch->quiet + 1 : 0;
        const bool searching = now > 2000; // past the six input readings
        if (searching && !watch->inReading && now != watch->conversions) {
            watch->inReading = true;
            fn();
            ++calls;
        } else if (searching && watch->inReading && !watch->inWait && watch->quiet == 50) {
            watch->inWait = true;
            fn();
            ++calls;
        }
        watch->conversions = now;
    };
}

TEST(RunGuards, StartRefusesImplausibleReferencesAndAnotherBoardBeforeTouchingAnything) {
    SimWindow w;
    auto& ui = w.ui();
    const Texts before = codeTexts(*w.form);
    const long conversions = w.cards.conversions();
    for (const auto& [box, text, expected] :
         std::array<std::tuple<QLineEdit*, const char*, const char*>, 4>{{
             {ui.tbx10VRef, "32767", "10V Ref(TP2): \"32767\""},
             {ui.tbx10VRef, "-10.0", "from 9 to 11 V"},
             {ui.tbx5VRef, "1e38", "5V Ref(TP3): \"1e38\""},
             {ui.tbxActive, "1",
              "Active Board is 1, but the calibration shown was read from "
              "board 0"},
         }}) {
        const QString kept = box->text();
        box->setText(QString::fromUtf8(text));
        w.prompts.messages.clear();
        ui.cmdAutoCal->click();
        ASSERT_EQ(w.prompts.messages.size(), 1u) << text;
        EXPECT_THAT(w.prompts.messages[0], HasSubstr("not started"));
        EXPECT_THAT(w.prompts.messages[0], HasSubstr(expected));
        EXPECT_EQ(ui.cmdAutoCal->text(), "START");
        box->setText(kept);
    }
    EXPECT_EQ(w.cards.conversions(), conversions);
    EXPECT_EQ(codeTexts(*w.form), before);
    EXPECT_TRUE(allFramesUsable(ui));
}

TEST(RunGuards, ImportAndStepButtonsAreRefusedInsideAReadingAndAWaitAndChangeNothing) {
    SimWindow w;
    auto& ui = w.ui();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // A calibration file that sets every code box to 1234.
    const std::string file = dir.filePath("other.ini").toStdString();
    for (int k = 0; k < caldata::kOutputBoxes; ++k) {
        w.form->setText(caldata::aoMax(k), "1234");
        w.form->setText(caldata::aoMin(k), "1234");
    }
    ui.tbxFileName->setText(QString::fromStdString(file));
    ui.cmdSaveINI->setEnabled(true);
    ui.cmdLoadINI->setEnabled(true);
    ui.cmdSaveINI->click();
    ui.cmdReadEEP->setEnabled(true);
    ui.cmdReadEEP->click(); // the card's own calibration again
    ASSERT_TRUE(w.prompts.messages.empty());

    int calls = 0;
    std::vector<bool> readOnly;
    bool typed = false;
    atAReadingAndAWait(
        w,
        [&] {
            // The buttons and the box of the group being searched, the one frame enabled.
            std::size_t k = 0;
            while (k + 1 < ui.framAO.size() && !ui.framAO[k]->isEnabled()) {
                ++k;
            }
            ui.cmdLoadINI->click();
            ui.cmdAOMaxAdd[k]->click();
            ui.cmdAOMinSub[k]->click();
            // Typing into a box of the run is refused by the box itself.
            QLineEdit* box = ui.tbxBiAOMax[k];
            readOnly.push_back(box->isReadOnly());
            const QString text = box->text();
            QKeyEvent key(QEvent::KeyPress, Qt::Key_7, Qt::NoModifier, QStringLiteral("7"));
            QApplication::sendEvent(box, &key);
            typed = typed || box->text() != text;
        },
        calls);
    ui.cmdAutoCal->click();
    ASSERT_EQ(calls, 2);
    EXPECT_EQ(readOnly, (std::vector<bool>{true, true}));
    ASSERT_EQ(w.prompts.messages.size(), 6u); // three refusals at each moment, nothing else
    EXPECT_THAT(w.prompts.messages[0], HasSubstr("\"Import\": the automatic calibration is still"));
    EXPECT_THAT(w.prompts.messages[1], HasSubstr("\"+\""));
    EXPECT_THAT(w.prompts.messages[2], HasSubstr("\"-\""));
    EXPECT_FALSE(typed);
    // The run went on undisturbed: no box holds the file's code, and the boxes are the
    // user's again.
    for (const auto& [where, text] : codeTexts(*w.form)) {
        EXPECT_NE(text, "1234") << where.first << "/" << where.second;
    }
    EXPECT_FALSE(ui.tbxBiAOMax[5]->isReadOnly());
    EXPECT_EQ(ui.cmdAutoCal->text(), "START");
}

TEST(RunGuards, ExportIsRefusedAndRecoverAllowedDuringARun) {
    SimWindow w;
    auto& ui = w.ui();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ui.tbxFileName->setText(dir.filePath("during.ini"));
    ui.cmdSaveINI->setEnabled(true);
    int calls = 0;
    std::vector<std::size_t> messagesPerExport;
    atAReadingAndAWait(
        w,
        [&] {
            const std::size_t before = w.prompts.messages.size();
            ui.cmdSaveINI->click();
            messagesPerExport.push_back(w.prompts.messages.size() - before);
            ui.cmdRecover->click();
        },
        calls);
    ui.cmdAutoCal->click();
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(messagesPerExport, (std::vector<std::size_t>{1, 1}));
    ASSERT_EQ(w.prompts.messages.size(), 2u); // RECOVER said nothing
    EXPECT_THAT(w.prompts.messages[0], HasSubstr("Export: the automatic calibration is still"));
    EXPECT_FALSE(QFile::exists(dir.filePath("during.ini")));
    // After the run Export writes again.
    ui.cmdSaveINI->click();
    EXPECT_EQ(w.prompts.messages.size(), 2u);
    EXPECT_TRUE(QFile::exists(dir.filePath("during.ini")));
}

TEST(RunGuards, ActiveBoardIsReadOnlyDuringARunAndEditableWhenItEnds) {
    enum class End { Finished, Stopped, Failed };
    for (const End end : {End::Finished, End::Stopped, End::Failed}) {
        SCOPED_TRACE(static_cast<int>(end));
        SimWindow w;
        auto& ui = w.ui();
        std::vector<bool> during;
        w.pump.at(w.pump.yields + 50, [&] { during.push_back(ui.tbxActive->isReadOnly()); });
        if (end == End::Stopped) {
            w.pump.at(w.pump.yields + 60, [&] { ui.cmdAutoCal->click(); });
        }
        if (end == End::Failed) {
            ui.tbx10VRef->setText("9.9"); // the +10 V target beyond the output's reach
        }
        EXPECT_FALSE(ui.tbxActive->isReadOnly());
        ui.cmdAutoCal->click();
        EXPECT_EQ(during, std::vector<bool>{true});
        EXPECT_EQ(w.prompts.messages.size(), end == End::Finished ? 0u : 1u);
        EXPECT_EQ(ui.cmdAutoCal->text(), "START");
        EXPECT_FALSE(ui.tbxActive->isReadOnly());
    }
}

TEST(RunGuards, UnreachableEndPointFailsNamingItAndLeavesOnlyFinishedCodes) {
    SimWindow w;
    auto& ui = w.ui();
    const Texts before = codeTexts(*w.form);
    // Plausible, but the +10 V target it gives lies beyond what the output reaches at FFFF.
    ui.tbx10VRef->setText("9.9");
    ui.cmdAutoCal->click();
    ASSERT_EQ(w.prompts.messages.size(), 1u);
    EXPECT_THAT(w.prompts.messages[0], HasSubstr("CH0 Unipolar 10V +10V (Hex)"));
    EXPECT_THAT(w.prompts.messages[0], HasSubstr("already below the target"));
    EXPECT_THAT(w.prompts.messages[0], HasSubstr("10V Ref(TP2)"));
    const Texts after = codeTexts(*w.form);
    EXPECT_EQ(after.at({0, 1}), before.at({0, 1})); // the failed end point
    EXPECT_EQ(after.at({0, 2}), before.at({0, 2})); // not reached
    EXPECT_TRUE(allFramesUsable(ui));
    EXPECT_EQ(ui.cmdAutoCal->text(), "START");
    EXPECT_TRUE(ui.cmdReadEEP->isEnabled());
}

// A run stopped at many of its yields in turn: every code box holds either its text from
// before the run or the code of a finished search or reading of the same, undisturbed run.
TEST(RunGuards, StopAtAnyYieldLeavesOnlyCodesFromBeforeOrFromFinishedSteps) {
    constexpr session::Long kSamples = 2;
    constexpr double kStep = 0.05; // 20 yields a settling wait
    Texts before;
    Texts finished;
    long yields = 0;
    {
        SimWindow w(kSamples);
        w.clock.stepPerNow = kStep;
        before = codeTexts(*w.form);
        w.ui().cmdAutoCal->click();
        ASSERT_TRUE(w.prompts.messages.empty());
        finished = codeTexts(*w.form);
        yields = w.pump.yields;
    }
    ASSERT_GT(yields, 1000);
    int stops = 0;
    for (long at = 1; at < yields; at += yields / 37 + 1) {
        SimWindow w(kSamples);
        w.clock.stepPerNow = kStep;
        w.pump.at(w.pump.yields + at, [&] { w.ui().cmdAutoCal->click(); });
        w.ui().cmdAutoCal->click();
        ASSERT_EQ(w.prompts.messages.size(), 1u) << at;
        EXPECT_THAT(w.prompts.messages[0], HasSubstr("was stopped")) << at;
        for (const auto& [where, text] : codeTexts(*w.form)) {
            EXPECT_TRUE(text == before.at(where) || text == finished.at(where))
                << "yield " << at << ", box " << where.first << "/" << where.second << ": " << text;
        }
        EXPECT_TRUE(allFramesUsable(w.ui())) << at;
        ++stops;
    }
    EXPECT_GE(stops, 30);
}

} // namespace
