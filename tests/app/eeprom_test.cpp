// RELOAD, SAVE and RECOVER through the window's buttons.
#include "app_harness.h"
#include "journal/history_journal.h"

#include "session/board_lock.h"
#include "sim/cards_file.h"
#include "sim/simulated_driver.h"

#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>

#include <filesystem>

#include <string>

namespace {

using namespace app_testing;
using testing::_;
using testing::DoAll;
using testing::Return;
using testing::SaveArg;
using testing::SetArgReferee;

// A card image as the driver delivers it (zero-extended words); FFFF in word 48.
card::EepImage cardImage() {
    card::EepImage img{};
    for (std::size_t w = 0; w < card::kEepromWords; ++w) {
        img[w] = static_cast<card::Long>(0x1000 + w);
    }
    img[4] = 0xFAAD; // 10 V reference 9.9987
    img[5] = 0x411F;
    img[6] = 0x0069; // 5 V reference 5.000050...
    img[7] = 0x40A0;
    img[8] = 0x7FF0;
    img[9] = 0x0010;
    img[48] = 0xFFFF;
    return img;
}

struct WindowEeprom : testing::Test {
    Harness h;
    app::Form1& f = *h.form;

    WindowEeprom() { app::testProbe(f).state.wAORange = {0, 2, 1, 3}; }

