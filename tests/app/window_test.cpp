#include "app/form1_look.h"
#include "app/qt_platform.h"
#include "app_harness.h"

#include <QEvent>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>

#include <optional>
#include <string_view>
#include <vector>

namespace {

using namespace app_testing;
using app::look::buttonFace;

const QColor kGreen(0, 255, 0);
using Widgets = std::initializer_list<const QWidget*>;

QColor back(const QWidget* w) {
    return w->palette().color(QPalette::Window);
}
QColor base(const QWidget* w) {
    return w->palette().color(QPalette::Base);
}

TEST(Window, CaptionSizeAndFrames) {
    Harness h;
    auto& f = *h.form;
    EXPECT_EQ(f.windowTitle(), "MX-4815 Calibration Program(2014/04/11 Ver:1.0)");
    EXPECT_EQ(f.size(), QSize(608, 638));
    EXPECT_EQ(app::testProbe(f).ui.Frame1->title(), "Board Infomation");
    EXPECT_EQ(app::testProbe(f).ui.framRef->title(), "Voltage Reference");
    EXPECT_EQ(app::testProbe(f).ui.framAOCal->title(), "Analog Output Calibration");
    EXPECT_EQ(app::testProbe(f).ui.framAICal->title(), "Analog Input Calibration");
    EXPECT_EQ(app::testProbe(f).ui.framNOTE->title(), "NOTE");
    EXPECT_EQ(app::testProbe(f).ui.Frame3->title(), "Calibration Data File Import/Export");
    EXPECT_EQ(app::testProbe(f).ui.Frame7->title(), "CH0");
    EXPECT_EQ(app::testProbe(f).ui.Frame10->title(), "CH1");
    // Positions: twips / 15, relative to the parent.
    EXPECT_EQ(app::testProbe(f).ui.cmdExit->geometry(), QRect(400, 552, 201, 25));
    EXPECT_EQ(app::testProbe(f).ui.Frame3->geometry(), QRect(0, 576, 601, 57));
    EXPECT_EQ(app::testProbe(f).ui.framAO[7]->parentWidget(), app::testProbe(f).ui.Frame10);
    EXPECT_EQ(app::testProbe(f).ui.framAO[7]->geometry(), QRect(192, 96, 177, 81));
    EXPECT_EQ(app::testProbe(f).ui.framAO[1]->geometry(), QRect(192, 16, 177, 81));
    EXPECT_EQ(app::testProbe(f).ui.framAO[2]->geometry(), QRect(8, 96, 177, 81));
    EXPECT_EQ(app::testProbe(f).ui.framAI[5]->geometry(), QRect(8, 376, 185, 73));
    EXPECT_EQ(app::testProbe(f).ui.tbxBiAOMin[3]->geometry(), QRect(64, 48, 49, 25));
    EXPECT_EQ(app::testProbe(f).ui.VScroll2->geometry(), QRect(120, 48, 17, 25));
}

TEST(Window, SimulatedCardIsNamedInTheCaption) {
    Harness h(true);
    EXPECT_EQ(h.form->windowTitle(),
              "MX-4815 Calibration Program(2014/04/11 Ver:1.0) [simulated card]");
}

TEST(Window, TextsOfTheCalibrationFrames) {
    Harness h;
    auto& f = *h.form;
    const char* aoCaptions[] = {"Unipolar 5V", "Unipolar 10V", "Bipolar 5V", "Bipolar 10V"};
    const char* aoMax[] = {"+5V (Hex)", "+10V (Hex)", "+5V(Hex)", "+10V(Hex)",
                           "+5V (Hex)", "+10V (Hex)", "+5V(Hex)", "+10V (Hex)"};
    const char* aoMin[] = {"0V (Hex)", "+0V (Hex)", "-5V (Hex)", "-10V (Hex)",
                           "0V(Hex)",  "0V(Hex)",   "-5V (Hex)", "-10V(Hex)"};
    for (std::size_t k = 0; k < 8; ++k) {
        EXPECT_EQ(app::testProbe(f).ui.framAO[k]->title(), aoCaptions[k % 4]) << k;
        EXPECT_EQ(app::testProbe(f).ui.lblAOMax[k]->text(), aoMax[k]) << k;
        EXPECT_EQ(app::testProbe(f).ui.lblAOMin[k]->text(), aoMin[k]) << k;
        EXPECT_EQ(app::testProbe(f).ui.tbxBiAOMax[k]->text(), "0");
        EXPECT_EQ(app::testProbe(f).ui.tbxBiAOMin[k]->text(), "0");
        EXPECT_EQ(app::testProbe(f).ui.cmdAOMaxAdd[k]->text(), "+");
        EXPECT_EQ(app::testProbe(f).ui.cmdAOMinSub[k]->text(), "-");
        EXPECT_EQ(app::testProbe(f).ui.framAO[k]->parentWidget(),
                  k < 4 ? app::testProbe(f).ui.Frame7 : app::testProbe(f).ui.Frame10);
    }
    const char* aiCaptions[] = {"20.48V", "10.24V", "5.12V", "2.56V", "1.28V", "0.64V"};
    const char* aiMax[] = {"10V Ref", "10V Ref", "5V Ref", "2.54V", "1.27V", "0.63V"};
    for (std::size_t j = 0; j < 6; ++j) {
        EXPECT_EQ(app::testProbe(f).ui.framAI[j]->title(), aiCaptions[j]);
        EXPECT_EQ(app::testProbe(f).ui.lblAIMax[j]->text(), aiMax[j]);
        EXPECT_EQ(app::testProbe(f).ui.lblAIMin[j]->text(), "0V(Hex)");
        EXPECT_EQ(app::testProbe(f).ui.tbxAIMaxVal[j]->text(), "7FFF");
        EXPECT_EQ(app::testProbe(f).ui.tbxAIMinVal[j]->text(), "0");
        EXPECT_EQ(app::testProbe(f).ui.cmdReadMaxAI[j]->text(), "Read");
        EXPECT_TRUE(app::testProbe(f).ui.cmdReadMaxAI[j]->isHidden());
        EXPECT_TRUE(app::testProbe(f).ui.cmdReadMinAI[j]->isHidden());
    }
    EXPECT_EQ(app::testProbe(f).ui.lbl10VRef->text(), "10V Ref(TP2)");
    EXPECT_EQ(app::testProbe(f).ui.lbl5VRef->text(), "5V Ref(TP3)");
    EXPECT_EQ(app::testProbe(f).ui.tbx10VRef->text(), "10.0");
    EXPECT_EQ(app::testProbe(f).ui.tbx5VRef->text(), "5.0");
    EXPECT_EQ(app::testProbe(f).ui.Label2->text(), "(V)");
    EXPECT_EQ(app::testProbe(f).ui.Label3->text(), "(V)");
}

TEST(Window, ButtonsBoardBoxesAndNote) {
    Harness h;
    auto& f = *h.form;
    EXPECT_EQ(app::testProbe(f).ui.Label1->text(), "Total Board");
    EXPECT_EQ(app::testProbe(f).ui.Label4->text(), "Active Board");
    EXPECT_EQ(app::testProbe(f).ui.tbxTotal->text(), "0");
    EXPECT_EQ(app::testProbe(f).ui.tbxActive->text(), "0");
    EXPECT_EQ(app::testProbe(f).ui.tbxFileName->text(), "");

    struct ButtonState {
        QPushButton* button;
        const char* caption;
        bool enabled;
        bool hidden;
    };
    const ButtonState buttons[] = {
        {app::testProbe(f).ui.cmdReadEEP, "RELOAD", true, false},
        {app::testProbe(f).ui.cmdAutoCal, "START", true, false},
        {app::testProbe(f).ui.cmdWriteEEP, "SAVE", false, false},
        {app::testProbe(f).ui.cmdRecover, "RECOVER", false, false},
        {app::testProbe(f).ui.cmdPrevious, "< PREVIOUS", true, true},
        {app::testProbe(f).ui.cmdNext, "NEXT >", true, true},
        {app::testProbe(f).ui.cmdExit, "EXIT", true, false},
        {app::testProbe(f).ui.cmdBrowse, "Broswer(&B)", true, false},
        {app::testProbe(f).ui.cmdLoadINI, "Import", false, false},
        {app::testProbe(f).ui.cmdSaveINI, "Export", false, false},
    };
    for (const auto& b : buttons) {
        EXPECT_EQ(b.button->text(), b.caption);
        EXPECT_EQ(b.button->isEnabled(), b.enabled) << b.caption;
        EXPECT_EQ(b.button->isHidden(), b.hidden) << b.caption;
    }

    ASSERT_EQ(app::testProbe(f).ui.List1->count(), 4);
    EXPECT_EQ(app::testProbe(f).ui.List1->item(0)->text(), "This progarm will change the default");
    EXPECT_EQ(app::testProbe(f).ui.List1->item(1)->text(),
              "setting from board. The error setting ");
    EXPECT_EQ(app::testProbe(f).ui.List1->item(2)->text(), "will damage your device.Please be ");
    EXPECT_EQ(app::testProbe(f).ui.List1->item(3)->text(), "careful use of this program. ");
    EXPECT_FALSE(app::testProbe(f).ui.framNOTE->isHidden());
}

TEST(Window, WarningPictureIsARedBorderedTriangleWithAMark) {
    Harness h;
    const QPixmap picture = app::testProbe(*h.form).ui.Image1->pixmap();
    ASSERT_EQ(picture.size(), QSize(90, 74));
    const QImage image = picture.toImage();
    auto isRed = [](QColor c) { return c.red() > 180 && c.green() < 60 && c.blue() < 60; };
    // Left border of the triangle, near its base; the mark in the middle; transparent corners.
    EXPECT_TRUE(isRed(image.pixelColor(8, 68)));
    EXPECT_TRUE(isRed(image.pixelColor(45, 6)));
    EXPECT_EQ(image.pixelColor(45, 35), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(45, 58), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(1, 1).alpha(), 0);
    EXPECT_EQ(image.pixelColor(88, 1).alpha(), 0);
}

TEST(Window, Colours) {
    Harness h;
    auto& f = *h.form;
    const QColor lightGreen(192, 255, 192), lightYellow(255, 255, 192), yellow(255, 255, 0);
    for (std::size_t k = 0; k < 8; ++k) {
        EXPECT_EQ(base(app::testProbe(f).ui.tbxBiAOMax[k]), lightGreen);
        EXPECT_EQ(base(app::testProbe(f).ui.tbxBiAOMin[k]), lightGreen);
        EXPECT_EQ(back(app::testProbe(f).ui.framAO[k]), buttonFace());
        EXPECT_TRUE(app::testProbe(f).ui.framAO[k]->autoFillBackground());
        EXPECT_EQ(back(app::testProbe(f).ui.lblAOMax[k]), buttonFace());
    }
    for (std::size_t j = 0; j < 6; ++j) {
        EXPECT_EQ(base(app::testProbe(f).ui.tbxAIMaxVal[j]), lightYellow);
        EXPECT_EQ(base(app::testProbe(f).ui.tbxAIMinVal[j]), lightYellow);
        EXPECT_EQ(back(app::testProbe(f).ui.lblAIMin[j]), buttonFace());
    }
    EXPECT_EQ(base(app::testProbe(f).ui.tbx10VRef), lightGreen);
    EXPECT_EQ(base(app::testProbe(f).ui.tbx5VRef), lightGreen);
    EXPECT_EQ(base(app::testProbe(f).ui.tbxActive), lightGreen);
    EXPECT_EQ(base(app::testProbe(f).ui.tbxTotal), lightYellow);
    EXPECT_EQ(base(app::testProbe(f).ui.tbxFileName), lightYellow);
    EXPECT_EQ(base(app::testProbe(f).ui.List1), yellow);
    EXPECT_EQ(back(app::testProbe(f).ui.framRef), buttonFace());
    EXPECT_EQ(back(app::testProbe(f).ui.lbl10VRef), buttonFace());
}

TEST(Window, Fonts) {
    Harness h;
    auto& f = *h.form;
    auto expectFont = [](const QWidget* w, const char* family, double points) {
        // Off Windows, "MS Sans Serif" is Liberation Sans at the size that stands in for it.
        if (std::string_view(family) == "MS Sans Serif") {
            family = "Liberation Sans";
            points = app::look::msSansSerifStandIn(points);
        }
        EXPECT_EQ(w->font().family(), family) << w->objectName().toStdString();
        EXPECT_DOUBLE_EQ(w->font().pointSizeF(), points) << w->objectName().toStdString();
    };
    for (const QWidget* w :
         Widgets{app::testProbe(f).ui.Frame1, app::testProbe(f).ui.framRef,
                 app::testProbe(f).ui.framAOCal, app::testProbe(f).ui.framAICal,
                 app::testProbe(f).ui.framNOTE, app::testProbe(f).ui.Frame3,
                 app::testProbe(f).ui.cmdReadEEP, app::testProbe(f).ui.cmdAutoCal,
                 app::testProbe(f).ui.cmdExit, app::testProbe(f).ui.cmdWriteEEP,
                 app::testProbe(f).ui.cmdSaveINI}) {
        expectFont(w, "MS Sans Serif", 12.0);
    }
    expectFont(app::testProbe(f).ui.cmdRecover, "Arial", 12.0);
    expectFont(app::testProbe(f).ui.cmdPrevious, "MS Sans Serif", 13.5);
    expectFont(app::testProbe(f).ui.cmdNext, "MS Sans Serif", 13.5);
    for (const QWidget* w :
         Widgets{app::testProbe(f).ui.tbxBiAOMax[0], app::testProbe(f).ui.tbxBiAOMin[7],
                 app::testProbe(f).ui.tbxAIMaxVal[5], app::testProbe(f).ui.tbxTotal,
                 app::testProbe(f).ui.tbxActive, app::testProbe(f).ui.Label1,
                 app::testProbe(f).ui.Label4}) {
        expectFont(w, "MS Sans Serif", 9.75);
    }
    // Controls inside the large-font frames keep the window's own font.
    const double standard = f.font().pointSizeF();
    EXPECT_LT(standard, app::look::msSansSerifStandIn(12.0));
    for (const QWidget* w :
         Widgets{app::testProbe(f).ui.framAO[0], app::testProbe(f).ui.lblAOMax[0],
                 app::testProbe(f).ui.framAI[0], app::testProbe(f).ui.lbl10VRef,
                 app::testProbe(f).ui.tbx10VRef, app::testProbe(f).ui.List1,
                 app::testProbe(f).ui.tbxFileName}) {
        EXPECT_DOUBLE_EQ(w->font().pointSizeF(), standard) << w->objectName().toStdString();
    }
    // A fallback face is chosen where the Windows face is missing.
    EXPECT_EQ(app::testProbe(f).ui.Frame1->font().styleHint(), QFont::SansSerif);
}

// Every step frame with its two labels, steps 0..14.
struct Step {
    QGroupBox* frame;
    QLabel* a;
    QLabel* b;
};

std::vector<Step> steps(app::Form1& f) {
    std::vector<Step> s;
    for (std::size_t k = 0; k < 8; ++k) {
        s.push_back({app::testProbe(f).ui.framAO[k], app::testProbe(f).ui.lblAOMax[k],
                     app::testProbe(f).ui.lblAOMin[k]});
    }
    s.push_back({app::testProbe(f).ui.framRef, app::testProbe(f).ui.lbl5VRef,
                 app::testProbe(f).ui.lbl10VRef});
    for (std::size_t j = 0; j < 6; ++j) {
        s.push_back({app::testProbe(f).ui.framAI[j], app::testProbe(f).ui.lblAIMax[j],
                     app::testProbe(f).ui.lblAIMin[j]});
    }
    return s;
}

// Only `lit` (if any) is enabled and green; every other step frame is disabled and plain.
void expectOnly(app::Form1& f, std::optional<int> lit) {
    const auto all = steps(f);
    for (int s = 0; s < 15; ++s) {
        const Step& st = all[static_cast<std::size_t>(s)];
        const bool on = lit && *lit == s;
        const QColor want = on ? kGreen : buttonFace();
        EXPECT_EQ(st.frame->isEnabled(), on) << "step " << s;
        EXPECT_EQ(back(st.frame), want) << "step " << s;
        EXPECT_EQ(back(st.a), want) << "step " << s;
        EXPECT_EQ(back(st.b), want) << "step " << s;
    }
}

TEST(HighlightStep, OutputFrameStep) {
    Harness h;
    auto& f = *h.form;
    f.HighlightStep(0, autocal::kStepColour);
    expectOnly(f, 0);
    // The boxes keep their own colour; those of disabled frames are unusable.
    EXPECT_EQ(base(app::testProbe(f).ui.tbxBiAOMax[0]), QColor(192, 255, 192));
    EXPECT_TRUE(app::testProbe(f).ui.tbxBiAOMax[0]->isEnabled());
    EXPECT_FALSE(app::testProbe(f).ui.tbxBiAOMax[1]->isEnabled());
    EXPECT_FALSE(app::testProbe(f).ui.cmdAOMaxAdd[4]->isEnabled());
    EXPECT_FALSE(app::testProbe(f).ui.tbx10VRef->isEnabled());
    // Frames outside the steps are not touched.
    EXPECT_TRUE(app::testProbe(f).ui.Frame7->isEnabled());
    EXPECT_TRUE(app::testProbe(f).ui.cmdExit->isEnabled());
    EXPECT_TRUE(app::testProbe(f).ui.cmdReadEEP->isEnabled());
}

TEST(HighlightStep, ReferenceAndInputSteps) {
    Harness h;
    auto& f = *h.form;
    f.HighlightStep(8, autocal::kStepColour);
    expectOnly(f, 8);
    EXPECT_TRUE(app::testProbe(f).ui.tbx5VRef->isEnabled());
    f.HighlightStep(9, autocal::kStepColour);
    expectOnly(f, 9);
    EXPECT_EQ(app::testProbe(f).ui.framAI[0]->title(), "20.48V");
    f.HighlightStep(14, autocal::kStepColour);
    expectOnly(f, 14);
    EXPECT_EQ(app::testProbe(f).ui.framAI[5]->title(), "0.64V");
}

TEST(HighlightStep, StepsOutsideTheTableLeaveEveryFrameDisabledAndPlain) {
    for (card::Int16 step : {card::Int16{-1}, card::Int16{15}, card::Int16{-32768}}) {
        Harness h;
        h.form->HighlightStep(3, autocal::kStepColour);
        h.form->HighlightStep(step, autocal::kStepColour);
        expectOnly(*h.form, std::nullopt);
    }
}

TEST(HighlightStep, SecondCallReplacesTheFirstAndOnlyStartUpOpensAllAgain) {
    Harness h;
    auto& f = *h.form;
    f.HighlightStep(3, autocal::kStepColour);
    f.HighlightStep(12, autocal::kStepColour);
    expectOnly(f, 12);
    // Another colour value: 0x00BBGGRR.
    f.HighlightStep(5, 0x00FF0000);
    EXPECT_EQ(back(app::testProbe(f).ui.framAO[5]), QColor(0, 0, 255));
    EXPECT_EQ(back(app::testProbe(f).ui.framAI[3]), buttonFace());

    f.OpenAllSteps();
    for (const Step& s : steps(f)) {
        EXPECT_TRUE(s.frame->isEnabled());
    }
}

// Counts the enabled-state and palette changes a widget receives.
struct ChangeCounter : QObject {
    int changes = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        changes += e->type() == QEvent::EnabledChange || e->type() == QEvent::PaletteChange;
        return false;
    }
};

