#pragma once

#include <QIcon>
#include <QImage>
#include <functional>

namespace velmar {

// An icon drawn in code for the pixel size it is shown at, so it stays
// sharp at any device pixel ratio instead of being scaled from one picture.
// `draw` gets the side of the square in device pixels.
QIcon DrawnIcon(std::function<QImage(int pixels)> draw);

}  // namespace velmar
