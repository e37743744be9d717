// The window's controls: positions from the twips of the original form (15 twips to a pixel),
// captions, colours and fonts.
#include "app/form1.h"
#include "app/form1_look.h"
#include "app/warning_picture.h"
#include "card/facts.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>

#include <string_view>
#include <vector>

namespace app {

namespace {

// Left, Top, Width, Height in twips to pixels.
QRect twips(int left, int top, int width, int height) {
    auto px = [](int t) { return (t + 7) / 15; };
    return QRect(px(left), px(top), px(width), px(height));
}

QString text(std::string_view caption) {
    return QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size()));
}

void paintBase(QWidget* w, const QColor& colour) {
    QPalette p = w->palette();
    p.setColor(QPalette::Base, colour);
    w->setPalette(p);
}

// Names, places and sets the font of a new control.
template <class W> W* place(W* w, const QString& name, QRect geometry, const QFont& font) {
    w->setObjectName(name);
    w->setGeometry(geometry);
    w->setFont(font);
    return w;
}

QGroupBox* frame(QWidget* parent, const char* name, std::string_view caption, QRect geometry,
                 const QFont& font) {
    auto* f = place(new QGroupBox(text(caption), parent), QString::fromUtf8(name), geometry, font);
    f->setAutoFillBackground(true);
    look::paintBack(f, look::buttonFace());
    return f;
}

QLabel* label(QWidget* parent, const QString& name, std::string_view caption, QRect geometry,
              const QFont& font) {
    auto* l = place(new QLabel(text(caption), parent), name, geometry, font);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    l->setAutoFillBackground(true);
    look::paintBack(l, look::buttonFace());
    return l;
}

QLineEdit* box(QWidget* parent, const QString& name, const char* text, QRect geometry,
               const QFont& font, const QColor& back) {
    auto* b = place(new QLineEdit(QString::fromUtf8(text), parent), name, geometry, font);
    paintBase(b, back);
    return b;
}

QPushButton* button(QWidget* parent, const QString& name, const char* caption, QRect geometry,
                    const QFont& font) {
    auto* b = place(new QPushButton(QString::fromUtf8(caption), parent), name, geometry, font);
    b->setAutoDefault(false);
    return b;
}

QString indexed(const char* name, int i) {
    return QString::fromUtf8(name) + QLatin1Char('(') + QString::number(i) + QLatin1Char(')');
}

// What the controls keep through what the program does to them: the boxes the program fills
// show the start of what it puts there (a code box takes a smaller size for an eight-digit
// code, the others show a long text in their tooltip), and the controls inside the
// calibration frames keep their palettes through the highlighting.
void settleControls(const Controls& ui) {
    for (QLineEdit* b : {ui.tbxTotal, ui.tbxActive}) {
        look::keepReadable(b, look::Overflow::ShrinkToFit);
    }
    for (const auto& boxes : {ui.tbxBiAOMax, ui.tbxBiAOMin}) {
        for (QLineEdit* b : boxes) {
            look::keepReadable(b, look::Overflow::ShrinkToFit);
        }
    }
    for (const auto& boxes : {ui.tbxAIMaxVal, ui.tbxAIMinVal}) {
        for (QLineEdit* b : boxes) {
            look::keepReadable(b, look::Overflow::ShrinkToFit);
        }
    }
    for (QLineEdit* b : {ui.tbx10VRef, ui.tbx5VRef, ui.tbxFileName}) {
        look::keepReadable(b, look::Overflow::Tooltip);
    }

    std::vector<QGroupBox*> steps{ui.framRef};
    steps.insert(steps.end(), ui.framAO.begin(), ui.framAO.end());
    steps.insert(steps.end(), ui.framAI.begin(), ui.framAI.end());
    for (QGroupBox* frame : steps) {
        for (QWidget* w : frame->findChildren<QWidget*>()) {
            if (qobject_cast<QLabel*>(w) == nullptr) {
                look::keepOwnPalette(w);
            }
        }
    }
}

} // namespace

