// The window: construction, start-up, board selection, EXIT, the step highlighting and the
// calibration table over the text boxes.
#include "app/form1.h"
#include "app/form1_look.h"
#include "app/warning_picture.h"
#include "card/facts.h"
#include "session/startup.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>

#include <algorithm>
#include <vector>

namespace app {

namespace {

// The text box of a calibration field, or nothing for an index outside its set.
QLineEdit* boxOf(const Controls& ui, caldata::Field f) {
    auto pick = [&](const auto& boxes) -> QLineEdit* {
        if (f.index < 0 || static_cast<std::size_t>(f.index) >= boxes.size()) {
            return nullptr;
        }
        return boxes[static_cast<std::size_t>(f.index)];
    };
    switch (f.box) {
    case caldata::Box::AOMax:
        return pick(ui.tbxBiAOMax);
    case caldata::Box::AOMin:
        return pick(ui.tbxBiAOMin);
    case caldata::Box::AIMax:
        return pick(ui.tbxAIMaxVal);
    case caldata::Box::AIMin:
        return pick(ui.tbxAIMinVal);
    case caldata::Box::Ref10:
        return ui.tbx10VRef;
    case caldata::Box::Ref5:
        return ui.tbx5VRef;
    }
    return nullptr;
}

// Frame by frame, and in each from left to right and top to bottom.
void setNaturalTabOrder(Controls& ui) {
    // The small scroll bar beside "Active Board" is reached by Tab too: its arrow keys re-arm
    // RELOAD. A click on it leaves the focus where it was, as before.
    ui.VScroll2->setFocusPolicy(Qt::TabFocus);
    std::vector<QWidget*> order{ui.tbxTotal,  ui.tbxActive, ui.VScroll2,  ui.cmdReadEEP,
                                ui.tbx10VRef, ui.tbx5VRef,  ui.cmdAutoCal};
    for (std::size_t k = 0; k < ui.framAO.size(); ++k) {
        order.insert(order.end(), {ui.tbxBiAOMax[k], ui.cmdAOMaxAdd[k], ui.cmdAOMaxSub[k],
                                   ui.tbxBiAOMin[k], ui.cmdAOMinAdd[k], ui.cmdAOMinSub[k]});
    }
    for (std::size_t j = 0; j < ui.framAI.size(); ++j) {
        order.insert(order.end(), {ui.tbxAIMaxVal[j], ui.cmdReadMaxAI[j], ui.tbxAIMinVal[j],
                                   ui.cmdReadMinAI[j]});
    }
    order.insert(order.end(),
                 {ui.List1, ui.cmdWriteEEP, ui.cmdRecover, ui.cmdPrevious, ui.cmdNext, ui.cmdExit,
                  ui.tbxFileName, ui.cmdBrowse, ui.cmdLoadINI, ui.cmdSaveINI});
    for (std::size_t i = 0; i + 1 < order.size(); ++i) {
        QWidget::setTabOrder(order[i], order[i + 1]);
    }
}

} // namespace

Form1::Form1(Services services, QWidget* parent) : QWidget(parent), services_(std::move(services)) {
    buildLayout();
    setWindowIcon(warningIcon());
    setNaturalTabOrder(ui);
    connectHandlers();
    if (QScreen* s = screen()) {
        QRect area = s->availableGeometry();
        move(area.center() - rect().center());
    }
}

Form1::~Form1() = default;

void Form1::connectHandlers() {
    connect(ui.cmdReadEEP, &QPushButton::clicked, this, [this] { cmdReadEEP_Click(); });
    connect(ui.cmdWriteEEP, &QPushButton::clicked, this, [this] { cmdWriteEEP_Click(); });
    connect(ui.cmdRecover, &QPushButton::clicked, this, [this] { cmdRecover_Click(); });
    connect(ui.cmdExit, &QPushButton::clicked, this, [this] { cmdExit_Click(); });
    connect(ui.VScroll2, &QScrollBar::valueChanged, this, [this] { VScroll2_Change(); });
    connect(ui.cmdAutoCal, &QPushButton::clicked, this, [this] { cmdAutoCal_Click(); });
    connect(ui.cmdBrowse, &QPushButton::clicked, this, [this] { cmdBrowse_Click(); });
    connect(ui.cmdLoadINI, &QPushButton::clicked, this, [this] { cmdLoadINI_Click(); });
    connect(ui.cmdSaveINI, &QPushButton::clicked, this, [this] { cmdSaveINI_Click(); });
    for (std::size_t i = 0; i < ui.framAO.size(); ++i) {
        const auto k = static_cast<card::Int16>(i);
        connect(ui.cmdAOMaxAdd[i], &QPushButton::clicked, this,
                [this, k] { cmdAOMaxAdd_Click(k); });
        connect(ui.cmdAOMaxSub[i], &QPushButton::clicked, this,
                [this, k] { cmdAOMaxSub_Click(k); });
        connect(ui.cmdAOMinAdd[i], &QPushButton::clicked, this,
                [this, k] { cmdAOMinAdd_Click(k); });
        connect(ui.cmdAOMinSub[i], &QPushButton::clicked, this,
                [this, k] { cmdAOMinSub_Click(k); });
        // Every change of the text, typed or set by the program, runs the change handler.
        connect(ui.tbxBiAOMax[i], &QLineEdit::textChanged, this,
                [this, k] { tbxBiAOMax_Change(k); });
        connect(ui.tbxBiAOMin[i], &QLineEdit::textChanged, this,
                [this, k] { tbxBiAOMin_Change(k); });
    }
    // A value typed into any box makes what SAVE writes the technician's own.
    std::vector<QLineEdit*> boxes{ui.tbx10VRef, ui.tbx5VRef};
    for (const auto* group : {&ui.tbxBiAOMax, &ui.tbxBiAOMin}) {
        boxes.insert(boxes.end(), group->begin(), group->end());
    }
    for (const auto* group : {&ui.tbxAIMaxVal, &ui.tbxAIMinVal}) {
        boxes.insert(boxes.end(), group->begin(), group->end());
    }
    for (QLineEdit* b : boxes) {
        connect(b, &QLineEdit::textEdited, this, [this] { state.valuesSource = {}; });
    }
    for (std::size_t i = 0; i < ui.framAI.size(); ++i) {
        const auto j = static_cast<card::Int16>(i);
        connect(ui.cmdReadMaxAI[i], &QPushButton::clicked, this,
                [this, j] { cmdReadMaxAI_Click(j); });
        connect(ui.cmdReadMinAI[i], &QPushButton::clicked, this,
                [this, j] { cmdReadMinAI_Click(j); });
    }
}

session::Context Form1::context() {
    return session::Context{
        services_.driver,  services_.clock, services_.pump,
        services_.prompts, state,           [this] { return ui.tbxActive->text().toStdString(); },
        services_.journal};
}

void Form1::Form_Load() {
    auto ctx = context();
    const session::FoundCards found = session::findCards(ctx);
    for (std::size_t i = 0; i < found.infoFailed.size(); ++i) {
        services_.prompts.message("Get Card Information Err");
    }
    ui.tbxTotal->setText(QString::number(found.boards));
    if (found.boards == 1) {
        ui.tbxActive->setText(QStringLiteral("0"));
        cmdReadEEP_Click();
    }
    OpenAllSteps();
}

void Form1::report(const core::Status& outcome) {
    if (!outcome) {
        services_.prompts.message(outcome.refusal());
    }
}

void Form1::VScroll2_Change() {
    // During an automatic run RELOAD stays disabled: a RELOAD then would swap the table and
    // the register window under the run, mixing two loads (or two boards) in one calibration.
    // The run enables it again when it ends.
    ui.cmdReadEEP->setEnabled(!autoCalRun.running());
    ui.cmdWriteEEP->setEnabled(false);
    ui.cmdRecover->setEnabled(false);
}

void Form1::cmdExit_Click() {
    state.wErrCode = services_.driver.Drvx_DriverClose();
    if (services_.endProgram) {
        services_.endProgram();
    }
}

void Form1::closeEvent(QCloseEvent* event) {
    // Closing the window ends the program at once, without closing the driver, even while a
    // long operation is processing events.
    event->accept();
    if (services_.endProgram) {
        services_.endProgram();
    }
}

void Form1::OpenAllSteps() {
    ui.framRef->setEnabled(true);
    for (QGroupBox* f : ui.framAO) {
        f->setEnabled(true);
    }
    for (QGroupBox* f : ui.framAI) {
        f->setEnabled(true);
    }
    ui.framNOTE->setVisible(true);
    ui.cmdNext->setVisible(false);
    ui.cmdPrevious->setVisible(false);
}

namespace {

void setStep(QGroupBox* f, QLabel* a, QLabel* b, bool on, const QColor& colour) {
    f->setEnabled(on);
    look::paintBack(f, colour);
    look::paintBack(a, colour);
    look::paintBack(b, colour);
}

// Every calibration frame enabled or disabled, in the button-face colour.
void setAllSteps(const Controls& ui, bool on) {
    const QColor face = look::buttonFace();
    setStep(ui.framRef, ui.lbl5VRef, ui.lbl10VRef, on, face);
    for (std::size_t k = 0; k < ui.framAO.size(); ++k) {
        setStep(ui.framAO[k], ui.lblAOMax[k], ui.lblAOMin[k], on, face);
    }
    for (std::size_t j = 0; j < ui.framAI.size(); ++j) {
        setStep(ui.framAI[j], ui.lblAIMax[j], ui.lblAIMin[j], on, face);
    }
}

} // namespace

void Form1::reopenSteps() {
    setAllSteps(ui, true);
}

bool Form1::refusedDuringRun(const char* action) {
    if (!autoCalRun.running()) {
        return false;
    }
    // Built by appending: "literal" + std::string trips a false -Wrestrict of GCC 12 at -O3.
    std::string text = "\"";
    text.append(action).append("\": the automatic calibration is still running and keeps the "
                               "calibration table and the outputs to itself. Let it finish, or "
                               "click STOP, then try again. Nothing was changed.");
    services_.prompts.message(text);
    return true;
}

void Form1::HighlightStep(card::Int16 wStepNo, card::Long lColor) {
    // Each frame is set once to its final state, so a frame that stays as it was is neither
    // changed nor repainted (the current one is not disabled and enabled again).
    const QColor highlight = look::fromColourValue(lColor);
    const QColor face = look::buttonFace();
    auto show = [&](int step, QGroupBox* f, QLabel* a, QLabel* b) {
        const bool current = step == wStepNo;
        setStep(f, a, b, current, current ? highlight : face);
    };
    for (std::size_t k = 0; k < ui.framAO.size(); ++k) {
        show(static_cast<int>(k), ui.framAO[k], ui.lblAOMax[k], ui.lblAOMin[k]);
    }
    show(card::kReferenceStep, ui.framRef, ui.lbl5VRef, ui.lbl10VRef);
    for (std::size_t j = 0; j < ui.framAI.size(); ++j) {
        show(card::kFirstInputStep + static_cast<int>(j), ui.framAI[j], ui.lblAIMax[j],
             ui.lblAIMin[j]);
    }
}

std::string Form1::text(caldata::Field f) const {
    QLineEdit* b = boxOf(ui, f);
    return b ? b->text().toStdString() : std::string();
}

void Form1::setText(caldata::Field f, const std::string& text) {
    QLineEdit* b = boxOf(ui, f);
    if (!b) {
        return;
    }
    const QString t = QString::fromStdString(text);
    if (b->text() != t) {
        b->setText(t); // an output box's change handler runs through textChanged
    }
}

} // namespace app
