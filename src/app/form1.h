#pragma once

#include "autocal/run.h"
#include "caldata/table.h"
#include "card/acquisition.h"
#include "card/driver.h"
#include "card/facts.h"
#include "core/result.h"
#include "platform/clock.h"
#include "platform/event_pump.h"
#include "platform/prompts.h"
#include "session/board_lock.h"
#include "session/context.h"
#include "session/form_state.h"

#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <string>

class QCloseEvent;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QScrollBar;

namespace app {

// The controls of the window, by their names. Owned by the window through Qt parenting.
// Several names say little of what the window shows: cmdReadEEP is "RELOAD", cmdWriteEEP
// "SAVE", cmdAutoCal "START" (or "STOP" during a run), cmdLoadINI "Import", cmdSaveINI
// "Export", cmdBrowse "Broswer(B)"; tbxBiAOMax / tbxBiAOMin hold the upper and lower end
// point of every output range, the unipolar ones included; tbxAIMaxVal / tbxAIMinVal the
// upper point and 0 V of the input ranges; Frame7 and Frame10 are the channels CH0 and CH1.
struct Controls {
    QGroupBox* Frame1 = nullptr; // "Board Infomation"
    QLabel* Label1 = nullptr;
    QLineEdit* tbxTotal = nullptr;
    QLabel* Label4 = nullptr;
    QLineEdit* tbxActive = nullptr;
    QScrollBar* VScroll2 = nullptr;
    QPushButton* cmdReadEEP = nullptr;

    QGroupBox* framRef = nullptr; // "Voltage Reference"
    QLabel* lbl10VRef = nullptr;
    QLineEdit* tbx10VRef = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* lbl5VRef = nullptr;
    QLineEdit* tbx5VRef = nullptr;
    QLabel* Label3 = nullptr;

    QPushButton* cmdAutoCal = nullptr;

    QGroupBox* framAOCal = nullptr;
    QGroupBox* Frame7 = nullptr;  // "CH0"
    QGroupBox* Frame10 = nullptr; // "CH1"
    std::array<QGroupBox*, card::kOutputBoxCount> framAO{};
    std::array<QLabel*, card::kOutputBoxCount> lblAOMax{};
    std::array<QLabel*, card::kOutputBoxCount> lblAOMin{};
    std::array<QLineEdit*, card::kOutputBoxCount> tbxBiAOMax{};
    std::array<QLineEdit*, card::kOutputBoxCount> tbxBiAOMin{};
    std::array<QPushButton*, card::kOutputBoxCount> cmdAOMaxAdd{};
    std::array<QPushButton*, card::kOutputBoxCount> cmdAOMaxSub{};
    std::array<QPushButton*, card::kOutputBoxCount> cmdAOMinAdd{};
    std::array<QPushButton*, card::kOutputBoxCount> cmdAOMinSub{};

    QGroupBox* framAICal = nullptr;
    std::array<QGroupBox*, card::kInputRangeCount> framAI{};
    std::array<QLabel*, card::kInputRangeCount> lblAIMax{};
    std::array<QLabel*, card::kInputRangeCount> lblAIMin{};
    std::array<QLineEdit*, card::kInputRangeCount> tbxAIMaxVal{};
    std::array<QLineEdit*, card::kInputRangeCount> tbxAIMinVal{};
    std::array<QPushButton*, card::kInputRangeCount> cmdReadMaxAI{};
    std::array<QPushButton*, card::kInputRangeCount> cmdReadMinAI{};

    QGroupBox* framNOTE = nullptr;
    QLabel* Image1 = nullptr;
    QListWidget* List1 = nullptr;
    QPushButton* cmdWriteEEP = nullptr; // "SAVE"
    QPushButton* cmdRecover = nullptr;  // "RECOVER"

    QPushButton* cmdPrevious = nullptr;
    QPushButton* cmdNext = nullptr;
    QPushButton* cmdExit = nullptr;

