#pragma once

#include <QIcon>
#include <QPixmap>

namespace app {

// The warning sign of the NOTE frame: a yellow triangle with a red border and a black
// exclamation mark, 90 x 74 pixels on a transparent ground.
QPixmap warningPicture();

// The same sign as the window's icon, square, drawn afresh for each size from 16 to 256 pixels
// so that its border and mark stay in proportion.
QIcon warningIcon();

} // namespace app