TEST(HighlightStep, TheSameStepAgainChangesNoFrame) {
    Harness h;
    auto& f = *h.form;
    f.HighlightStep(4, autocal::kStepColour);
    ChangeCounter lit;
    ChangeCounter other;
    app::testProbe(f).ui.framAO[4]->installEventFilter(&lit);
    app::testProbe(f).ui.framAI[2]->installEventFilter(&other);
    f.HighlightStep(4, autocal::kStepColour);
    expectOnly(f, 4);
    EXPECT_EQ(lit.changes, 0);
    EXPECT_EQ(other.changes, 0);
}

TEST(CalibrationTable, FieldsAddressTheirOwnBoxes) {
    Harness h;
    auto& f = *h.form;
    using namespace caldata;
    using testing::_;
    app::testProbe(f).state.wAORange = {0, 2, 1, 3};
    // Setting an output box runs its change handling, which drives that output at once, as
    // typing would; setting the text it already holds changes nothing.
    {
        testing::InSequence order;
        EXPECT_CALL(h.driver, Drvx_ConfigAO(0, 1, 1)).WillOnce(testing::Return(0));
        EXPECT_CALL(h.driver, Drvx_WriteAOVoltageH(0, 1, _)).WillOnce(testing::Return(0));
        EXPECT_CALL(h.driver, Drvx_ConfigAO(0, 0, 2)).WillOnce(testing::Return(0));
        EXPECT_CALL(h.driver, Drvx_WriteAOVoltageH(0, 0, _)).WillOnce(testing::Return(0));
    }
    f.setText(aoMax(6), "1A2B");
    f.setText(aoMin(1), "FFFE");
    f.setText(aoMin(1), "FFFE");
    f.setText(aiMax(0), "7F00");
    f.setText(aiMin(5), "12");
    f.setText(ref10(), "9.9987");
    f.setText(ref5(), "5.0012");
    EXPECT_EQ(app::testProbe(f).ui.tbxBiAOMax[6]->text(), "1A2B");
    EXPECT_EQ(app::testProbe(f).ui.tbxBiAOMin[1]->text(), "FFFE");
    EXPECT_EQ(app::testProbe(f).ui.tbxAIMaxVal[0]->text(), "7F00");
    EXPECT_EQ(app::testProbe(f).ui.tbxAIMinVal[5]->text(), "12");
    EXPECT_EQ(app::testProbe(f).ui.tbx10VRef->text(), "9.9987");
    EXPECT_EQ(app::testProbe(f).ui.tbx5VRef->text(), "5.0012");
    EXPECT_EQ(f.text(aoMax(6)), "1A2B");
    EXPECT_EQ(f.text(ref5()), "5.0012");
    EXPECT_EQ(app::testProbe(f).ui.tbxBiAOMax[5]->text(), "0");

    // Text is UTF-8 both ways; an index outside the set reads empty and writes nothing.
    app::testProbe(f).ui.tbx10VRef->setText(QString::fromUtf8("10,0 \u00b5V"));
    EXPECT_EQ(f.text(ref10()), "10,0 \u00b5V");
    EXPECT_EQ(f.text(aoMax(8)), "");
    EXPECT_EQ(f.text(aiMin(-1)), "");
    f.setText(aoMin(8), "1");
    f.setText(aiMax(6), "1");
}

