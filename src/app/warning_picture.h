#pragma once

#include <QPixmap>

namespace app {

// The warning sign of the NOTE frame: a yellow triangle with a red border and a black
// exclamation mark, 90 x 74 pixels on a transparent ground.
QPixmap warningPicture();

} // namespace app