void Form1::buildLayout() {
    const QFont standard = look::defaultFont();
    const QFont large = look::largeFont();
    const QFont code = look::codeFont();
    setFont(standard);
    setWindowTitle(QString::fromUtf8(look::kCaption) +
                   (services_.simulated ? QString::fromUtf8(look::kSimulatedSuffix) : QString()));
    setFixedSize(twips(0, 0, 9120, 9570).size());

    // Board selection.
    ui.Frame1 = frame(this, "Frame1", "Board Infomation", twips(0, 0, 3735, 1335), large);
    ui.Label1 = label(ui.Frame1, "Label1", "Total Board", twips(120, 360, 1215, 255), code);
    ui.tbxTotal =
        box(ui.Frame1, "tbxTotal", "0", twips(1320, 360, 495, 285), code, look::lightYellow());
    ui.Label4 = label(ui.Frame1, "Label4", "Active Board", twips(120, 720, 1215, 255), code);
    ui.tbxActive =
        box(ui.Frame1, "tbxActive", "0", twips(1320, 720, 495, 285), code, look::lightGreen());
    ui.VScroll2 = new QScrollBar(Qt::Vertical, ui.Frame1);
    ui.VScroll2->setObjectName("VScroll2");
    ui.VScroll2->setGeometry(twips(1800, 720, 255, 375));
    ui.VScroll2->setRange(0, 32767);
    ui.VScroll2->setSingleStep(1);
    ui.VScroll2->setPageStep(1);
    ui.VScroll2->setValue(0);
    ui.cmdReadEEP = button(ui.Frame1, "cmdReadEEP", "RELOAD", twips(2160, 240, 1455, 855), large);

    // Reference voltages.
    ui.framRef = frame(this, "framRef", "Voltage Reference", twips(3840, 0, 2775, 1335), large);
    ui.lbl10VRef = label(ui.framRef, "lbl10VRef", card::kReferences[0].caption,
                         twips(120, 360, 1095, 375), standard);
    ui.tbx10VRef = box(ui.framRef, "tbx10VRef", "10.0", twips(1320, 240, 855, 375), standard,
                       look::lightGreen());
    ui.Label2 = label(ui.framRef, "Label2", "(V)", twips(2160, 240, 375, 255), standard);
    ui.lbl5VRef = label(ui.framRef, "lbl5VRef", card::kReferences[1].caption,
                        twips(120, 720, 1095, 255), standard);
    ui.tbx5VRef = box(ui.framRef, "tbx5VRef", "5.0", twips(1320, 600, 855, 375), standard,
                      look::lightGreen());
    ui.Label3 = label(ui.framRef, "Label3", "(V)", twips(2160, 600, 375, 255), standard);

    ui.cmdAutoCal = button(this, "cmdAutoCal", "START", twips(6720, 120, 2295, 1215), large);

    // Analog outputs: two channel frames, each with four ranges in a two-by-two grid.
    ui.framAOCal =
        frame(this, "framAOCal", "Analog Output Calibration", twips(0, 1320, 5895, 5895), large);
    ui.Frame7 = frame(ui.framAOCal, "Frame7", "CH0", twips(120, 240, 5655, 2775), standard);
    ui.Frame10 = frame(ui.framAOCal, "Frame10", "CH1", twips(120, 3000, 5655, 2775), standard);
    for (int k = 0; k < card::kOutputBoxCount; ++k) {
        const auto i = static_cast<std::size_t>(k);
        const card::OutputBoxFacts& t = card::kOutputBoxes[i];
        QGroupBox* channel = t.channel == 0 ? ui.Frame7 : ui.Frame10;
        // The ranges in a two-by-two grid: Unipolar above Bipolar, 5V left of 10V.
        const int r = static_cast<int>(t.range);
        const int left = (r % 2 == 0) ? 120 : 2880;
        const int top = (r < 2) ? 240 : 1440;
        ui.framAO[i] = frame(channel, "framAO", t.rangeFacts().caption,
                             twips(left, top, 2655, 1215), standard);
        ui.framAO[i]->setObjectName(indexed("framAO", k));
        QGroupBox* f = ui.framAO[i];
        ui.lblAOMax[i] =
            label(f, indexed("lblAOMax", k), t.upperLabel, twips(120, 360, 840, 375), standard);
        ui.tbxBiAOMax[i] = box(f, indexed("tbxBiAOMax", k), "0", twips(960, 360, 735, 375), code,
                               look::lightGreen());
        ui.cmdAOMaxAdd[i] =
            button(f, indexed("cmdAOMaxAdd", k), "+", twips(1800, 360, 375, 300), large);
        ui.cmdAOMaxSub[i] =
            button(f, indexed("cmdAOMaxSub", k), "-", twips(2160, 360, 375, 300), large);
        ui.lblAOMin[i] =
            label(f, indexed("lblAOMin", k), t.lowerLabel, twips(120, 720, 840, 375), standard);
        ui.tbxBiAOMin[i] = box(f, indexed("tbxBiAOMin", k), "0", twips(960, 720, 735, 375), code,
                               look::lightGreen());
        ui.cmdAOMinAdd[i] =
            button(f, indexed("cmdAOMinAdd", k), "+", twips(1800, 720, 375, 300), large);
        ui.cmdAOMinSub[i] =
            button(f, indexed("cmdAOMinSub", k), "-", twips(2160, 720, 375, 300), large);
    }

    // Analog inputs: six ranges stacked, widest first. The "Read" buttons stay hidden; only
    // the automatic calibration runs their handlers.
    ui.framAICal =
        frame(this, "framAICal", "Analog Input Calibration", twips(6000, 1320, 3015, 6855), large);
    constexpr std::array<int, card::kInputRangeCount> kInputTops{240, 1320, 2400, 3480, 4560, 5640};
    for (int j = 0; j < card::kInputRangeCount; ++j) {
        const auto i = static_cast<std::size_t>(j);
        const card::InputRangeFacts& range = card::kInputRanges[i];
        ui.framAI[i] = frame(ui.framAICal, "framAI", range.caption,
                             twips(120, kInputTops[i], 2775, 1095), standard);
        ui.framAI[i]->setObjectName(indexed("framAI", j));
        QGroupBox* f = ui.framAI[i];
        ui.lblAIMax[i] =
            label(f, indexed("lblAIMax", j), range.upperLabel, twips(120, 240, 855, 375), standard);
        ui.tbxAIMaxVal[i] = box(f, indexed("tbxAIMaxVal", j), "7FFF", twips(840, 240, 855, 375),
                                code, look::lightYellow());
        ui.cmdReadMaxAI[i] =
            button(f, indexed("cmdReadMaxAI", j), "Read", twips(1800, 240, 855, 375), large);
        ui.cmdReadMaxAI[i]->setVisible(false);
        ui.lblAIMin[i] = label(f, indexed("lblAIMin", j), card::kInputLowerLabel,
                               twips(120, 600, 735, 375), standard);
        ui.tbxAIMinVal[i] = box(f, indexed("tbxAIMinVal", j), "0", twips(840, 600, 855, 375), code,
                                look::lightYellow());
        ui.cmdReadMinAI[i] =
            button(f, indexed("cmdReadMinAI", j), "Read", twips(1800, 600, 855, 375), large);
        ui.cmdReadMinAI[i]->setVisible(false);
    }

    // The warning, SAVE and RECOVER.
    ui.framNOTE = frame(this, "framNOTE", "NOTE", twips(0, 7200, 5895, 1455), large);
    ui.Image1 = new QLabel(ui.framNOTE);
    ui.Image1->setObjectName("Image1");
    ui.Image1->setGeometry(twips(120, 240, 1350, 1110));
    ui.Image1->setPixmap(warningPicture());
    ui.Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ui.List1 = new QListWidget(ui.framNOTE);
    ui.List1->setObjectName("List1");
    ui.List1->setGeometry(twips(1560, 240, 2655, 1035));
    ui.List1->setFont(standard);
    ui.List1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ui.List1->setTextElideMode(Qt::ElideNone); // a long line is cut, as a list box does
    for (const char* line : look::kNoteLines) {
        ui.List1->addItem(QString::fromUtf8(line));
    }
    paintBase(ui.List1, look::yellow());
    ui.cmdWriteEEP = button(ui.framNOTE, "cmdWriteEEP", "SAVE", twips(4320, 240, 1455, 495), large);
    ui.cmdWriteEEP->setEnabled(false);
    ui.cmdRecover = button(ui.framNOTE, "cmdRecover", "RECOVER", twips(4320, 840, 1455, 495),
                           look::recoverFont());
    ui.cmdRecover->setEnabled(false);

    // Step buttons of an older design: never shown.
    ui.cmdPrevious =
        button(this, "cmdPrevious", "< PREVIOUS", twips(0, 7440, 2295, 1215), look::stepFont());
    ui.cmdPrevious->setVisible(false);
    ui.cmdNext = button(this, "cmdNext", "NEXT >", twips(2400, 7440, 2295, 1215), look::stepFont());
    ui.cmdNext->setVisible(false);

    ui.cmdExit = button(this, "cmdExit", "EXIT", twips(6000, 8280, 3015, 375), large);

    // Calibration files.
    ui.Frame3 = frame(this, "Frame3", "Calibration Data File Import/Export",
                      twips(0, 8640, 9015, 855), large);
    ui.tbxFileName = box(ui.Frame3, "tbxFileName", "", twips(120, 360, 5055, 375), standard,
                         look::lightYellow());
    ui.cmdBrowse =
        button(ui.Frame3, "cmdBrowse", "Broswer(&B)", twips(5160, 360, 1095, 375), large);
    ui.cmdLoadINI = button(ui.Frame3, "cmdLoadINI", "Import", twips(6360, 240, 1215, 495), large);
    ui.cmdLoadINI->setEnabled(false);
    ui.cmdSaveINI = button(ui.Frame3, "cmdSaveINI", "Export", twips(7560, 240, 1335, 495), large);
    ui.cmdSaveINI->setEnabled(false);

    settleControls(ui);
}

} // namespace app