// Messages name a box by its frame and row label: the names must be what the window shows.
TEST(CalibrationTable, MessageNamesOfTheBoxesAreTheWindowsCaptions) {
    Harness h;
    auto& f = *h.form;
    using caldata::describe;
    for (int k = 0; k < 8; ++k) {
        const auto i = static_cast<std::size_t>(k);
        const QString row =
            QStringLiteral("CH%1 %2 ").arg(k / 4).arg(app::testProbe(f).ui.framAO[i]->title());
        EXPECT_EQ(describe(caldata::aoMax(k)),
                  (row + app::testProbe(f).ui.lblAOMax[i]->text()).toStdString());
        EXPECT_EQ(describe(caldata::aoMin(k)),
                  (row + app::testProbe(f).ui.lblAOMin[i]->text()).toStdString());
    }
    for (int j = 0; j < 6; ++j) {
        const auto i = static_cast<std::size_t>(j);
        const QString row = app::testProbe(f).ui.framAI[i]->title() + QLatin1Char(' ');
        EXPECT_EQ(describe(caldata::aiMax(j)),
                  (row + app::testProbe(f).ui.lblAIMax[i]->text()).toStdString());
        EXPECT_EQ(describe(caldata::aiMin(j)),
                  (row + app::testProbe(f).ui.lblAIMin[i]->text()).toStdString());
    }
    EXPECT_EQ(describe(caldata::ref10()), app::testProbe(f).ui.lbl10VRef->text().toStdString());
    EXPECT_EQ(describe(caldata::ref5()), app::testProbe(f).ui.lbl5VRef->text().toStdString());
}