    void expectRead(card::Int16 board, const card::EepImage& img, card::Int16 status = 0) {
        EXPECT_CALL(h.driver, Drvx_ReadEEP(board, _))
            .WillOnce(DoAll(SetArgReferee<1>(img), Return(status)));
    }
    // SAVE's write into board 0, captured, then its read-back delivering readBack (what was
    // written when readBack is null).
    void expectWrite(card::EepImage& written, const card::EepImage* readBack = nullptr) {
        testing::InSequence order;
        EXPECT_CALL(h.driver, Drvx_WriteEEP(0, _)).WillOnce(DoAll(SaveArg<1>(&written), Return(0)));
        EXPECT_CALL(h.driver, Drvx_ReadEEP(0, _))
            .WillOnce([&written, readBack](card::Int16, card::EepImage& data) {
                data = readBack ? *readBack : written;
                return card::Int16{0};
            });
    }
    void reloadBoard0() {
        expectRead(0, cardImage());
        app::testProbe(f).ui.cmdReadEEP->click();
        ASSERT_FALSE(app::testProbe(f).ui.cmdReadEEP->isEnabled());
    }
};

TEST_F(WindowEeprom, ReloadFillsTheBoxesArmsSaveAndDrivesNoOutput) {
    app::testProbe(f).ui.tbxActive->setText("0");
    expectRead(0, cardImage()); // the strict mock refuses any output call
    app::testProbe(f).ui.cmdReadEEP->click();

    EXPECT_EQ(app::testProbe(f).ui.tbxBiAOMax[0]->text(), "7FF0");
    EXPECT_EQ(app::testProbe(f).ui.tbxBiAOMin[0]->text(), "10");
    EXPECT_EQ(app::testProbe(f).ui.tbxBiAOMin[7]->text(), "1017");
    EXPECT_EQ(app::testProbe(f).ui.tbx10VRef->text(), "9.9987");
    EXPECT_EQ(app::testProbe(f).ui.tbx5VRef->text(), "5.00005");
    EXPECT_EQ(app::testProbe(f).ui.tbxAIMaxVal[0]->text(), "FFFF");
    EXPECT_EQ(app::testProbe(f).ui.tbxAIMinVal[1]->text(), "1019");
    EXPECT_FALSE(app::testProbe(f).ui.cmdReadEEP->isEnabled());
    EXPECT_TRUE(app::testProbe(f).ui.cmdWriteEEP->isEnabled());
    EXPECT_TRUE(app::testProbe(f).ui.cmdRecover->isEnabled());
    EXPECT_FALSE(app::testProbe(f).state.bLoading);
    EXPECT_TRUE(h.prompts.messages.empty());
}

TEST_F(WindowEeprom, FailedReloadReportsTheCodeAndArmsNothing) {
    card::EepImage garbage{};
    garbage.fill(0x1234);
    expectRead(0, garbage, 3);
    app::testProbe(f).ui.cmdReadEEP->click();

    EXPECT_EQ(
        h.prompts.messages,
        std::vector<std::string>{"RELOAD: reading the EEPROM of board 0 failed (Error Code=3)."});
    EXPECT_EQ(app::testProbe(f).ui.tbxBiAOMax[0]->text(), "0");
    EXPECT_EQ(app::testProbe(f).ui.tbx10VRef->text(), "10.0");
    EXPECT_EQ(app::testProbe(f).state.dwEEPData, card::EepImage{});
    EXPECT_TRUE(app::testProbe(f).ui.cmdReadEEP->isEnabled());
    EXPECT_FALSE(app::testProbe(f).ui.cmdWriteEEP->isEnabled());
    EXPECT_FALSE(app::testProbe(f).ui.cmdRecover->isEnabled());
}

TEST_F(WindowEeprom, StartUpWithOneCardLoadsIt) {
    EXPECT_CALL(h.driver, Drvx_DriverInit(_)).WillOnce(Return(0));
    EXPECT_CALL(h.driver, Drvx_SearchCard(_, card::kCardId))
        .WillOnce(DoAll(SetArgReferee<0>(1), Return(0)));
    EXPECT_CALL(h.driver, Drvx_GetCardInfo(0, _, _, _)).WillOnce(Return(0));
    expectRead(0, cardImage());
    f.Form_Load();
    EXPECT_EQ(app::testProbe(f).ui.tbxBiAOMax[0]->text(), "7FF0");
    EXPECT_FALSE(app::testProbe(f).ui.cmdReadEEP->isEnabled());
    EXPECT_TRUE(app::testProbe(f).ui.cmdWriteEEP->isEnabled());
    EXPECT_TRUE(app::testProbe(f).ui.cmdRecover->isEnabled());
}

TEST_F(WindowEeprom, SaveWritesTheEditedTableAfterTheConfirmation) {
    reloadBoard0();
    // Typing a code drives the output (change handling), then SAVE writes it.
    EXPECT_CALL(h.driver, Drvx_ConfigAO(0, 0, 2)).WillOnce(Return(0));
    EXPECT_CALL(h.driver, Drvx_WriteAOVoltageH(0, 0, -2)).WillOnce(Return(0));
    app::testProbe(f).ui.tbxBiAOMin[1]->setText("fffe");
    app::testProbe(f).ui.tbx10VRef->setText("10.0001");

    card::EepImage written{};
    expectWrite(written);
    app::testProbe(f).ui.cmdWriteEEP->click();

    ASSERT_EQ(h.prompts.confirmations.size(), 1u);
    EXPECT_EQ(h.prompts.confirmations[0].caption, "SAVE EEPROM");
    card::EepImage expected = cardImage();
    expected[4] = 0x69;
    expected[5] = 0x4120;
    expected[11] = -2;
    expected[48] = -1;
    EXPECT_EQ(written, expected);
    EXPECT_EQ(app::testProbe(f).state.dwEEPData, cardImage());
    EXPECT_EQ(app::testProbe(f).ui.tbxBiAOMin[1]->text(), "fffe"); // no box rewritten
    EXPECT_TRUE(app::testProbe(f).ui.cmdWriteEEP->isEnabled());
    EXPECT_TRUE(h.prompts.messages.empty());
}

TEST_F(WindowEeprom, SaveRefusesBadTextAndAnotherBoardWithoutWriting) {
    reloadBoard0();
    app::testProbe(f).ui.tbxAIMinVal[2]->setText("12 34");
    app::testProbe(f).ui.cmdWriteEEP->click();
    ASSERT_EQ(h.prompts.messages.size(), 1u);
    EXPECT_NE(h.prompts.messages[0].find("5.12V 0V(Hex): \"12 34\" is not hexadecimal"),
              std::string::npos)
        << h.prompts.messages[0];

    app::testProbe(f).ui.tbxAIMinVal[2]->setText("1234");
    app::testProbe(f).ui.tbxActive->setText("1");
    app::testProbe(f).ui.cmdWriteEEP->click();
    ASSERT_EQ(h.prompts.messages.size(), 2u);
    EXPECT_NE(h.prompts.messages[1].find("board 0"), std::string::npos);
    EXPECT_TRUE(h.prompts.confirmations.empty());
}

TEST_F(WindowEeprom, UneditedReferencesAreSavedAsReadAndImplausibleOnesRefused) {
    card::EepImage img = cardImage();
    img[4] = 0xFA0E; // shows as 9.998549, which alone would give FA0F
    expectRead(0, img);
    app::testProbe(f).ui.cmdReadEEP->click();
    ASSERT_EQ(app::testProbe(f).ui.tbx10VRef->text(), "9.998549");

    card::EepImage written{};
    expectWrite(written);
    app::testProbe(f).ui.cmdWriteEEP->click();
    EXPECT_EQ(written[4] & 0xFFFF, 0xFA0E);
    EXPECT_EQ(written[5], 0x411F);

    app::testProbe(f).ui.tbx5VRef->setText("1e38");
    app::testProbe(f).ui.cmdWriteEEP->click(); // the strict mock refuses a second write
    ASSERT_EQ(h.prompts.messages.size(), 1u);
    EXPECT_NE(h.prompts.messages[0].find("5V Ref(TP3): \"1e38\""), std::string::npos)
        << h.prompts.messages[0];
    EXPECT_NE(h.prompts.messages[0].find("from 4.5 to 5.5 V"), std::string::npos);
    EXPECT_NE(h.prompts.messages[0].find("Nothing was saved"), std::string::npos);
    EXPECT_EQ(h.prompts.confirmations.size(), 1u);
}

TEST_F(WindowEeprom, AWriteTheCardDidNotKeepIsReportedOnceAndChangesNothingElse) {
    reloadBoard0();
    app::testProbe(f).ui.tbx10VRef->setText("10.0");
    card::EepImage written{};
    const card::EepImage stale = cardImage();
    expectWrite(written, &stale);
    app::testProbe(f).ui.cmdWriteEEP->click();

    ASSERT_EQ(h.prompts.messages.size(), 1u);
    const std::string& m = h.prompts.messages[0];
    EXPECT_NE(m.find("board 0"), std::string::npos) << m;
    EXPECT_NE(m.find("word 4 (written 0, read back FAAD), word 5 (written 4120, read back 411F)"),
              std::string::npos)
        << m;
    EXPECT_NE(m.find("RECOVER"), std::string::npos) << m;
    EXPECT_EQ(app::testProbe(f).state.dwEEPData, cardImage());
    EXPECT_EQ(app::testProbe(f).state.dwEEPSave, written);
    EXPECT_EQ(app::testProbe(f).ui.tbx10VRef->text(), "10.0");
    EXPECT_TRUE(app::testProbe(f).ui.cmdWriteEEP->isEnabled());
    EXPECT_TRUE(app::testProbe(f).ui.cmdRecover->isEnabled());
    EXPECT_FALSE(app::testProbe(f).ui.cmdReadEEP->isEnabled());
}

TEST_F(WindowEeprom, CancelledSaveCallsNoDriver) {
    reloadBoard0();
    h.prompts.confirmAnswers = {false};
    app::testProbe(f).ui.cmdWriteEEP->click();
    EXPECT_EQ(h.prompts.confirmations.size(), 1u);
    EXPECT_EQ(app::testProbe(f).state.dwEEPSave, card::EepImage{});
}

TEST_F(WindowEeprom, RecoverReportsAFailureOnceAndKeepsTheTable) {
    reloadBoard0();
    EXPECT_CALL(h.driver, Drvx_RecoverEEP(0)).WillOnce(Return(card::Int16{12}));
    app::testProbe(f).ui.cmdRecover->click();
    EXPECT_EQ(h.prompts.messages, std::vector<std::string>{"Error Code=12"});
    EXPECT_TRUE(h.prompts.confirmations.empty());
    EXPECT_EQ(app::testProbe(f).ui.tbxBiAOMax[0]->text(), "7FF0");
    EXPECT_TRUE(app::testProbe(f).ui.cmdRecover->isEnabled());
    EXPECT_FALSE(app::testProbe(f).ui.cmdReadEEP->isEnabled());
}

// The simulated card end to end: trim by hand, save, restart, reload, recover.
namespace bench_round_trip {

using testing_support::RecordingPrompts;
using testing_support::ScriptedPump;
using testing_support::VirtualClock;

struct Session {
    explicit Session(sim::SimulatedDriver& cards) : cards(cards) {
        form =
            std::make_unique<app::Form1>(app::Services{cards, clock, pump, prompts, true, [] {}});
        form->Form_Load();
    }
    sim::SimulatedDriver& cards;
    VirtualClock clock;
    ScriptedPump pump;
    RecordingPrompts prompts;
    std::unique_ptr<app::Form1> form;
};

TEST(WindowOnSimulatedCard, TrimSaveRestartReloadAndRecover) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const sim::CardsFile store(dir.filePath("cards.dat"));
    std::string factoryCode;
    std::string trimmedCode;
    std::array<std::uint16_t, card::kEepromWords> factory{};
    {
        sim::SimulatedDriver cards;
        factory = cards.eeprom(0);
        Session s(cards);
        auto& ui = app::testProbe(*s.form).ui;
        ASSERT_FALSE(ui.cmdReadEEP->isEnabled());
        factoryCode = ui.tbxBiAOMax[1]->text().toStdString(); // CH0 Unipolar 10V +10V
        const auto factoryValue = static_cast<std::uint16_t>(std::stoul(factoryCode, nullptr, 16));

        double volts = -1e9;
        for (int click = 1; click <= 3; ++click) {
            ui.cmdAOMaxAdd[1]->click();
            EXPECT_EQ(cards.outputRange(0, 0), 2);
            EXPECT_EQ(cards.outputCode(0, 0), static_cast<std::uint16_t>(factoryValue + click));
            EXPECT_GT(cards.outputVoltage(0, 0), volts);
            volts = cards.outputVoltage(0, 0);
        }
        trimmedCode = ui.tbxBiAOMax[1]->text().toStdString();
        ui.cmdWriteEEP->click();
        EXPECT_TRUE(s.prompts.messages.empty());
        EXPECT_EQ(cards.eepromWrites(0), 1);
        ASSERT_TRUE(store.save(cards).ok());
    }
    {
        sim::SimulatedDriver cards; // the program started again
        ASSERT_TRUE(store.load(cards).ok());
        Session s(cards);
        auto& ui = app::testProbe(*s.form).ui;
        EXPECT_EQ(ui.tbxBiAOMax[1]->text().toStdString(), trimmedCode);
        const auto words = cards.eeprom(0);
        for (std::size_t w : {0u, 1u, 2u, 3u, 26u, 47u, 50u, 100u, 127u}) {
            EXPECT_EQ(words[w], factory[w]) << "word " << w;
        }

        ui.cmdRecover->click();
        EXPECT_TRUE(s.prompts.messages.empty());
        EXPECT_EQ(ui.tbxBiAOMax[1]->text().toStdString(), trimmedCode); // until RELOAD
        ui.VScroll2->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        ui.cmdReadEEP->click();
        EXPECT_EQ(ui.tbxBiAOMax[1]->text().toStdString(), factoryCode);
        EXPECT_EQ(cards.eeprom(0), factory);
    }
}

} // namespace bench_round_trip

} // namespace

