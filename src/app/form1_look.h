#pragma once

// Captions, colours and fonts of the window, shared by its layout, its step highlighting and
// its tests.

#include "card/types.h"

#include <QColor>
#include <QFont>

class QLineEdit;
class QWidget;

#include <array>

namespace app::look {

inline constexpr const char* kCaption = "MX-4815 Calibration Program(2014/04/11 Ver:1.0)";
inline constexpr const char* kSimulatedSuffix = " [simulated card]";

// The warning of the NOTE frame, one list line each; the last three end in a blank.
inline constexpr std::array<const char*, 4> kNoteLines{
    "This progarm will change the default",
    "setting from board. The error setting ",
    "will damage your device.Please be ",
    "careful use of this program. ",
};

// A 0x00BBGGRR colour value as a colour.
QColor fromColourValue(card::Long value);

// Sets the back colour of a frame or a label (its Window colour).
void paintBack(QWidget* w, const QColor& colour);

// Makes a control keep the palette it has now when its frame's colours change. The step
// highlighting recolours frames many times a run; without this every control inside would
// get a new palette each time, and the style would cache its pictures once more under each
// new palette, so the memory grew with every run.
void keepOwnPalette(QWidget* w);

QColor buttonFace();
QColor lightGreen();  // editable calibration boxes and "Active Board"
QColor lightYellow(); // input codes, "Total Board", the file name
QColor yellow();      // the NOTE list

// The layout's fonts. "MS Sans Serif" is a Windows bitmap face; elsewhere Liberation Sans
// stands in for it at the sizes of msSansSerifStandIn.
QFont defaultFont(); // "MS Sans Serif" 8 pt: every control without a font of its own
QFont largeFont();   // "MS Sans Serif" 12 pt: the outer frames and the buttons
QFont codeFont();    // "MS Sans Serif" 9.75 pt: the code boxes and the board boxes
QFont recoverFont(); // "Arial" 12 pt
QFont stepFont();    // "MS Sans Serif" 13.5 pt: "< PREVIOUS", "NEXT >"

// The point size that stands in for "MS Sans Serif" at `points` where that face is missing.
qreal msSansSerifStandIn(qreal points);

// How a text box that the program fills keeps its text readable.
enum class Overflow {
    Tooltip,     // a text longer than the box shows its beginning, and whole in the tooltip
    ShrinkToFit, // a code box: first a smaller size (down to 7 pt) or the narrow face
};

// The width a line edit has for its text before it scrolls.
int textRoom(const QLineEdit* box);

// Every change of the box's text set by the program (not typed) puts the cursor, and so the
// view, at its start; a text that does not fit gets the box's tooltip and, for ShrinkToFit,
// the largest smaller font that fits it. The box's font when this is called is its own.
void keepReadable(QLineEdit* box, Overflow overflow);

} // namespace app::look