TEST(QtPlatform, WaitForEventsReturnsWhenAnEventArrivesAndWithNothingToWaitFor) {
    app::QtEventPump pump;
    bool fired = false;
    QTimer::singleShot(5, [&] { fired = true; });
    // Blocks until the timer's event arrives (far sooner than the 30 s allowed) and
    // processes it; a pump that did not wait would return with the event still pending.
    while (!fired) {
        pump.waitForEvents(30.0);
    }
    EXPECT_TRUE(fired);
    pump.waitForEvents(0.0); // nothing pending and no time to wait: returns at once
}

TEST(Window, HighlightingLeavesThePalettesOfTheControlsInsideTheFramesAlone) {
    // A new palette on every highlight made the style cache its pictures anew each time: the
    // memory grew with every run. The frames and labels change colour, their controls not.
    Harness h;
    auto& ui = app::testProbe(*h.form).ui;
    const std::vector<QWidget*> controls{ui.tbxBiAOMax[3], ui.cmdAOMaxAdd[3], ui.cmdAOMinSub[7],
                                         ui.tbxAIMinVal[5], ui.tbx10VRef};
    std::vector<qint64> keys;
    for (QWidget* w : controls) {
        keys.push_back(w->palette().cacheKey());
    }
    for (card::Int16 step : {3, 8, 7, 14, 8, 3}) {
        h.form->HighlightStep(step, autocal::kStepColour);
    }
    for (std::size_t i = 0; i < controls.size(); ++i) {
        EXPECT_EQ(controls[i]->palette().cacheKey(), keys[i]) << i;
    }
    EXPECT_EQ(ui.framAO[3]->palette().color(QPalette::Window),
              app::look::fromColourValue(autocal::kStepColour));
}

TEST(QtPlatform, FileFilterInQtsForm) {
    EXPECT_EQ(app::qtFileFilter("ini(*.ini)|*.ini"), "ini(*.ini)");
    EXPECT_EQ(app::qtFileFilter("Text|*.txt;*.log"), "Text (*.txt *.log)");
    EXPECT_EQ(app::qtFileFilter("ini(*.ini)|*.ini|All|*.*"), "ini(*.ini);;All (*.*)");
    EXPECT_EQ(app::qtFileFilter(""), "All files (*)");
}

} // namespace