// RELOAD holds the board it reads against other programs, and lets the one before go.
TEST(WindowBoards, ABoardHeldByAnotherProgramIsRefusedNamingItAndNothingChanges) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::filesystem::path folder = dir.path().toStdString();
    session::FileBoardLocks mine(folder, "mx4815cal");
    session::FileBoardLocks other(folder, "mx4815cal-cli calibrate");
    sim::SimulatedDriver cards(sim::SimOptions{2});
    testing_support::VirtualClock clock;
    testing_support::ScriptedPump pump;
    testing_support::RecordingPrompts prompts;
    app::Form1 form(app::Services{cards, clock, pump, prompts, true, [] {}, &mine});
    form.Form_Load();
    auto probe = app::testProbe(form);
    probe.ui.tbxActive->setText("0");
    form.cmdReadEEP_Click();
    ASSERT_TRUE(mine.holds(0));

    ASSERT_TRUE(other.take(1));
    const std::string shown = probe.ui.tbxBiAOMax[0]->text().toStdString();
    probe.ui.tbxActive->setText("1");
    form.VScroll2_Change();
    form.cmdReadEEP_Click();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_THAT(prompts.messages[0], testing::StartsWith("Board 1 is in use by mx4815cal-cli "
                                                         "calibrate (process "));
    EXPECT_EQ(probe.state.loadedBoard, 0);
    EXPECT_EQ(probe.ui.tbxBiAOMax[0]->text().toStdString(), shown);
    EXPECT_TRUE(probe.ui.cmdReadEEP->isEnabled()) << "RELOAD can be tried again";

    other.keepOnly(-1);
    form.cmdReadEEP_Click();
    EXPECT_EQ(probe.state.loadedBoard, 1);
    EXPECT_TRUE(mine.holds(1));
    EXPECT_FALSE(mine.holds(0)) << "the board shown before is let go";
    EXPECT_TRUE(other.take(0));
}