    QGroupBox* Frame3 = nullptr; // "Calibration Data File Import/Export"
    QLineEdit* tbxFileName = nullptr;
    QPushButton* cmdBrowse = nullptr;
    QPushButton* cmdLoadINI = nullptr;
    QPushButton* cmdSaveINI = nullptr;
};

// What main hands to the window.
struct Services {
    card::Driver& driver;
    platform::Clock& clock;
    platform::EventPump& pump;
    platform::Prompts& prompts;
    // True while the simulated card is in use: the caption then says so.
    bool simulated = false;
    // Ends the program at once (EXIT). Tests record the call instead.
    std::function<void()> endProgram;
    // The boards held against other programs: RELOAD takes its board and lets the one
    // loaded before go. None: no other program to keep out (tests).
    session::BoardLocks* locks = nullptr;
    // True for the files of the card backend, which Export must not write over.
    std::function<bool(const std::string&)> ownFile = {};
    // The record of every EEPROM change SAVE and RECOVER make. None: nothing recorded (tests).
    session::Journal* journal = nullptr;
};

// The main window. It owns the form-level state and the controls; every operation is one of
// its handlers, and the text boxes are the calibration table.
class Form1 : public QWidget, public caldata::CalibrationTable {
public:
    explicit Form1(Services services, QWidget* parent = nullptr);
    ~Form1() override;

    // Start-up: opens the driver, finds the cards, loads the single card's calibration.
    void Form_Load();

    // Board selection, RELOAD, SAVE, RECOVER, EXIT.
    void cmdReadEEP_Click();
    void cmdWriteEEP_Click();
    void cmdRecover_Click();
    void cmdExit_Click();
    void VScroll2_Change();

    // Output trimming.
    void cmdAOMaxAdd_Click(card::Int16 index);
    void cmdAOMaxSub_Click(card::Int16 index);
    void cmdAOMinAdd_Click(card::Int16 index);
    void cmdAOMinSub_Click(card::Int16 index);
    void tbxBiAOMax_Change(card::Int16 index);
    void tbxBiAOMin_Change(card::Int16 index);

    // Input range readings (buttons hidden; called by the automatic run).
    void cmdReadMaxAI_Click(card::Int16 index);
    void cmdReadMinAI_Click(card::Int16 index);

    // The automatic calibration run.
    void cmdAutoCal_Click();

    // Calibration files.
    void cmdBrowse_Click();
    void cmdLoadINI_Click();
    void cmdSaveINI_Click();

    // Step highlighting.
    void HighlightStep(card::Int16 wStepNo, card::Long lColor);
    void OpenAllSteps();
    // Every calibration frame usable and in the button-face colour again (after a run that
    // stopped or failed).
    void reopenSteps();

    // The calibration table.
    std::string text(caldata::Field f) const override;
    void setText(caldata::Field f, const std::string& text) override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    friend struct Form1Probe;

    void buildLayout();
    void connectHandlers();
    // The code and reference boxes and "Active Board" refuse the user's edits while a run goes
    // (form1_autocal.cpp).
    void setRunBoxesReadOnly(bool readOnly);
    // The refusal of an action that would change the table or drive an output during a run.
    bool refusedDuringRun(const char* action);

    // A context for the subsystem logic, reading "Active Board" afresh on every call.
    session::Context context();

    // The auto-calibration acquisition, one for the window: the input readings and the
    // automatic run share it, so a reading started during another's yield is refused.
    // Created on first use (form1_readings.cpp).
    card::Acquisition& acquisition();

    // Shows the refusal of an operation, if it was refused: the one message of a handler.
    void report(const core::Status& outcome);
    template <class T> void report(const core::Result<T>& outcome) {
        if (!outcome) {
            services_.prompts.message(outcome.refusal());
        }
    }

    Controls ui;
    session::FormState state;

    // The START run's state (form1_autocal.cpp): running, stop asked for. A handler may ask
    // a run in progress to stop with autoCalRun.requestStop(); it ends at its next yield.
    autocal::RunControl autoCalRun;

    Services services_;
    // The file dialog's name (cdFileBox.FileName): kept from one choice to the next, empty
    // before the first (form1_calfile.cpp).
    std::string cdFileBoxFileName_;
    std::unique_ptr<card::Acquisition> acquisition_;
};

// For tests: the controls, the form-level state and the run state, which the window keeps
// to itself.
struct Form1Probe {
    explicit Form1Probe(Form1& f) : ui(f.ui), state(f.state), autoCalRun(f.autoCalRun), form(f) {}
    session::Context context() { return form.context(); }
    Controls& ui;
    session::FormState& state;
    autocal::RunControl& autoCalRun;
    Form1& form;
};
inline Form1Probe testProbe(Form1& f) {
    return Form1Probe(f);
}
inline Form1Probe testProbe(const Form1& f) {
    return Form1Probe(const_cast<Form1&>(f));
}

} // namespace app