// Every SAVE and RECOVER of the window leaves its record in the history, with where the
// values came from; a history that cannot keep the record stops SAVE before the card.
TEST(WindowHistory, SaveAndRecoverLeaveTheirRecordsAndAnUnwritableHistoryStopsSave) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    sim::SimulatedDriver cards;
    testing_support::VirtualClock clock;
    testing_support::ScriptedPump pump;
    testing_support::RecordingPrompts prompts;
    journal::Settings settings;
    settings.history = history::sqliteAt(dir.filePath("history.sqlite").toStdString());
    journal::HistoryJournal kept(journal::Maker{"mx4815cal", "test", "simulated card"}, settings);
    app::Form1 form(app::Services{cards, clock, pump, prompts, true, [] {}, nullptr, {}, &kept});
    form.Form_Load();
    auto probe = app::testProbe(form);
    probe.ui.cmdAOMaxAdd[1]->click(); // trimmed by hand
    probe.ui.cmdWriteEEP->click();
    probe.ui.cmdRecover->click();
    // Exported, imported and saved: the record names the file and its SHA-256.
    const std::string ini = dir.filePath("card.ini").toStdString();
    prompts.fileAnswers.push_back(ini);
    probe.ui.cmdBrowse->click();
    probe.ui.cmdSaveINI->click();
    probe.ui.cmdLoadINI->click();
    probe.ui.cmdWriteEEP->click();
    ASSERT_TRUE(prompts.messages.empty()) << prompts.messages[0];
    const auto records = (*kept.store())->list();
    ASSERT_TRUE(records && records->size() == 3u);
    EXPECT_EQ((*records)[0].change.source, history::Source::ImportedFile);
    EXPECT_EQ((*records)[0].change.sourceFile, ini);
    EXPECT_EQ((*records)[0].change.sourceSha256.size(), 64u);
    const history::Entry& saved = (*records)[2];
    EXPECT_EQ(saved.change.program, "mx4815cal");
    EXPECT_EQ(saved.change.source, history::Source::HandTrimming);
    EXPECT_EQ(saved.ending.outcome, history::Outcome::Written);
    // The trimmed code (word 10: CH0 Unipolar 10V +10V) is what changed.
    ASSERT_EQ(saved.ending.eepromAfter.size(), card::kEepromWords);
    EXPECT_EQ(saved.ending.eepromAfter[10],
              static_cast<std::uint16_t>(saved.change.eepromBefore[10] + 1));
    EXPECT_EQ((*records)[1].change.source, history::Source::Recover);

    // A history in a folder that cannot be made: one message naming it, nothing written.
    QFile blocker(dir.filePath("not-a-folder"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    settings.history = history::sqliteAt(dir.filePath("not-a-folder/history.sqlite").toStdString());
    journal::HistoryJournal unreachable(journal::Maker{"mx4815cal", "test", "simulated card"},
                                        settings);
    app::Form1 second(
        app::Services{cards, clock, pump, prompts, true, [] {}, nullptr, {}, &unreachable});
    second.Form_Load();
    const int writes = cards.eepromWrites(0);
    app::testProbe(second).ui.cmdWriteEEP->click();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_THAT(prompts.messages[0],
                testing::StartsWith("SAVE was refused: The calibration history"));
    EXPECT_THAT(prompts.messages[0], testing::HasSubstr("not-a-folder"));
    EXPECT_EQ(cards.eepromWrites(0), writes);
}
